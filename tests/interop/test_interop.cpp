// test_interop.cpp - our archives opened by the independent readers.
//
// A generated tree (text, binary, random and empty files, Japanese names whose
// CP932 form holds a 0x5C trail byte, a name CP932 cannot hold, an all-capitals
// README, nested and empty directories, files larger than the largest window, a
// symbolic link) is packed with -lh5-, -lh6- and -lh7- and extracted by lhasa,
// bsdtar, 7z and jlha. Every extracted tree is compared with the source: names,
// structure, bytes and modification times. What a reader cannot do is written
// to the output as a "RECORDED" line with the reason, and the test then checks
// that the reader did exactly that and nothing else.
#include "archive_reader.h"
#include "archive_writer.h"
#include "archiver.h"
#include "command.h"
#include "names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::string;

/**************************************************************************
 * The tree
 **************************************************************************/

struct Node {
    char kind = 'f';        // 'f' file, 'd' directory, 'l' symbolic link
    Bytes data;             // file contents, or link target
    time_t mtime = 0;
};
using Tree = std::map<std::string, Node>;   // relative path (file-system bytes) -> node

std::string g_root;   // scratch directory of the whole run

Bytes text(std::size_t size, int variant)
{
    Bytes b;
    int line = 0;
    while (b.size() < size)
        b += "line " + std::to_string(line++ * variant % 977) +
             ": 書庫に入れるテキスト、text that repeats with small changes.\n";
    b.resize(size);
    return b;
}

Bytes random_bytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size, '\0');
    for (char& c : b)
        c = char(rng());
    return b;
}

// Structured binary: records with counters, and copies at the largest
// distance each window allows (8, 32 and 64 KiB) and beyond.
Bytes binary_bytes()
{
    Bytes b;
    for (std::uint32_t i = 0; i < 12000; ++i) {
        std::uint32_t rec[2] = {i, i * 2654435761u};
        b.append(reinterpret_cast<const char*>(rec), sizeof rec);
    }
    Bytes r8 = random_bytes(8000, 11), r32 = random_bytes(32000, 12), r64 = random_bytes(65000, 13);
    b += r8 + r8 + r32 + r32 + r64 + r64;
    return b;
}

Tree make_tree()
{
    Tree t;
    time_t base = 1614834368;   // 2021-03-04 05:06:08 UTC
    auto file = [&](const std::string& path, Bytes data) {
        t[path] = Node{'f', std::move(data), base += 3600};
    };
    auto dir = [&](const std::string& path) { t[path] = Node{'d', {}, base += 3600}; };
    dir("tree");
    file("tree/README", "Read me first.\n");
    file("tree/text.txt", text(200000, 7));
    file("tree/binary.bin", binary_bytes());
    file("tree/random.bin", random_bytes(100000, 3));
    file("tree/empty.txt", "");
    file("tree/one.txt", "x");
    file("tree/ソース.txt", text(3000, 3));
    dir("tree/表");
    dir("tree/表/能");
    file("tree/表/能/十.txt", text(70000, 5));
    dir("tree/nested");
    dir("tree/nested/a");
    dir("tree/nested/a/b");
    file("tree/nested/a/b/deep.txt", text(500, 11));
    dir("tree/empty_dir");
    dir("tree/空");
    file("tree/絵文字😀.txt", text(100, 13));
    // Names whose headers would be 256 bytes long (with and without the
    // gid/uid header): the writer makes them 257 without a padding byte.
    file("tree/" + std::string(195, 'n'), text(1000, 19));
    file("tree/" + std::string(202, 'm'), text(1000, 23));
    t["tree/link"] = Node{'l', "README", 0};
    t["tree/ポ"] = Node{'l', "ソース.txt", 0};   // CP932 ポ = 83 7C, a '|' trail byte
    return t;
}

void write_tree(const std::string& dir, const Tree& t)
{
    for (const auto& [path, node] : t) {
        const std::string p = dir + "/" + path;
        if (node.kind == 'd') {
            ::mkdir(p.c_str(), 0755);
        } else if (node.kind == 'l') {
            ASSERT_EQ(::symlink(node.data.c_str(), p.c_str()), 0);
        } else {
            std::ofstream(p, std::ios::binary) << node.data;
        }
    }
    // Times last, deepest first, so creating the contents does not disturb them.
    for (auto it = t.rbegin(); it != t.rend(); ++it) {
        if (it->second.kind == 'l')
            continue;
        timespec times[2] = {{it->second.mtime, 0}, {it->second.mtime, 0}};
        ::utimensat(AT_FDCWD, (dir + "/" + it->first).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
}

// Everything below `dir`, as the readers left it.
Tree scan(const std::string& dir, const std::string& rel = "")
{
    Tree t;
    DIR* d = ::opendir((dir + (rel.empty() ? "" : "/" + rel)).c_str());
    if (!d)
        return t;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = rel.empty() ? name : rel + "/" + name;
        std::string full = dir + "/" + path;
        struct stat st {};
        ::lstat(full.c_str(), &st);
        Node n;
        n.mtime = st.st_mtime;
        if (S_ISDIR(st.st_mode)) {
            n.kind = 'd';
            Tree sub = scan(dir, path);
            t.insert(sub.begin(), sub.end());
        } else if (S_ISLNK(st.st_mode)) {
            n.kind = 'l';
            char buf[4096];
            ssize_t len = ::readlink(full.c_str(), buf, sizeof buf);
            n.data.assign(buf, std::size_t(std::max<ssize_t>(len, 0)));
        } else {
            n.kind = 'f';
            std::ifstream in(full, std::ios::binary);
            n.data.assign(std::istreambuf_iterator<char>(in), {});
        }
        t[path] = n;
    }
    ::closedir(d);
    return t;
}

// The walk: each directory before its contents, names sorted byte-wise.
std::vector<lzh::NewEntry> entries_for(const std::string& base, const Tree& t)
{
    std::vector<lzh::NewEntry> out;
    for (const auto& [path, node] : t) {   // std::map order puts "a" before "a/b"
        lzh::NewEntry e;
        e.kind = node.kind == 'd' ? lzh::NewEntry::Kind::directory
               : node.kind == 'l' ? lzh::NewEntry::Kind::symlink
                                  : lzh::NewEntry::Kind::file;
        e.source_path = base + "/" + path;
        e.stored_path = path;
        e.link_target = node.kind == 'l' ? node.data : "";
        struct stat st {};
        ::lstat(e.source_path.c_str(), &st);
        e.st = st;
        out.push_back(e);
    }
    return out;
}

/**************************************************************************
 * The readers
 **************************************************************************/

struct Reader {
    const char* name;
    const char* command;   // %A archive, %D directory to extract into
    bool restores_mtime;
};

const Reader kReaders[] = {
    {"lhasa", "cd %D && lhasa xf %A", true},
    {"bsdtar", "bsdtar -xf %A -C %D", true},
    {"7z", "7z x -y -o%D %A", true},
    // 'y' makes jlha read the names as Shift-JIS.
    {"jlha", "cd %D && jlha xy %A", false},
};

std::string shell_quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int run_reader(const Reader& r, const std::string& archive, const std::string& dir, std::string& log)
{
    std::string cmd = r.command;
    for (auto [key, value] : {std::pair{"%A", archive}, std::pair{"%D", dir}}) {
        std::size_t at;
        while ((at = cmd.find(key)) != std::string::npos)
            cmd.replace(at, 2, shell_quote(value));
    }
    const std::string log_path = dir + ".log";
    int rc = std::system((cmd + " </dev/null >" + shell_quote(log_path) + " 2>&1").c_str());
    std::ifstream in(log_path);
    log.assign(std::istreambuf_iterator<char>(in), {});
    return rc;
}

void record(const std::string& reader, const std::string& what)
{
    static std::set<std::string> said;
    if (said.insert(reader + what).second)
        std::printf("RECORDED %s: %s\n", reader.c_str(), what.c_str());
}

bool has_cp932_backslash_trail(const std::string& stored)
{
    for (std::size_t i = 0; i + 1 < stored.size(); ++i)
        if (lzh::is_cp932_lead(std::uint8_t(stored[i])))
            if (stored[++i] == '\\')
                return true;
    return false;
}

/*
 * What `reader` makes of `path` (stored in `names`): the path it creates, the
 * kind, or nothing when it creates nothing. Each departure from the source is
 * recorded with its reason.
 */
struct Expected {
    std::string path;
    char kind;
    bool check_name = true;   // false: the name is not predictable, found by contents
};

std::optional<Expected> expect(const std::string& reader, const std::string& path, const Node& node,
                               const lzh::StoredNames& names)
{
    Expected e{path, node.kind};
    const bool cp932 = names.code_page == lzh::kCodePageCp932;
    const bool non_ascii = std::any_of(path.begin(), path.end(), [](char c) { return c & 0x80; });
    if ((reader == "lhasa" || reader == "7z") && cp932 && non_ascii) {
        record(reader, "writes stored names as raw bytes on Linux: Japanese names come out as CP932 "
                       "bytes, not UTF-8 (correct on a CP932 system)");
        e.path = names.path;
        if (reader == "7z" && has_cp932_backslash_trail(names.path)) {
            record(reader, "the Linux build splits CP932 names at a 0x5C trail byte (ソ 表 能 十) "
                           "into directories, at every header level");
            std::string split = lzh::backslashes_to_slashes(names.path, lzh::kCodePageUtf8);
            e.path.clear();
            for (char c : split)
                if (c != '/' || (!e.path.empty() && e.path.back() != '/'))
                    e.path += c;
            if (!e.path.empty() && e.path.back() == '/')
                e.path.pop_back();
        }
    }
    if (reader == "jlha" && !cp932 && non_ascii) {
        record(reader, "reads every name as Shift-JIS (option y): a name stored in UTF-8 "
                       "(code page 65001) comes out garbled; found by its contents instead");
        e.check_name = false;
    }
    if (node.kind == 'l') {
        if (reader == "7z") {
            record(reader, "has no symbolic links in LZH: creates a directory named \"link|target\"");
            e.path = path + "|" + node.data;
            e.kind = 'd';
        } else if (reader == "jlha") {
            if (!e.check_name) {
                // Read as Shift-JIS, the UTF-8 bytes swallow the '|' as a trail byte.
                record(reader, "a symbolic link stored in UTF-8 comes out as a directory with a "
                               "garbled name (its '|' is taken as half of a Shift-JIS character)");
                e.kind = 'd';
                return e;
            }
            record(reader, "has no symbolic links in LZH: creates nothing for them");
            return std::nullopt;
        }
    }
    return e;
}

class Interop : public ::testing::TestWithParam<std::string> {
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

protected:
    // Extracts `archive` with every reader and compares with `tree`.
    void check_readers(const std::string& archive, const Tree& tree, const std::string& tag)
    {
        for (const Reader& r : kReaders) {
            SCOPED_TRACE(std::string(r.name) + " on " + archive);
            const std::string out = g_root + "/" + tag + "-" + r.name;
            ::mkdir(out.c_str(), 0755);
            std::string log;
            int rc = run_reader(r, archive, out, log);
            ASSERT_EQ(rc, 0) << log;
            compare(r, tree, scan(out));
        }
    }

    void compare(const Reader& r, const Tree& tree, Tree got)
    {
        if (!r.restores_mtime)
            record(r.name, "does not restore modification times; only names, kinds and bytes compared");
        std::vector<std::tuple<std::string, char, const Node*>> by_contents;
        std::set<std::string> expected_paths;
        for (const auto& [path, node] : tree) {
            lzh::StoredNames names = node.kind == 'l' ? lzh::encode_names(path, node.data)
                                                      : lzh::encode_names(path);
            std::optional<Expected> e = expect(r.name, path, node, names);
            if (!e) {
                continue;
            }
            if (!e->check_name) {
                by_contents.emplace_back(path, e->kind, &node);
                continue;
            }
            for (std::size_t s = e->path.find('/'); s != std::string::npos; s = e->path.find('/', s + 1))
                expected_paths.insert(e->path.substr(0, s));   // parents a split name creates
            expected_paths.insert(e->path);
            auto it = got.find(e->path);
            if (it == got.end()) {
                ADD_FAILURE() << r.name << ": missing " << path;
                continue;
            }
            const Node& g = it->second;
            EXPECT_EQ(g.kind, e->kind) << path;
            if (e->kind == node.kind && node.kind != 'd') {
                EXPECT_TRUE(g.data == node.data) << r.name << ": contents differ: " << path;
            }
            if (r.restores_mtime && node.kind != 'l' && e->kind == node.kind) {
                EXPECT_EQ(g.mtime, node.mtime) << r.name << ": mtime of " << path;
            }
        }
        for (auto it = got.begin(); it != got.end();) {
            if (expected_paths.count(it->first))
                it = got.erase(it);
            else
                ++it;
        }
        // Garbled names: each must match exactly one leftover of its kind by contents.
        for (const auto& [path, kind, node] : by_contents) {
            auto it = std::find_if(got.begin(), got.end(), [&](const auto& g) {
                return g.second.kind == kind && (kind == 'd' || g.second.data == node->data);
            });
            if (it == got.end()) {
                ADD_FAILURE() << r.name << ": no file with the contents of " << path;
                continue;
            }
            got.erase(it);
        }
        for (const auto& [path, node] : got)
            ADD_FAILURE() << r.name << ": unexpected " << node.kind << " " << path;
    }

    // Packs the tree's top-level items through the library's command text, as
    // the batch does: the walk, the names and the writer all take part.
    std::string pack(const std::string& name, const Tree& tree, const lzh::Method& method,
                     const std::string& effort = "")
    {
        const std::string archive = g_root + "/" + name;
        std::string command = "a " + lzh::quote_token(archive) + " " +
                              lzh::quote_token(g_root + "/src/") + " -d1 -" + std::string(method.id + 1, 3) + effort;
        std::set<std::string> items;
        for (const auto& entry : tree)
            items.insert(entry.first.substr(0, entry.first.find('/')));
        for (const std::string& item : items)
            command += " " + lzh::quote_token(item);
        char reply[2048];
        EXPECT_EQ(ArchiverCommand(nullptr, command.c_str(), reply, sizeof reply), lzh::kArchiverOk) << reply;
        return archive;
    }
};

TEST_P(Interop, EveryReaderExtractsTheGeneratedTree)
{
    const lzh::Method& method = *lzh::find_method(GetParam());
    const Tree tree = make_tree();
    const std::string archive = pack(std::string("tree") + method.id + ".lzh", tree, method);

    // Our own reader agrees, and the methods are the expected ones.
    lzh::ArchiveReader reader(archive);
    std::set<std::string> methods;
    const std::vector<lzh::MemberHeader> members = reader.members();
    for (const lzh::MemberHeader& h : members) {
        lzh::NullSink sink;
        reader.extract(h, sink);
        methods.insert(h.method);
    }
    EXPECT_TRUE(methods.count(method.id));
    EXPECT_TRUE(methods.count("-lh0-"));   // random.bin and the empty file
    EXPECT_TRUE(methods.count("-lhd-"));
    EXPECT_TRUE(std::any_of(members.begin(), members.end(),
                            [](const lzh::MemberHeader& h) { return h.header_length == 257; }))
        << "no header needed the extra byte: the 256-byte case is not exercised";

    check_readers(archive, tree, std::string("x") + method.id);
}

// The fast and best efforts parse differently (greedy, deep lazy search):
// their streams must be read by every reader too.
TEST_P(Interop, EveryReaderExtractsFastAndBestArchives)
{
    const lzh::Method& method = *lzh::find_method(GetParam());
    const Tree tree = make_tree();
    for (const std::string effort : {"fast", "best"}) {
        SCOPED_TRACE(effort);
        const std::string archive = pack(effort + method.id + ".lzh", tree, method, " -" + effort);
        check_readers(archive, tree, effort + "x" + method.id);
    }
}

TEST_P(Interop, UpdatedArchiveKeepsMembersAndEveryReaderOpensIt)
{
    const lzh::Method& method = *lzh::find_method(GetParam());
    Tree tree = make_tree();
    const std::string archive = pack(std::string("update") + method.id + ".lzh", tree, method);
    std::vector<lzh::MemberHeader> before = lzh::ArchiveReader(archive).members();
    std::ifstream old_in(archive, std::ios::binary);
    const Bytes old_bytes((std::istreambuf_iterator<char>(old_in)), {});

    // Replace README, append two new files; the rest is kept.
    const std::string src = g_root + "/src-update" + method.id;
    ::mkdir(src.c_str(), 0755);
    Tree changes;
    changes["tree"] = tree["tree"];
    changes["tree/README"] = Node{'f', "Read me again: replaced.\n", 1700000000};
    changes["tree/新しい.txt"] = Node{'f', text(90000, 17), 1700003600};
    changes["tree/zz.bin"] = Node{'f', binary_bytes(), 1700007200};
    write_tree(src, changes);
    Tree add(std::next(changes.begin()), changes.end());   // not the directory itself
    lzh::UpdateReport rep = lzh::update_archive(archive, entries_for(src, add), {&method}, nullptr);
    EXPECT_EQ(rep.replaced, 1u);
    EXPECT_EQ(rep.added, 2u);
    EXPECT_EQ(rep.kept, before.size() - 1);

    std::ifstream new_in(archive, std::ios::binary);
    const Bytes new_bytes((std::istreambuf_iterator<char>(new_in)), {});
    std::vector<lzh::MemberHeader> after = lzh::ArchiveReader(archive).members();
    ASSERT_EQ(after.size(), before.size() + 2);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const lzh::MemberHeader& o = before[i];
        const lzh::MemberHeader& n = after[i];
        EXPECT_EQ(n.path, o.path);
        if (o.path == "tree/README")
            continue;
        EXPECT_EQ(old_bytes.substr(o.header_offset, o.end_offset() - o.header_offset),
                  new_bytes.substr(n.header_offset, n.end_offset() - n.header_offset))
            << "kept member changed: " << o.path;
    }
    EXPECT_EQ(after[before.size()].path, "tree/zz.bin");   // appended in the walk's byte order
    EXPECT_EQ(after[before.size() + 1].path, lzh::encode_names("tree/新しい.txt").path);

    for (const auto& [path, node] : add)
        tree[path] = node;
    check_readers(archive, tree, std::string("u") + method.id);
}

/*
 * Names that are not UTF-8 on the disk: a Shift-JIS name is stored as it is
 * with code page 932, bytes of no known encoding without a code page. What
 * each reader makes of them is pinned here, one expected name per reader
 * (empty: the reader fails that member and creates nothing).
 */
TEST(InteropNames, NamesThatAreNotUtf8)
{
    char tmpl[] = "/tmp/pelkoran-interop-names-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    const std::string nihon = "\x93\xFA\x96\x7B.txt";              // 日本.txt in CP932
    const std::string source = "\x83\x5C\x81\x5B\x83\x58.txt";    // ソース.txt, a 0x5C trail byte
    const std::string raw = "\xFF\xFE.bin";                         // no encoding at all
    Tree tree;
    tree["d"] = Node{'d', {}, 1614834368};
    tree["d/" + nihon] = Node{'f', "nihon", 1614837968};
    tree["d/" + source] = Node{'f', "source", 1614841568};
    tree["d/" + raw] = Node{'f', "raw", 1614845168};
    ::mkdir((root + "/src").c_str(), 0755);
    write_tree(root + "/src", tree);
    const std::string archive = root + "/names.lzh";
    lzh::update_archive(archive, entries_for(root + "/src", tree), {}, nullptr);

    struct Want {
        const char* reader;
        std::string nihon, source, raw;
        bool fails;   // the reader's exit status reports the failed member
    };
    const Want wants[] = {
        {"lhasa", nihon, source, raw, false},
        {"bsdtar", "日本.txt", "ソース.txt", "", true},
        {"7z", nihon, "\x83/\x81\x5B\x83\x58.txt", raw, false},
        {"jlha", "日本.txt", "ソース.txt", "\xEF\xBF\xBD\xEF\xBF\xBD.bin", false},
    };
    for (const Want& w : wants) {
        const Reader& r = *std::find_if(std::begin(kReaders), std::end(kReaders),
                                        [&](const Reader& x) { return w.reader == std::string(x.name); });
        SCOPED_TRACE(w.reader);
        const std::string out = root + "/x-" + w.reader;
        ::mkdir(out.c_str(), 0755);
        std::string log;
        const int rc = run_reader(r, archive, out, log);
        EXPECT_EQ(rc != 0, w.fails) << log;
        Tree got = scan(out);
        std::map<std::string, std::string> expected = {{w.nihon, "nihon"}, {w.source, "source"}};
        if (!w.raw.empty())
            expected[w.raw] = "raw";
        for (const auto& [name, data] : expected) {
            auto it = got.find("d/" + name);
            ASSERT_NE(it, got.end()) << "missing " << lzh::decode_name(name, 0);
            EXPECT_EQ(it->second.data, data) << lzh::decode_name(name, 0);
        }
    }
    if (!std::getenv("PELKORAN_KEEP_INTEROP"))
        std::system(("rm -rf " + shell_quote(root)).c_str());
}

INSTANTIATE_TEST_SUITE_P(Methods, Interop, ::testing::Values("-lh5-", "-lh6-", "-lh7-"),
                         [](const auto& info) { return info.param.substr(1, 3); });

}  // namespace
