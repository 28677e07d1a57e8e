// ArchiverCommand end to end on real directories: what it writes, what it
// refuses, and what it leaves behind when it fails.
#include "archive_reader.h"
#include "archiver.h"
#include "file_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace lzh;

namespace {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/pelkoran-cmd-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& data)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Files in `dir` whose names are not in `expected`: temporary leftovers.
std::vector<std::string> strays(const std::string& dir, std::initializer_list<std::string> expected)
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            out.push_back(name);
    }
    return out;
}

std::vector<std::string> member_paths(const std::string& archive)
{
    std::vector<std::string> out;
    ArchiveReader reader(archive);
    for (const MemberHeader& h : reader.members())
        out.push_back(h.path + (h.is_directory ? "/" : ""));
    return out;
}

std::string raw_member(const std::string& archive, const std::string& path)
{
    const std::string bytes = read_file(archive);
    ArchiveReader reader(archive);
    for (const MemberHeader& h : reader.members())
        if (h.path == path)
            return bytes.substr(h.header_offset, h.end_offset() - h.header_offset);
    return {};
}

std::string add(const std::string& archive, const std::string& base, const std::string& items)
{
    return "a \"" + archive + "\" \"" + base + "/\" -d1 " + items;
}

struct Reply {
    int rc;
    std::string text;
};

Reply run(const std::string& command, ArchiverWindow* window = nullptr)
{
    char buf[2048];
    const int rc = ArchiverCommand(window, command.c_str(), buf, sizeof buf);
    return {rc, buf};
}

class RecordingWindow : public ArchiverWindow {
public:
    bool on_progress(const Progress& p) override
    {
        ++calls;
        total = p.total;
        return calls <= cancel_after;
    }
    void on_failure(std::string_view reason) override { failures.emplace_back(reason); }
    int calls = 0;
    int cancel_after = 1 << 30;
    std::uint64_t total = 0;
    std::vector<std::string> failures;
};

}  // namespace

TEST(ArchiverCommand, PacksADirectoryWithItsContentsInOrder)
{
    TempDir t;
    write_file(t / "photos/b.jpg", std::string(5000, 'b'));
    write_file(t / "photos/a.jpg", "aaa");
    write_file(t / "photos/sub/c.txt", "see");
    fs::create_directory(t / "photos/empty");
    ASSERT_EQ(::symlink("/nonexistent/outside", (t / "photos/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((t / "photos/pipe").c_str(), 0600), 0);   // opening it would block

    RecordingWindow w;
    const Reply r = run(add(t / "photos.lzh", t.path(), "\"photos\""), &w);
    ASSERT_EQ(r.rc, kArchiverOk) << r.text;
    EXPECT_NE(r.text.find(t / "photos/pipe"), std::string::npos) << r.text;
    EXPECT_GT(w.calls, 0);
    EXPECT_EQ(w.total, 5006u);
    EXPECT_TRUE(w.failures.empty());

    const std::vector<std::string> expected = {"photos/", "photos/a.jpg", "photos/b.jpg", "photos/empty/",
                                               "photos/link", "photos/sub/", "photos/sub/c.txt"};
    EXPECT_EQ(member_paths(t / "photos.lzh"), expected);
    ArchiveReader reader(t / "photos.lzh");
    for (const MemberHeader& h : reader.members()) {
        if (h.path == "photos/link") {
            EXPECT_TRUE(h.is_symlink);
            EXPECT_EQ(h.link_target, "/nonexistent/outside");
        }
    }
}

TEST(ArchiverCommand, UpdateReplacesKeepsAndAppends)
{
    TempDir t;
    write_file(t / "a.txt", std::string(3000, 'a'));
    write_file(t / "b.txt", "old b");
    const std::string archive = t / "x.lzh";
    ASSERT_EQ(run(add(archive, t.path(), "\"a.txt\" \"b.txt\"")).rc, kArchiverOk);
    const std::string kept_before = raw_member(archive, "a.txt");
    ASSERT_FALSE(kept_before.empty());

    write_file(t / "a.txt", "changed on disk, but not named in the command");
    write_file(t / "b.txt", "new b, longer than before");
    write_file(t / "c.txt", "c");
    const Reply r = run(add(archive, t.path(), "\"b.txt\" \"c.txt\""));
    ASSERT_EQ(r.rc, kArchiverOk) << r.text;
    EXPECT_EQ(member_paths(archive), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(raw_member(archive, "a.txt"), kept_before);

    ArchiveReader reader(archive);
    for (const MemberHeader& h : reader.members())
        if (h.path == "b.txt")
            EXPECT_EQ(h.original_size, 25u);
}

TEST(ArchiverCommand, NeverPacksItsOwnArchive)
{
    TempDir t;
    write_file(t / "dir/file.txt", "x");
    const std::string archive = t / "dir/out/dir.lzh";   // output directory inside the item
    fs::create_directories(t / "dir/out");
    ASSERT_EQ(run(add(archive, t.path(), "\"dir\"")).rc, kArchiverOk);
    ASSERT_EQ(run(add(archive, t.path(), "\"dir\"")).rc, kArchiverOk);   // now it exists
    for (const std::string& p : member_paths(archive))
        EXPECT_EQ(p.find(".lzh"), std::string::npos) << p;
    EXPECT_TRUE(strays(t / "dir/out", {"dir.lzh"}).empty());
}

TEST(ArchiverCommand, FailuresLeaveEverythingAsItWas)
{
    TempDir t;
    write_file(t / "a.txt", std::string(200000, 'z'));
    const std::string archive = t / "a.lzh";

    // A file that is not an LZH archive is never overwritten.
    write_file(archive, "not an archive at all\n");
    Reply r = run(add(archive, t.path(), "\"a.txt\""));
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_NE(r.text.find(archive), std::string::npos) << r.text;
    EXPECT_EQ(read_file(archive), "not an archive at all\n");

    // The disk fills while the new archive is written.
    fs::remove(archive);
    ASSERT_EQ(run(add(archive, t.path(), "\"a.txt\"")).rc, kArchiverOk);
    const std::string good = read_file(archive);
    write_file(t / "b.txt", std::string(300000, 'q'));
    set_write_fault(WriteFault{100, ENOSPC});
    r = run(add(archive, t.path(), "\"a.txt\" \"b.txt\""));
    set_write_fault(std::nullopt);
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_EQ(read_file(archive), good);
    EXPECT_TRUE(strays(t.path(), {"a.txt", "b.txt", "a.lzh"}).empty());

    // An item that does not exist: the reason names it, nothing is written.
    RecordingWindow w;
    r = run(add(t / "new.lzh", t.path(), "\"missing.txt\""), &w);
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_NE(r.text.find(t / "missing.txt"), std::string::npos) << r.text;
    EXPECT_EQ(w.failures.size(), 1u);
    EXPECT_FALSE(fs::exists(t / "new.lzh"));

    // A cancel from the window.
    RecordingWindow cancel;
    cancel.cancel_after = 0;
    r = run(add(archive, t.path(), "\"b.txt\""), &cancel);
    EXPECT_EQ(r.rc, kArchiverCancelled);
    EXPECT_EQ(read_file(archive), good);
    EXPECT_EQ(cancel.failures.size(), 1u);
    EXPECT_TRUE(strays(t.path(), {"a.txt", "b.txt", "a.lzh"}).empty());

    // A refused command text.
    RecordingWindow bad;
    EXPECT_EQ(run("a \"x.lzh\" -d1", &bad).rc, kArchiverBadCommand);
    EXPECT_EQ(bad.failures.size(), 1u);
}

TEST(ArchiverCommand, ReplyIsBoundedAndTerminated)
{
    EXPECT_NE(ArchiverCommand(nullptr, "bogus", nullptr, 0), kArchiverOk);

    char one[2] = {'x', '#'};
    ArchiverCommand(nullptr, "bogus", one, 1);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(one[1], '#');

    // The reason is Japanese: a short buffer is cut before a whole character.
    for (std::uint32_t size = 2; size < 40; ++size) {
        std::vector<char> buf(size + 8, '#');
        ArchiverCommand(nullptr, "bogus", buf.data(), size);
        const std::size_t len = std::strlen(buf.data());
        ASSERT_LT(len, size);
        EXPECT_EQ(buf[size], '#');
        if (len > 0) {
            // The last character is complete: its lead byte announces what follows.
            std::size_t lead = len - 1;
            while ((static_cast<unsigned char>(buf[lead]) & 0xC0) == 0x80)
                --lead;
            const unsigned char c = buf[lead];
            const std::size_t need = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            EXPECT_EQ(len - lead, need) << "size " << size;
        }
    }
}
