// test_faults.cpp - injected faults while an archive is written: a file that
// changes under the reader, a cancel at every progress call, directories the
// writer may not write, and the memory a very large directory costs.
#include "archive_reader.h"
#include "archive_writer.h"
#include "archiver.h"
#include "command.h"
#include "file_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string random_data(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

std::string text_data(std::size_t size)
{
    std::string s;
    for (int i = 0; s.size() < size; ++i)
        s += "line " + std::to_string(i % 1000) + " of a text that packs well\n";
    s.resize(size);
    return s;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-faults-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        ::chmod(root_.c_str(), 0755);
        ::mkdir((root_ + "/src").c_str(), 0755);
        ::mkdir((root_ + "/out").c_str(), 0755);
    }
    void TearDown() override
    {
        lzh::set_read_hook(nullptr);
        EXPECT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0);
    }

    void write(const std::string& rel, const std::string& data)
    {
        std::ofstream(root_ + "/src/" + rel, std::ios::binary) << data;
    }
    lzh::NewEntry entry(const std::string& rel)
    {
        lzh::NewEntry e;
        e.source_path = root_ + "/src/" + rel;
        e.stored_path = rel;
        struct stat st {};
        EXPECT_EQ(::lstat(e.source_path.c_str(), &st), 0);
        e.st = st;
        e.kind = S_ISDIR(st.st_mode) ? lzh::NewEntry::Kind::directory : lzh::NewEntry::Kind::file;
        return e;
    }
    // Names in out/ other than `keep`: temporary files left behind.
    std::vector<std::string> leftovers(const std::string& keep = "a.lzh")
    {
        std::vector<std::string> out;
        DIR* d = ::opendir((root_ + "/out").c_str());
        while (dirent* e = ::readdir(d))
            if (std::string n = e->d_name; n != "." && n != ".." && n != keep)
                out.push_back(n);
        ::closedir(d);
        return out;
    }
    // Every member decodes to the size and CRC its header gives.
    void expect_sound(const std::string& archive)
    {
        lzh::ArchiveReader reader(archive);
        for (const lzh::MemberHeader& h : reader.members()) {
            lzh::NullSink sink;
            EXPECT_NO_THROW(reader.extract(h, sink)) << h.path;
            EXPECT_EQ(sink.bytes, h.original_size) << h.path;
        }
    }
    std::string archive() const { return root_ + "/out/a.lzh"; }

    std::string root_;
};

/*
 * The file shrinks, grows, vanishes or changes after its first megabyte was
 * read, for a file that codes well (one pass) and for random data (coded,
 * then stored: read twice). Either the item fails naming the file and the old
 * archive stays as it was, or the archive holds what was read, header and data
 * agreeing.
 */
TEST_F(FaultTest, FileChangingWhileItIsRead)
{
    enum Change { shrink, grow, vanish, empty, rewrite };
    for (bool random : {false, true}) {
        for (Change change : {shrink, grow, vanish, empty, rewrite}) {
            SCOPED_TRACE(std::string(random ? "random " : "text ") + "change " +
                         std::to_string(int(change)));
            const std::string data = random ? random_data(3 << 20, 7) : text_data(3 << 20);
            write("old.txt", "old");
            ::unlink(archive().c_str());
            lzh::update_archive(archive(), {entry("old.txt")}, {}, nullptr);
            const std::string before = slurp(archive());

            write("f.bin", data);
            const std::string path = root_ + "/src/f.bin";
            bool done = false;
            lzh::set_read_hook([&](const std::string& p, std::uint64_t offset) {
                if (p != path || offset < (1u << 20) || done)
                    return;
                done = true;
                if (change == shrink)
                    ::truncate(path.c_str(), 1500000);
                else if (change == grow)
                    std::ofstream(path, std::ios::app) << text_data(1 << 20);
                else if (change == vanish)
                    ::unlink(path.c_str());
                else if (change == empty)
                    ::truncate(path.c_str(), 0);
                else
                    std::ofstream(path, std::ios::in | std::ios::out) << std::string(100, 'X');
            });
            const lzh::NewEntry e = entry("f.bin");
            try {
                lzh::update_archive(archive(), {e}, {}, nullptr);
                expect_sound(archive());
            } catch (const lzh::Error& err) {
                EXPECT_NE(std::string(err.what()).find(path), std::string::npos) << err.what();
                EXPECT_EQ(slurp(archive()), before);
            }
            lzh::set_read_hook(nullptr);
            EXPECT_TRUE(leftovers().empty());
            EXPECT_TRUE(done);
        }
    }
}

/*
 * A cancel at each progress call in turn, from the first member to the last
 * call just before the rename: every one leaves the old archive byte for byte
 * and no temporary file. The members cover a file coded in one pass, one that
 * is coded and then stored (read twice), a directory and a kept old member.
 */
TEST_F(FaultTest, CancelAtEveryStage)
{
    write("keep.txt", "kept");
    lzh::update_archive(archive(), {entry("keep.txt")}, {}, nullptr);
    const std::string before = slurp(archive());
    ::mkdir((root_ + "/src/dir").c_str(), 0755);
    write("dir/text.txt", text_data(9 << 20));
    write("dir/random.bin", random_data(9 << 20, 3));
    const std::vector<lzh::NewEntry> entries = {entry("dir"), entry("dir/text.txt"),
                                                entry("dir/random.bin")};

    struct Window : lzh::ArchiverWindow {
        bool on_progress(const lzh::Progress& p) override
        {
            seen.emplace_back(p.current);
            return ++calls < cancel_at;
        }
        void on_failure(std::string_view) override {}
        int calls = 0;
        int cancel_at = 0;
        std::vector<std::string> seen;   // Progress::current of each call
    };
    int cancel_at = 1;
    for (;; ++cancel_at) {
        Window w;
        w.cancel_at = cancel_at;
        try {
            lzh::update_archive(archive(), entries, {}, &w);
            EXPECT_EQ(w.calls, cancel_at - 1);   // every call answered true
            // The last two: after the end mark, and once the file is closed,
            // just before the rename.
            ASSERT_GE(w.seen.size(), 2u);
            EXPECT_EQ(w.seen[w.seen.size() - 1], "");
            EXPECT_EQ(w.seen[w.seen.size() - 2], "");
            break;
        } catch (const lzh::Cancelled& c) {
            EXPECT_EQ(w.calls, cancel_at);
            EXPECT_NE(std::string(c.what()).find(archive()), std::string::npos) << c.what();
        }
        ASSERT_EQ(slurp(archive()), before) << "cancel at call " << cancel_at;
        ASSERT_TRUE(leftovers().empty()) << "cancel at call " << cancel_at;
        ASSERT_LT(cancel_at, 200);
    }
    // Member starts, reads every 4 MiB, both passes over random.bin, the end
    // and the last call before the rename were all offered to the cancel.
    EXPECT_GT(cancel_at, 10);
    expect_sound(archive());
}

/*
 * As an unprivileged user (root writes anywhere): an output directory that
 * may not be written, an archive whose directory is read-only, and an
 * archive path that is a directory. Each fails with a reason naming the path
 * and leaves the directory as it was.
 */
TEST_F(FaultTest, PlacesTheArchiveCannotGo)
{
    write("f.txt", "data");
    ::mkdir((root_ + "/locked").c_str(), 0755);   // root's: nobody may not write here
    ::mkdir((root_ + "/ro").c_str(), 0755);
    lzh::update_archive(root_ + "/ro/a.lzh", {entry("f.txt")}, {}, nullptr);
    ::chmod((root_ + "/ro").c_str(), 0555);
    ::chown((root_ + "/ro").c_str(), 65534, 65534);
    ::mkdir((root_ + "/out/a.lzh").c_str(), 0755);   // the archive path is a directory
    const std::string ro_before = slurp(root_ + "/ro/a.lzh");

    struct Case {
        std::string archive;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {root_ + "/locked/a.lzh", "書庫の一時ファイルを作れません: " + root_ + "/locked/ (権限がありません)"},
        {root_ + "/ro/a.lzh", "書庫の一時ファイルを作れません: " + root_ + "/ro/ (権限がありません)"},
        {root_ + "/out/a.lzh", "書庫のパスにディレクトリがあるため書き込みません: " + root_ + "/out/a.lzh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        int pipe_fd[2];
        ASSERT_EQ(::pipe(pipe_fd), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe_fd[0]);
            if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            const std::string cmd = "a " + lzh::quote_token(c.archive) + " " +
                                    lzh::quote_token(root_ + "/src/") + " -d1 \"f.txt\"";
            char reply[1024];
            const int rc = ArchiverCommand(nullptr, cmd.c_str(), reply, sizeof reply);
            (void)!::write(pipe_fd[1], reply, std::strlen(reply));
            ::_exit(rc);
        }
        ::close(pipe_fd[1]);
        std::string reply;
        char buf[512];
        for (ssize_t n; (n = ::read(pipe_fd[0], buf, sizeof buf)) > 0;)
            reply.append(buf, std::size_t(n));
        ::close(pipe_fd[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), lzh::kArchiverFailed) << reply;
        EXPECT_NE(reply.find(c.reason), std::string::npos) << reply;
    }
    EXPECT_EQ(slurp(root_ + "/ro/a.lzh"), ro_before);
    EXPECT_TRUE(leftovers().empty());
    struct stat st {};
    EXPECT_NE(::stat((root_ + "/locked/a.lzh").c_str(), &st), 0);
    DIR* d = ::opendir((root_ + "/ro").c_str());
    int names = 0;
    while (dirent* e = ::readdir(d))
        names += e->d_name[0] != '.';
    ::closedir(d);
    EXPECT_EQ(names, 1);
}

#if defined(__SANITIZE_ADDRESS__)
#define PELKORAN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELKORAN_UNDER_ASAN 1
#endif
#endif

/*
 * 100,000 files in one directory: the whole command, walk and write, peaks
 * well below 64 MiB (measured in a child so the figure is the command's own).
 */
TEST_F(FaultTest, HundredThousandFilesInBoundedMemory)
{
#ifdef PELKORAN_UNDER_ASAN
    GTEST_SKIP() << "memory figures mean nothing under AddressSanitizer";
#endif
    const std::string dir = root_ + "/src/many";
    ::mkdir(dir.c_str(), 0755);
    for (int i = 0; i < 100000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/file%06d.txt", i);
        std::ofstream(dir + name) << i;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string cmd = "a " + lzh::quote_token(archive()) + " " +
                                lzh::quote_token(root_ + "/src/") + " -d1 \"many\"";
        ::_exit(ArchiverCommand(nullptr, cmd.c_str(), nullptr, 0));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), lzh::kArchiverOk);
    struct rusage ru {};
    ::getrusage(RUSAGE_CHILDREN, &ru);
    std::printf("peak RSS packing 100,000 files: %ld KiB\n", ru.ru_maxrss);
    EXPECT_LT(ru.ru_maxrss, 48L * 1024);
    EXPECT_EQ(lzh::ArchiveReader(archive()).members().size(), 100001u);
}

}  // namespace
