// test_archiver_command.cpp - ArchiverCommand end to end on real directories:
// what it writes, what it refuses, and what it leaves behind when it fails.
#include "archive_support.h"
#include "fs/file_io.h"
#include "fs/names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace test_support;
using namespace lzh;

/*
 * A directory item comes with all it holds, each directory before its
 * contents, names in byte order, each member with its name (CP932), time, mode
 * and data. A member is stored (-lh0-) when coding does not shrink it or
 * leaves fewer than 8 bytes. A link is stored, not followed; FIFOs are left
 * out (opening one would block), each told to the window and named in the reply.
 */
TEST(ArchiverCommand, PacksADirectoryWithItsContentsInOrder)
{
    TempDir t;
    struct Want {
        std::string path;
        const char* method;
        std::string data;
    };
    const std::vector<Want> wants = {
        {"photos", "-lhd-", ""},
        {"photos/a.jpg", "-lh7-", text_data(200000)},
        {"photos/b.jpg", "-lh0-", "aaa"},
        {"photos/empty", "-lh0-", ""},
        {"photos/link", "-lhd-", ""},
        {"photos/random", "-lh0-", noise(300000, 1)},
        {"photos/tiny", "-lh0-", std::string("\0\1\0\1\1\0\1\0", 8)},
        {"photos/zeros", "-lh7-", std::string(100000, '\0')},
        {"photos/空", "-lhd-", ""},
        {"photos/表", "-lhd-", ""},
        {"photos/表/十.txt", "-lh0-", "see"},
    };
    for (const Want& w : wants)
        if (w.method != std::string("-lhd-"))
            write_file(t / w.path, w.data);
    ::mkdir((t / "photos/空").c_str(), 0700);
    ASSERT_EQ(::symlink("/nonexistent/outside", (t / "photos/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((t / "photos/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((t / "photos/表/ソ").c_str(), 0600), 0);
    const timespec old[2] = {{1500000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, (t / "photos/a.jpg").c_str(), old, 0);

    RecordingWindow w;
    const Reply r = run_command(add_command(t / "photos.lzh", t.path() + "/", {"photos"}, " -lh7"), &w);
    ASSERT_EQ(r.rc, kArchiverOk) << r.text;
    EXPECT_EQ(w.skipped, (std::vector<std::string>{t / "photos/pipe", t / "photos/表/ソ"}));
    EXPECT_TRUE(contains(r.text, t / "photos/pipe") && contains(r.text, t / "photos/表/ソ")) << r.text;
    EXPECT_EQ(w.done, 600014u);
    EXPECT_EQ(w.total, 600014u);
    EXPECT_TRUE(w.failures.empty());
    const auto members = read_archive(t / "photos.lzh");
    ASSERT_EQ(members.size(), wants.size());
    for (std::size_t i = 0; i < wants.size(); ++i) {
        const MemberHeader& h = members[i].h;
        SCOPED_TRACE(wants[i].path);
        struct stat st {};
        ASSERT_EQ(::lstat((t / wants[i].path).c_str(), &st), 0);
        EXPECT_EQ(decode_name(h.path, h.code_page), wants[i].path);
        const bool ascii =
            std::all_of(wants[i].path.begin(), wants[i].path.end(), [](char c) { return c > 0; });
        EXPECT_EQ(h.code_page, ascii ? kCodePageNone : kCodePageCp932);
        EXPECT_STREQ(h.method, wants[i].method);
        EXPECT_EQ(h.mtime, st.st_mtime);
        EXPECT_EQ(h.unix_mode, std::uint16_t(st.st_mode));
        EXPECT_EQ(h.is_directory, S_ISDIR(st.st_mode));
        EXPECT_EQ(h.is_symlink, S_ISLNK(st.st_mode));
        EXPECT_EQ(members[i].data, wants[i].data);
    }
    EXPECT_EQ(members[4].h.link_target, "/nonexistent/outside");
    EXPECT_LT(members[1].h.packed_size, 200000u / 4);
    EXPECT_EQ(members[5].h.packed_size, 300000u);
    EXPECT_GE(members[7].h.packed_size, 8u);
}

// Named items replace their members where they stand, others are kept byte
// for byte (even when their file changed), new ones are appended; the
// rewritten archive keeps its mode, and its owner and group when root
// updates another user's archive.
TEST(ArchiverCommand, UpdateReplacesKeepsAndAppends)
{
    TempDir t;
    write_file(t / "a.txt", text_data(3000));
    write_file(t / "b.txt", "old b");
    write_file(t / "c.txt", noise(500, 1));
    const std::string archive = t / "x.lzh";
    ASSERT_EQ(run_command(add_command(archive, t.path() + "/", {"a.txt", "b.txt", "c.txt"})).rc, kArchiverOk);
    const bool root = ::getuid() == 0;
    ASSERT_TRUE(!root || ::chown(archive.c_str(), 1234, 5678) == 0);
    const mode_t mode = root ? 02640 : 0640;
    ASSERT_EQ(::chmod(archive.c_str(), mode), 0);
    const std::string before = read_file(archive);
    const auto old = ArchiveReader(archive).members();

    write_file(t / "a.txt", "changed on disk, but not named in the command");
    write_file(t / "b.txt", "new b, longer than before");
    write_file(t / "d.txt", "d");
    const Reply r = run_command(add_command(archive, t.path() + "/", {"d.txt", "b.txt"}));
    ASSERT_EQ(r.rc, kArchiverOk) << r.text;
    const auto now = read_archive(archive);
    EXPECT_EQ(member_paths(archive), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_EQ(now[1].data, "new b, longer than before");
    const std::string after = read_file(archive);
    for (int i : {0, 2})
        EXPECT_EQ(raw_member(after, now[std::size_t(i)].h), raw_member(before, old[std::size_t(i)])) << i;
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    if (root) {
        EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(uid_t(1234), gid_t(5678)));
    }
    EXPECT_EQ(list_dir(t.path()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "x.lzh"}));
}

TEST(ArchiverCommand, NeverPacksItsOwnArchive)
{
    TempDir t;
    write_file(t / "dir/file.txt", "x");
    const std::string archive = t / "dir/out/dir.lzh";  // inside the item it packs
    ::mkdir((t / "dir/out").c_str(), 0755);
    for (int run = 0; run < 2; ++run)  // the second time the archive exists
        ASSERT_EQ(run_command(add_command(archive, t.path() + "/", {"dir"})).rc, kArchiverOk);
    EXPECT_EQ(member_paths(archive), (std::vector<std::string>{"dir/", "dir/file.txt", "dir/out/"}));
    EXPECT_EQ(list_dir(t / "dir/out"), std::vector<std::string>{"dir.lzh"});
}

// Refused or failed commands leave the old archive (or its absence) exactly
// as it was, no temporary file, and a reason naming the path.
TEST(ArchiverCommand, FailuresLeaveEverythingAsItWas)
{
    TempDir t;
    write_file(t / "a.txt", text_data(200000));
    write_file(t / "b.txt", noise(300000, 2));
    const std::string base = t.path() + "/";
    const std::string archive = t / "a.lzh";
    const std::vector<std::string> names = {"a.lzh", "a.txt", "b.txt"};

    // A file in the archive's place that is not an LZH archive is never overwritten.
    for (const std::string& content :
         {std::string("not an archive at all\n"), std::string(), std::string("\0\1\2", 3)}) {
        write_file(archive, content);
        RecordingWindow w;
        const Reply r = run_command(add_command(archive, base, {"a.txt"}), &w);
        EXPECT_EQ(r.rc, kArchiverFailed);
        EXPECT_TRUE(contains(r.text, archive)) << r.text;
        EXPECT_EQ(w.failures, std::vector<std::string>{r.text});
        EXPECT_EQ(read_file(archive), content);
        EXPECT_EQ(list_dir(t.path()), names);
    }

    // The disk fills at any point while the new archive is written.
    ::unlink(archive.c_str());
    ASSERT_EQ(run_command(add_command(archive, base, {"a.txt"})).rc, kArchiverOk);
    const std::string good = read_file(archive);
    for (std::uint64_t after : {0ull, 100ull, 20000ull, 300000ull}) {
        set_write_fault(WriteFault{after, ENOSPC});
        const Reply r = run_command(add_command(archive, base, {"a.txt", "b.txt"}));
        set_write_fault(std::nullopt);
        EXPECT_EQ(r.rc, kArchiverFailed) << after;
        EXPECT_EQ(read_file(archive), good) << after;
        EXPECT_EQ(list_dir(t.path()), names) << after;
    }
    set_write_fault(WriteFault{10, ENOSPC});
    EXPECT_EQ(run_command(add_command(t / "new.lzh", base, {"a.txt"})).rc, kArchiverFailed);
    set_write_fault(std::nullopt);

    // An item that does not exist.
    RecordingWindow w;
    Reply r = run_command(add_command(t / "new.lzh", base, {"missing.txt"}), &w);
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_TRUE(contains(r.text, t / "missing.txt")) << r.text;
    EXPECT_EQ(w.failures.size(), 1u);

    // A file of 4 GiB, which the format cannot hold (sparse: no disk space used).
    const int fd = ::open((t / "sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_TRUE(fd >= 0 && ::ftruncate(fd, off_t(1) << 32) == 0);
    ::close(fd);
    r = run_command(add_command(archive, base, {"sparse"}));
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_TRUE(contains(r.text, "4 GiB") && contains(r.text, t / "sparse")) << r.text;
    ::unlink((t / "sparse").c_str());

    // Whatever the window throws: an internal error, told to the window as well.
    struct ThrowingWindow : RecordingWindow {
        bool on_progress(const Progress& p) override
        {
            RecordingWindow::on_progress(p);
            if (calls == 2)
                throw 42;
            return true;
        }
    } thrower;
    r = run_command(add_command(archive, base, {"a.txt", "b.txt"}), &thrower);
    EXPECT_EQ(r.rc, kArchiverFailed);
    EXPECT_EQ(r.text, "内部エラーです");
    EXPECT_EQ(thrower.failures, std::vector<std::string>{r.text});

    // A cancel from the window.
    RecordingWindow cancel;
    cancel.cancel_at = 1;
    r = run_command(add_command(archive, base, {"b.txt"}), &cancel);
    EXPECT_EQ(r.rc, kArchiverCancelled);
    EXPECT_EQ(cancel.failures.size(), 1u);

    // A refused command text.
    RecordingWindow bad;
    EXPECT_EQ(run_command("a \"x.lzh\" -d1", &bad).rc, kArchiverBadCommand);
    EXPECT_EQ(bad.failures.size(), 1u);

    EXPECT_EQ(read_file(archive), good);
    EXPECT_EQ(list_dir(t.path()), names);
}

// The reply never runs past its size, is always terminated, and a short
// buffer cuts the Japanese reason before a whole character.
TEST(ArchiverCommand, ReplyIsBoundedAndTerminated)
{
    EXPECT_NE(ArchiverCommand(nullptr, "bogus", nullptr, 0), kArchiverOk);
    for (std::uint32_t size = 1; size < 40; ++size) {
        std::vector<char> buf(size + 8, '#');
        ArchiverCommand(nullptr, "bogus", buf.data(), size);
        const std::size_t len = std::strlen(buf.data());
        ASSERT_LT(len, size);
        EXPECT_EQ(buf[size], '#');
        if (len > 0) {
            std::size_t lead = len - 1;
            while ((static_cast<unsigned char>(buf[lead]) & 0xC0) == 0x80)
                --lead;
            const unsigned char c = buf[lead];
            EXPECT_EQ(len - lead, std::size_t(c < 0x80   ? 1
                                              : c < 0xE0 ? 2
                                              : c < 0xF0 ? 3
                                                         : 4))
                << "size " << size;
        }
    }
}
