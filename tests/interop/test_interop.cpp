// test_interop.cpp - our archives opened by the independent readers.
//
// A generated tree (text, binary, random and empty files, Japanese names whose
// CP932 form holds a 0x5C trail byte, a name CP932 cannot hold, an all-capitals
// README, nested and empty directories, files larger than the largest window,
// headers at the 256-byte edge, symbolic links) is packed with every method
// and effort and extracted by lhasa, bsdtar, 7z and jlha. Every extracted tree
// is compared with the source: names, structure, bytes and modification times.
// What a reader cannot do is written to the output as a "RECORDED" line with
// the reason, and the test then checks that the reader did exactly that and
// nothing else.
#include "archive_support.h"
#include "fs/names.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace test_support;

namespace {

struct Node {
    char kind = 'f';   // 'f' file, 'd' directory, 'l' symbolic link
    std::string data;  // file contents, or link target
    time_t mtime = 0;
};
using Tree = std::map<std::string, Node>;  // relative path (file-system bytes) -> node

std::string g_root;  // scratch directory of the whole run

// Structured binary: records with counters, and copies at the largest
// distance each window allows (8, 32 and 64 KiB) and beyond.
std::string binary_data()
{
    std::string b;
    for (std::uint32_t i = 0; i < 12000; ++i) {
        const std::uint32_t rec[2] = {i, i * 2654435761u};
        b.append(reinterpret_cast<const char*>(rec), sizeof rec);
    }
    for (std::size_t size : {8000, 32000, 65000})
        b += noise(size, unsigned(size)) + noise(size, unsigned(size));
    return b;
}

Tree make_tree()
{
    Tree t;
    time_t base = 1614834368;  // 2021-03-04 05:06:08 UTC
    auto file = [&](const std::string& path, std::string data) {
        t[path] = Node{'f', std::move(data), base += 3600};
    };
    for (const char* d : {"tree", "tree/表", "tree/表/能", "tree/nested", "tree/nested/a", "tree/nested/a/b",
                          "tree/empty_dir", "tree/空"})
        t[d] = Node{'d', {}, base += 3600};
    file("tree/README", "Read me first.\n");
    file("tree/text.txt", text_data(200000, 7));
    file("tree/binary.bin", binary_data());
    file("tree/random.bin", noise(100000, 3));
    file("tree/empty.txt", "");
    file("tree/one.txt", "x");
    file("tree/ソース.txt", text_data(3000, 3));
    file("tree/表/能/十.txt", text_data(70000, 5));
    file("tree/nested/a/b/deep.txt", text_data(500, 11));
    file("tree/絵文字😀.txt", text_data(100, 13));
    // A name whose header would be 256 bytes long: the writer makes it 257
    // without a padding byte.
    file("tree/" + std::string(209, 'm'), text_data(1000, 23));
    t["tree/link"] = Node{'l', "README", 0};
    t["tree/ポ"] = Node{'l', "ソース.txt", 0};  // CP932 ポ = 83 7C, a '|' trail byte
    return t;
}

void write_tree(const std::string& dir, const Tree& t)
{
    for (const auto& [path, node] : t) {
        const std::string p = dir + "/" + path;
        if (node.kind == 'd')
            ::mkdir(p.c_str(), 0755);
        else if (node.kind == 'l')
            ASSERT_EQ(::symlink(node.data.c_str(), p.c_str()), 0);
        else
            write_file(p, node.data);
    }
    // Times last, deepest first, so creating the contents does not disturb them.
    for (auto it = t.rbegin(); it != t.rend(); ++it) {
        const timespec times[2] = {{it->second.mtime, 0}, {it->second.mtime, 0}};
        if (it->second.kind != 'l')
            ::utimensat(AT_FDCWD, (dir + "/" + it->first).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
}

// Everything below `dir`, as the readers left it.
Tree scan(const std::string& dir)
{
    Tree t;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string full = entry.path();
        struct stat st {};
        ::lstat(full.c_str(), &st);
        Node n{S_ISDIR(st.st_mode) ? 'd' : S_ISLNK(st.st_mode) ? 'l' : 'f', {}, st.st_mtime};
        n.data = n.kind == 'l' ? entry_for(full, "").link_target : n.kind == 'f' ? read_file(full) : "";
        t[full.substr(dir.size() + 1)] = n;
    }
    return t;
}

struct Reader {
    const char* name;
    const char* command;  // %A archive, %D directory to extract into
    bool restores_mtime;
};

const Reader kReaders[] = {
    {"lhasa", "cd %D && lhasa xf %A", true},
    {"bsdtar", "bsdtar -xf %A -C %D", true},
    {"7z", "7z x -y -o%D %A", true},
    {"jlha", "cd %D && jlha xy %A", false},  // 'y': names read as Shift-JIS
};

std::string shell_quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Extracts `archive` into `dir` with reader `r`; returns the exit status and the output in `log`.
int run_reader(const Reader& r, const std::string& archive, const std::string& dir, std::string& log)
{
    ::mkdir(dir.c_str(), 0755);
    std::string cmd = r.command;
    for (auto [key, value] : {std::pair{"%A", archive}, std::pair{"%D", dir}})
        for (std::size_t at; (at = cmd.find(key)) != std::string::npos;)
            cmd.replace(at, 2, shell_quote(value));
    const int rc = std::system((cmd + " </dev/null >" + shell_quote(dir + ".log") + " 2>&1").c_str());
    log = read_file(dir + ".log");
    return rc;
}

void record(const std::string& reader, const std::string& what)
{
    static std::set<std::string> said;
    if (said.insert(reader + what).second)
        std::printf("RECORDED %s: %s\n", reader.c_str(), what.c_str());
}

/*
 * What `reader` makes of `path` (stored as `names`): the path it creates and
 * the kind, or nothing when it creates nothing. Each departure from the source
 * is recorded with its reason.
 */
struct Expected {
    std::string path;
    char kind;
    bool check_name = true;  // false: the name is not predictable, found by contents
};

std::optional<Expected> expect(const std::string& reader, const std::string& path, const Node& node,
                               const lzh::StoredNames& names)
{
    Expected e{path, node.kind};
    const bool cp932 = names.code_page == lzh::kCodePageCp932;
    const bool non_ascii = std::any_of(path.begin(), path.end(), [](char c) { return c & 0x80; });
    if ((reader == "lhasa" || reader == "7z") && cp932 && non_ascii) {
        record(reader,
               "writes stored names as raw bytes on Linux: Japanese names come out as CP932 "
               "bytes, not UTF-8 (correct on a CP932 system)");
        e.path = names.path;
        if (reader == "7z" && lzh::backslashes_to_slashes(names.path, lzh::kCodePageCp932) !=
                                  lzh::backslashes_to_slashes(names.path, lzh::kCodePageUtf8)) {
            record(reader,
                   "the Linux build splits CP932 names at a 0x5C trail byte (ソ 表 能 十) "
                   "into directories, at every header level");
            e.path.clear();
            for (char c : lzh::backslashes_to_slashes(names.path, lzh::kCodePageUtf8))
                if (c != '/' || (!e.path.empty() && e.path.back() != '/'))
                    e.path += c;
            if (!e.path.empty() && e.path.back() == '/')
                e.path.pop_back();
        }
    }
    if (reader == "jlha" && !cp932 && non_ascii) {
        record(reader,
               "reads every name as Shift-JIS (option y): a name stored in UTF-8 "
               "(code page 65001) comes out garbled; found by its contents instead");
        e.check_name = false;
    }
    if (node.kind == 'l' && reader == "7z") {
        record(reader, "has no symbolic links in LZH: creates a directory named \"link|target\"");
        e.path = path + "|" + node.data;
        e.kind = 'd';
    } else if (node.kind == 'l' && reader == "jlha") {
        if (e.check_name) {
            record(reader, "has no symbolic links in LZH: creates nothing for them");
            return std::nullopt;
        }
        // Read as Shift-JIS, the UTF-8 bytes swallow the '|' as a trail byte.
        record(reader,
               "a symbolic link stored in UTF-8 comes out as a directory with a "
               "garbled name (its '|' is taken as half of a Shift-JIS character)");
        e.kind = 'd';
    }
    return e;
}

// Extracts `archive` with every reader and compares what each made with `tree`.
void check_readers(const std::string& archive, const Tree& tree, const std::string& tag)
{
    for (const Reader& r : kReaders) {
        SCOPED_TRACE(std::string(r.name) + " on " + archive);
        std::string log;
        ASSERT_EQ(run_reader(r, archive, g_root + "/" + tag + "-" + r.name, log), 0) << log;
        Tree got = scan(g_root + "/" + tag + "-" + r.name);
        if (!r.restores_mtime)
            record(r.name, "does not restore modification times; only names, kinds and bytes compared");
        std::vector<std::tuple<std::string, char, const Node*>> by_contents;
        std::set<std::string> expected_paths;
        for (const auto& [path, node] : tree) {
            const auto e =
                expect(r.name, path, node, lzh::encode_names(path, node.kind == 'l' ? node.data : ""));
            if (!e || !e->check_name) {
                if (e)
                    by_contents.emplace_back(path, e->kind, &node);
                continue;
            }
            for (std::size_t s = e->path.find('/'); s != std::string::npos; s = e->path.find('/', s + 1))
                expected_paths.insert(e->path.substr(0, s));  // parents a split name creates
            expected_paths.insert(e->path);
            const auto it = got.find(e->path);
            if (it == got.end()) {
                ADD_FAILURE() << r.name << ": missing " << path;
                continue;
            }
            EXPECT_EQ(it->second.kind, e->kind) << path;
            if (e->kind == node.kind && node.kind != 'd') {
                EXPECT_TRUE(it->second.data == node.data) << r.name << ": contents differ: " << path;
            }
            if (r.restores_mtime && node.kind != 'l' && e->kind == node.kind) {
                EXPECT_EQ(it->second.mtime, node.mtime) << r.name << ": mtime of " << path;
            }
        }
        std::erase_if(got, [&](const auto& g) { return expected_paths.count(g.first) > 0; });
        // Garbled names: each must match exactly one leftover of its kind by contents.
        for (const auto& [path, kind, node] : by_contents) {
            // Copies of the bindings: clang 14 cannot capture structured bindings.
            const auto want_kind = kind;
            const auto* want = node;
            const auto it = std::find_if(got.begin(), got.end(), [&](const auto& g) {
                return g.second.kind == want_kind && (want_kind == 'd' || g.second.data == want->data);
            });
            if (it == got.end())
                ADD_FAILURE() << r.name << ": no file with the contents of " << path;
            else
                got.erase(it);
        }
        for (const auto& [path, node] : got)
            ADD_FAILURE() << r.name << ": unexpected " << node.kind << " " << path;
    }
}

// Packs `items` below `base` through the library's command text, as the batch does.
std::string pack(const std::string& name, const std::string& base, const std::vector<std::string>& items,
                 const std::string& switches = "")
{
    const std::string archive = g_root + "/" + name;
    const Reply r = run_command(add_command(archive, base + "/", items, switches));
    EXPECT_EQ(r.rc, lzh::kArchiverOk) << r.text;
    return archive;
}

class Interop : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {
public:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/pelkoran-interop-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        g_root = tmpl;
        ::mkdir((g_root + "/src").c_str(), 0755);
        write_tree(g_root + "/src", make_tree());
    }
    static void TearDownTestSuite()
    {
        if (!g_root.empty() && !std::getenv("PELKORAN_KEEP_INTEROP"))
            std::system(("rm -rf " + shell_quote(g_root)).c_str());
    }
};

TEST_P(Interop, EveryReaderExtractsTheGeneratedTree)
{
    const auto& [method, effort] = GetParam();
    const std::string tag = method + effort;
    const std::string archive = pack(tag + ".lzh", g_root + "/src", {"tree"}, " " + method + " " + effort);
    // Our own reader agrees; stored and coded members and a 257-byte header are there.
    std::set<std::string> methods;
    bool header_257 = false;
    for (const Member& m : read_archive(archive)) {
        methods.insert(m.h.method);
        header_257 |= m.h.header_length == 257;
    }
    EXPECT_EQ(methods, (std::set<std::string>{"-" + method.substr(1) + "-", "-lh0-", "-lhd-"}));
    EXPECT_TRUE(header_257) << "the 256-byte case is not exercised";
    check_readers(archive, make_tree(), "x" + tag);
}

INSTANTIATE_TEST_SUITE_P(Methods, Interop,
                         ::testing::Combine(::testing::Values("-lh5", "-lh6", "-lh7"),
                                            ::testing::Values("-fast", "-normal", "-best")),
                         [](const auto& p) {
                             return std::get<0>(p.param).substr(1) + "_" + std::get<1>(p.param).substr(1);
                         });

// An updated archive (one member replaced where it stands, two appended, the
// rest copied) opens in every reader.
TEST_F(Interop, UpdatedArchiveOpensInEveryReader)
{
    Tree changes;
    changes["tree"] = Node{'d', {}, 0};
    changes["tree/README"] = Node{'f', "Read me again: replaced.\n", 1700000000};
    changes["tree/新しい.txt"] = Node{'f', text_data(90000, 17), 1700003600};
    changes["tree/zz.bin"] = Node{'f', binary_data(), 1700007200};
    write_tree(g_root + "/src-update", changes);
    Tree tree = make_tree();
    for (const auto& [path, node] : changes)
        if (path != "tree")
            tree[path] = node;
    for (const std::string method : {"-lh5", "-lh6", "-lh7"}) {
        const std::string archive = pack("update" + method + ".lzh", g_root + "/src", {"tree"}, " " + method);
        pack("update" + method + ".lzh", g_root + "/src-update",
             {"tree/README", "tree/zz.bin", "tree/新しい.txt"}, " " + method);
        ASSERT_EQ(read_archive(archive).back().h.path,
                  lzh::encode_names("tree/新しい.txt").path);  // in the given order
        check_readers(archive, tree, "u" + method);
    }
}

/*
 * Names that are not UTF-8 on the disk: a Shift-JIS name is stored as it is
 * with code page 932, bytes of no known encoding without a code page. What
 * each reader makes of them is pinned here, one expected name per reader
 * (empty: the reader fails that member and creates nothing).
 */
TEST(InteropNames, NamesThatAreNotUtf8)
{
    TempDir t;
    const std::string nihon = "\x93\xFA\x96\x7B.txt";           // 日本.txt in CP932
    const std::string source = "\x83\x5C\x81\x5B\x83\x58.txt";  // ソース.txt, a 0x5C trail byte
    const std::string raw = "\xFF\xFE.bin";                     // no encoding at all
    write_tree(t / "src", {{"d", Node{'d', {}, 1614834368}},
                           {"d/" + nihon, Node{'f', "nihon", 1614837968}},
                           {"d/" + source, Node{'f', "source", 1614841568}},
                           {"d/" + raw, Node{'f', "raw", 1614845168}}});
    const Reply r = run_command(add_command(t / "names.lzh", t / "src/", {"d"}));
    ASSERT_EQ(r.rc, lzh::kArchiverOk) << r.text;

    struct Want {
        const char* reader;
        std::string nihon, source, raw;
        bool fails;  // the reader's exit status reports the failed member
    };
    const Want wants[] = {
        {"lhasa", nihon, source, raw, false},
        {"bsdtar", "日本.txt", "ソース.txt", "", true},
        {"7z", nihon, "\x83/\x81\x5B\x83\x58.txt", raw, false},
        {"jlha", "日本.txt", "ソース.txt", "\xEF\xBF\xBD\xEF\xBF\xBD.bin", false},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.reader);
        const Reader& reader = *std::find_if(std::begin(kReaders), std::end(kReaders), [&](const Reader& x) {
            return w.reader == std::string(x.name);
        });
        std::string log;
        EXPECT_EQ(run_reader(reader, t / "names.lzh", t / (std::string("x-") + w.reader), log) != 0, w.fails)
            << log;
        const Tree got = scan(t / (std::string("x-") + w.reader));
        std::map<std::string, std::string> expected = {{w.nihon, "nihon"}, {w.source, "source"}};
        if (!w.raw.empty())
            expected[w.raw] = "raw";
        for (const auto& [name, data] : expected) {
            const auto it = got.find("d/" + name);
            ASSERT_NE(it, got.end()) << "missing " << lzh::decode_name(name, 0);
            EXPECT_EQ(it->second.data, data) << lzh::decode_name(name, 0);
        }
    }
}

}  // namespace
