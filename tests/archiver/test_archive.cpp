// test_archive.cpp - the archive updater and reader on real files: members read
// back, method choice, replace/keep/append, and failures that must leave the
// old archive exactly as it was with no temporary file behind.
#include "archive_reader.h"
#include "archive_writer.h"
#include "file_io.h"
#include "names.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

class VectorSink : public lzh::ByteSink {
public:
    void write(const std::uint8_t* data, std::size_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
    }
    Bytes bytes;
};

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

Bytes text_bytes(std::size_t size)
{
    const std::string line = "Pelkoran は項目ごとに LZH 書庫を作ります。packs one archive per item.\n";
    Bytes b;
    while (b.size() < size)
        b.insert(b.end(), line.begin(), line.end());
    b.resize(size);
    return b;
}

Bytes random_bytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b)
        x = std::uint8_t(rng());
    return b;
}

std::set<std::string> dir_names(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

class Window : public lzh::ArchiverWindow {
public:
    bool on_progress(const lzh::Progress& p) override
    {
        ++calls;
        last_done = p.done;
        return cancel_at == 0 || calls < cancel_at;
    }
    void on_failure(std::string_view) override {}
    int calls = 0;
    int cancel_at = 0;   // 0: never cancel
    std::uint64_t last_done = 0;
};

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-archive-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        src_ = root_ + "/src";
        out_ = root_ + "/out";
        ::mkdir(src_.c_str(), 0755);
        ::mkdir(out_.c_str(), 0755);
        archive_ = out_ + "/a.lzh";
    }
    void TearDown() override
    {
        lzh::set_write_fault(std::nullopt);
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    // Makes `rel` under src/ and returns its entry.
    lzh::NewEntry file(const std::string& rel, const Bytes& data, time_t mtime = 1600000000)
    {
        std::string p = src_ + "/" + rel;
        write_file(p, data);
        timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, p.c_str(), times, 0);
        return entry(rel, lzh::NewEntry::Kind::file);
    }
    lzh::NewEntry dir(const std::string& rel)
    {
        ::mkdir((src_ + "/" + rel).c_str(), 0755);
        return entry(rel, lzh::NewEntry::Kind::directory);
    }
    lzh::NewEntry link(const std::string& rel, const std::string& target)
    {
        EXPECT_EQ(::symlink(target.c_str(), (src_ + "/" + rel).c_str()), 0);
        lzh::NewEntry e = entry(rel, lzh::NewEntry::Kind::symlink);
        e.link_target = target;
        return e;
    }
    lzh::NewEntry entry(const std::string& rel, lzh::NewEntry::Kind kind)
    {
        lzh::NewEntry e;
        e.kind = kind;
        e.source_path = src_ + "/" + rel;
        e.stored_path = rel;
        struct stat st {};
        EXPECT_EQ(::lstat(e.source_path.c_str(), &st), 0) << e.source_path;
        e.st = st;
        return e;
    }

    // Reads `archive` back: every member decoded and checked.
    std::vector<std::pair<lzh::MemberHeader, Bytes>> contents(const std::string& archive)
    {
        lzh::ArchiveReader reader(archive);
        std::vector<std::pair<lzh::MemberHeader, Bytes>> out;
        for (const lzh::MemberHeader& h : reader.members()) {
            VectorSink sink;
            reader.extract(h, sink);
            out.emplace_back(h, sink.bytes);
        }
        return out;
    }

    std::string root_, src_, out_, archive_;
};

TEST_F(ArchiveTest, WritesFilesDirectoriesAndLinksThatReadBack)
{
    std::vector<lzh::NewEntry> entries = {
        dir("ソース"),
        file("ソース/表.txt", text_bytes(200000), 1500000000),
        file("ソース/empty", {}),
        dir("ソース/空"),
        link("ソース/link", "表.txt"),
        file("README", text_bytes(100)),
    };
    lzh::UpdateReport r = lzh::update_archive(archive_, entries, {&lzh::kLh6}, nullptr);
    EXPECT_EQ(r.added, entries.size());
    EXPECT_EQ(r.bytes_out, read_file(archive_).size());
    EXPECT_EQ(read_file(archive_).back(), 0);

    auto got = contents(archive_);
    ASSERT_EQ(got.size(), entries.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const lzh::MemberHeader& h = got[i].first;
        const lzh::NewEntry& e = entries[i];
        SCOPED_TRACE(e.stored_path);
        EXPECT_EQ(lzh::decode_name(h.path, h.code_page), e.stored_path);
        const bool ascii = std::all_of(e.stored_path.begin(), e.stored_path.end(), [](char c) { return c > 0; });
        EXPECT_EQ(h.code_page, ascii ? lzh::kCodePageNone : lzh::kCodePageCp932);
        EXPECT_EQ(h.mtime, e.st.mtime);
        EXPECT_EQ(h.unix_mode, std::uint16_t(e.st.mode));
        EXPECT_EQ(h.is_directory, e.kind == lzh::NewEntry::Kind::directory);
        EXPECT_EQ(h.is_symlink, e.kind == lzh::NewEntry::Kind::symlink);
        if (e.kind == lzh::NewEntry::Kind::file) {
            EXPECT_EQ(got[i].second, read_file(e.source_path));
        }
    }
    EXPECT_STREQ(got[1].first.method, "-lh6-");
    EXPECT_LT(got[1].first.packed_size, 200000u / 4);
    EXPECT_STREQ(got[2].first.method, "-lh0-");
    EXPECT_EQ(got[2].first.packed_size, 0u);
    EXPECT_STREQ(got[4].first.method, "-lhd-");
    EXPECT_EQ(lzh::decode_name(got[4].first.link_target, got[4].first.code_page), "表.txt");
}

TEST_F(ArchiveTest, StoresWhatCodingDoesNotShrinkOrLeavesUnder8Bytes)
{
    std::vector<lzh::NewEntry> entries = {
        file("random", random_bytes(300000, 1)),
        file("tiny", {0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x01, 0x00}),
        file("one", {'x'}),
        file("zeros", Bytes(100000, 0)),
    };
    lzh::update_archive(archive_, entries, {&lzh::kLh7}, nullptr);
    auto got = contents(archive_);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_STREQ(got[0].first.method, "-lh0-");
    EXPECT_EQ(got[0].first.packed_size, 300000u);
    EXPECT_STREQ(got[1].first.method, "-lh0-");
    EXPECT_STREQ(got[2].first.method, "-lh0-");
    EXPECT_STREQ(got[3].first.method, "-lh7-");
    EXPECT_GE(got[3].first.packed_size, 8u);
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].second, read_file(entries[i].source_path));
}

TEST_F(ArchiveTest, UpdateReplacesInPlaceKeepsOthersByteForByteAndAppends)
{
    lzh::update_archive(archive_, {file("a", text_bytes(5000)), file("b", text_bytes(6000)),
                                   file("c", random_bytes(3000, 2))},
                        {}, nullptr);
    ASSERT_EQ(::chmod(archive_.c_str(), 0640), 0);
    const Bytes before = read_file(archive_);
    std::vector<lzh::MemberHeader> old = lzh::ArchiveReader(archive_).members();

    lzh::UpdateReport r = lzh::update_archive(
        archive_, {file("d", text_bytes(10)), file("b", text_bytes(7000))}, {&lzh::kLh5}, nullptr);
    EXPECT_EQ(r.kept, 2u);
    EXPECT_EQ(r.replaced, 1u);
    EXPECT_EQ(r.added, 1u);

    auto got = contents(archive_);
    ASSERT_EQ(got.size(), 4u);
    std::vector<std::string> order;
    for (auto& [h, data] : got)
        order.push_back(h.path);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d"}));
    struct stat st {};
    ASSERT_EQ(::stat(archive_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);   // the rewritten archive keeps the old mode
    EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});
    EXPECT_EQ(got[1].second, text_bytes(7000));
    // Kept members are the very bytes of the old archive.
    const Bytes after = read_file(archive_);
    for (int i : {0, 2}) {
        const lzh::MemberHeader& o = old[std::size_t(i)];
        const lzh::MemberHeader& n = got[std::size_t(i)].first;
        ASSERT_EQ(o.end_offset() - o.header_offset, n.end_offset() - n.header_offset);
        EXPECT_TRUE(std::equal(before.begin() + std::ptrdiff_t(o.header_offset),
                               before.begin() + std::ptrdiff_t(o.end_offset()),
                               after.begin() + std::ptrdiff_t(n.header_offset)));
    }
}

TEST_F(ArchiveTest, ExistingFileThatIsNotAnArchiveIsNeverOverwritten)
{
    const Bytes not_lzh = text_bytes(1000);
    for (const Bytes& content : {not_lzh, Bytes{}, Bytes{0, 1, 2}}) {
        write_file(archive_, content);
        try {
            lzh::update_archive(archive_, {file("a", text_bytes(100))}, {}, nullptr);
            ADD_FAILURE() << "overwrote a non-archive";
        } catch (const lzh::Error& e) {
            EXPECT_NE(std::string(e.what()).find(archive_), std::string::npos) << e.what();
        }
        EXPECT_EQ(read_file(archive_), content);
        EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});
    }
}

TEST_F(ArchiveTest, WriteFailureLeavesOldArchiveAndNoTemporaryFile)
{
    lzh::update_archive(archive_, {file("a", text_bytes(50000)), file("b", random_bytes(2000, 3))}, {},
                        nullptr);
    const Bytes before = read_file(archive_);
    std::vector<lzh::NewEntry> more = {file("c", random_bytes(3 << 20, 4)), file("a", text_bytes(9))};
    for (std::uint64_t after : {0ull, 1ull, 100ull, 20000ull, 1ull << 20, 3ull << 20}) {
        lzh::set_write_fault(lzh::WriteFault{after, ENOSPC});
        EXPECT_THROW(lzh::update_archive(archive_, more, {}, nullptr), lzh::Error) << after;
        lzh::set_write_fault(std::nullopt);
        EXPECT_EQ(read_file(archive_), before);
        EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});
    }
    // No archive before: still none after.
    const std::string fresh = out_ + "/new.lzh";
    lzh::set_write_fault(lzh::WriteFault{10, ENOSPC});
    EXPECT_THROW(lzh::update_archive(fresh, more, {}, nullptr), lzh::Error);
    lzh::set_write_fault(std::nullopt);
    EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});
}

TEST_F(ArchiveTest, CancelAndUnreadableFilesLeaveOldArchive)
{
    lzh::update_archive(archive_, {file("a", text_bytes(100))}, {}, nullptr);
    const Bytes before = read_file(archive_);
    std::vector<lzh::NewEntry> more = {file("big", random_bytes(10 << 20, 5)), file("x", text_bytes(10))};

    Window w;
    w.cancel_at = 3;
    EXPECT_THROW(lzh::update_archive(archive_, more, {}, &w), lzh::Cancelled);
    EXPECT_EQ(w.calls, 3);
    EXPECT_EQ(read_file(archive_), before);
    EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});

    ::unlink(more[1].source_path.c_str());   // vanished after the walk
    try {
        lzh::update_archive(archive_, more, {}, nullptr);
        ADD_FAILURE() << "a missing file was not reported";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find(more[1].source_path), std::string::npos) << e.what();
    }
    EXPECT_EQ(read_file(archive_), before);
    EXPECT_EQ(dir_names(out_), std::set<std::string>{"a.lzh"});
}

// A file that changes between the coding pass and the re-read for storing must
// not end up with a header that disagrees with its data: the item fails.
TEST_F(ArchiveTest, FileChangedBetweenPassesFailsInsteadOfAMismatchedHeader)
{
    struct Changer : Window {
        std::string path;
        bool on_progress(const lzh::Progress& p) override
        {
            if (p.current == "r" && p.done > 0 && calls++ == 0) {
                int fd = ::open(path.c_str(), O_WRONLY);
                EXPECT_EQ(::pwrite(fd, "changed", 7, 0), 7);
                ::close(fd);
            }
            return true;
        }
    } changer;
    lzh::NewEntry r = file("r", random_bytes(6 << 20, 8));   // incompressible: read twice
    changer.path = r.source_path;
    try {
        lzh::update_archive(archive_, {r}, {}, &changer);
        ADD_FAILURE() << "a changed file was written";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find(r.source_path), std::string::npos) << e.what();
    }
    EXPECT_GE(changer.calls, 1);
    EXPECT_TRUE(dir_names(out_).empty());
}

TEST_F(ArchiveTest, ProgressReachesTheTotal)
{
    Window w;
    lzh::update_archive(archive_, {file("big", random_bytes(9 << 20, 6)), file("s", text_bytes(10))},
                        {}, &w);
    EXPECT_GE(w.calls, 3);
    EXPECT_EQ(w.last_done, (9u << 20) + 10u);
}

TEST_F(ArchiveTest, NeverPacksTheArchiveItself)
{
    lzh::update_archive(archive_, {file("a", text_bytes(100))}, {}, nullptr);
    lzh::NewEntry self;
    self.source_path = archive_;
    self.stored_path = "out/a.lzh";
    struct stat st {};
    ASSERT_EQ(::lstat(archive_.c_str(), &st), 0);
    self.st = st;
    lzh::UpdateReport r = lzh::update_archive(archive_, {self, file("b", text_bytes(5))}, {}, nullptr);
    EXPECT_EQ(r.skipped, 1u);
    auto got = contents(archive_);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].first.path, "b");
}

TEST_F(ArchiveTest, RefusesFilesOf4GiBWithoutWriting)
{
    const std::string big = src_ + "/sparse";
    int fd = ::open(big.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 32), 0);   // sparse: no disk space used
    ::close(fd);
    try {
        lzh::update_archive(archive_, {entry("sparse", lzh::NewEntry::Kind::file)}, {}, nullptr);
        ADD_FAILURE() << "a 4 GiB file was accepted";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find("4 GiB"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(dir_names(out_).empty());
}

TEST_F(ArchiveTest, DamagedArchivesAreReportedNamingTheMember)
{
    lzh::update_archive(archive_, {file("stored", random_bytes(500, 7)), file("coded", text_bytes(5000))},
                        {}, nullptr);
    const Bytes good = read_file(archive_);
    std::vector<lzh::MemberHeader> m = lzh::ArchiveReader(archive_).members();
    ASSERT_EQ(m.size(), 2u);

    for (std::size_t i : {0, 1}) {
        Bytes bad = good;
        bad[m[i].data_offset + m[i].packed_size / 2] ^= 0x40;
        write_file(archive_, bad);
        try {
            contents(archive_);
            ADD_FAILURE() << "damage in member " << i << " not found";
        } catch (const lzh::DataError& e) {
            EXPECT_NE(std::string(e.what()).find(m[i].path), std::string::npos) << e.what();
        }
    }
    Bytes truncated(good.begin(), good.end() - 10);
    write_file(archive_, truncated);
    EXPECT_THROW(lzh::ArchiveReader(archive_).members(), lzh::DataError);
    Bytes trailing = good;
    trailing.push_back('x');
    write_file(archive_, trailing);
    EXPECT_THROW(lzh::ArchiveReader(archive_).members(), lzh::DataError);
}

}  // namespace

namespace {

// Random damage anywhere in a whole archive: reading and decoding end in a
// DataError or in plausible output, never in a crash, a hang or another error.
TEST_F(ArchiveTest, RandomDamageEndsInDataErrorNeverACrash)
{
    lzh::update_archive(archive_, {dir("d"), file("d/t", text_bytes(40000)), file("r", random_bytes(300, 9)),
                                   file("e", {}), file("b", text_bytes(3000))},
                        {&lzh::kLh7}, nullptr);
    const Bytes good = read_file(archive_);
    std::mt19937 rng(99);
    int errors = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes b = good;
        for (int k = 0, hits = 1 + int(rng() % 3); k < hits; ++k)
            b[rng() % b.size()] ^= std::uint8_t(1 + rng() % 255);
        write_file(archive_, b);
        try {
            contents(archive_);
        } catch (const lzh::DataError&) {
            ++errors;
        }
    }
    EXPECT_GT(errors, 300);   // nearly every damage is noticed (header CRC, data CRC)
}

}  // namespace
