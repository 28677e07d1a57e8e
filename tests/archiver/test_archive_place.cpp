// test_archive_place.cpp - the archive's place on the disk: runs that update
// one archive at once, names as long as a directory entry may be, and a
// process that may not start threads.
#include "archive_support.h"
#include "container/member_coder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace test_support;

namespace {

// A child process running `body`; its result is the exit status.
class Child {
public:
    explicit Child(const std::function<int()>& body)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            int rc = 99;
            try {
                rc = body();
            } catch (...) {
            }
            ::_exit(rc);
        }
    }
    // The exit status, -1 when it did not exit.
    int wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Whether it ended within `ms` milliseconds (then `status` is its exit status).
    bool ended_within(int ms, int& status)
    {
        for (int i = 0; i < ms / 10; ++i) {
            int raw = 0;
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
                return true;
            }
            ::usleep(10000);
        }
        return false;
    }

private:
    pid_t pid_;
};

// A one-way line between processes: one byte at a time.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fd), 0); }
    ~Pipe()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void send() { (void)!::write(fd[1], "x", 1); }
    void receive()
    {
        char c;
        (void)!::read(fd[0], &c, 1);
    }
    int fd[2];
};

// A window that, at its first progress call, tells `started` and waits for `go`.
struct GateWindow : lzh::ArchiverWindow {
    GateWindow(Pipe& started, Pipe& go) : started_(started), go_(go) {}
    bool on_progress(const lzh::Progress&) override
    {
        if (calls++ == 0) {
            started_.send();
            go_.receive();
        }
        return true;
    }
    void on_failure(std::string_view) override {}
    int calls = 0;

private:
    Pipe& started_;
    Pipe& go_;
};

class ArchivePlace : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::chmod(t_.path().c_str(), 0777);
        write_file(t_ / "old.txt", "old");
        write_file(t_ / "a.txt", text_data(300000, 1));
        write_file(t_ / "b.txt", text_data(300000, 2));
    }

    int update(const std::string& name, lzh::ArchiverWindow* window)
    {
        try {
            lzh::update_archive(archive_, {entry_for(t_ / name, name)}, {}, window);
            return 0;
        } catch (const lzh::Error&) {
            return 1;
        }
    }

    // Runs `first` up to its first progress call, then `second` to its end
    // (or for `ms` milliseconds while it waits), then lets `first` go on.
    // Returns whether `second` ended before `first` went on.
    bool overlap(const std::string& first, const std::string& second, int ms)
    {
        Pipe started, go;
        Child a([&] {
            GateWindow w(started, go);
            return update(first, &w);
        });
        started.receive();
        Child b([&] {
            RecordingWindow w;
            return update(second, &w);
        });
        int b_status = -1;
        const bool b_ended_first = b.ended_within(ms, b_status);
        go.send();
        EXPECT_EQ(a.wait(), 0);
        if (!b_ended_first)
            b_status = b.wait();
        EXPECT_EQ(b_status, 0);
        return b_ended_first;
    }

    std::vector<std::string> leftovers()
    {
        std::vector<std::string> out;
        for (const std::string& name : list_dir(t_.path()))
            if (name.find(".tmp") != std::string::npos)
                out.push_back(name);
        return out;
    }

    TempDir t_;
    const std::string archive_ = t_ / "x.lzh";
};

/*
 * Two runs update one archive at once: the second waits for the first to
 * put its archive in place, then adds to it, so neither member is lost.
 */
TEST_F(ArchivePlace, RunsUpdatingOneArchiveTakeTurns)
{
    lzh::update_archive(archive_, {entry_for(t_ / "old.txt", "old.txt")}, {}, nullptr);
    EXPECT_FALSE(overlap("a.txt", "b.txt", 1000)) << "the second run did not wait";
    EXPECT_EQ(member_paths(archive_), (std::vector<std::string>{"old.txt", "a.txt", "b.txt"}));
    EXPECT_TRUE(leftovers().empty());
}

/*
 * Two runs create the same new archive at once: the one that finishes
 * second finds the other's archive in place and adds to it instead of
 * replacing it.
 */
TEST_F(ArchivePlace, RunsCreatingOneArchiveBothEndUpInIt)
{
    EXPECT_TRUE(overlap("a.txt", "b.txt", 60000))
        << "nothing to wait for: the second run creates the archive";
    EXPECT_EQ(member_paths(archive_), (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_TRUE(leftovers().empty());
}

// A run waiting for the archive can be cancelled through its window; the
// archive stays as the run that held it leaves it.
TEST_F(ArchivePlace, WaitingForTheArchiveCanBeCancelled)
{
    lzh::update_archive(archive_, {entry_for(t_ / "old.txt", "old.txt")}, {}, nullptr);
    Pipe started, go;
    Child a([&] {
        GateWindow w(started, go);
        return update("a.txt", &w);
    });
    started.receive();
    RecordingWindow w;
    w.cancel_at = 3;
    EXPECT_THROW(lzh::update_archive(archive_, {entry_for(t_ / "b.txt", "b.txt")}, {}, &w), lzh::Cancelled);
    EXPECT_EQ(w.calls, 3);
    EXPECT_EQ(w.done, 0u);
    EXPECT_EQ(std::count(w.seen.begin(), w.seen.end(), "b.txt"), 0) << "began before the archive was free";
    go.send();
    EXPECT_EQ(a.wait(), 0);
    EXPECT_EQ(member_paths(archive_), (std::vector<std::string>{"old.txt", "a.txt"}));
    EXPECT_TRUE(leftovers().empty());
}

// The temporary file never makes a name fail that fits a directory entry:
// an archive name of 255 bytes, the most there is.
TEST_F(ArchivePlace, ArchiveNamesUpToTheLongestEntryName)
{
    for (std::size_t length : {238, 251}) {
        const std::string item(length, 'n');
        write_file(t_ / item, "long");
        const Reply r = run_command(add_command(t_ / item + ".lzh", t_.path() + "/", {item}));
        ASSERT_EQ(r.rc, lzh::kArchiverOk) << length << ": " << r.text;
        EXPECT_EQ(member_paths(t_ / item + ".lzh"), std::vector<std::string>{item});
    }
    EXPECT_TRUE(leftovers().empty());
}

/*
 * Worker threads that cannot be started (none, or one of three) leave the
 * coding to the threads there are: the archive is the same byte for byte.
 * A process that may start no thread at all packs a directory through the
 * command entry as well.
 */
TEST_F(ArchivePlace, ThreadsThatCannotStartLeaveTheWorkToFewer)
{
    std::vector<lzh::NewEntry> entries(1);
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        write_file(t_ / "d/" + name, text_data(20000 + 500 * std::size_t(i), unsigned(i)));
        entries.push_back(entry_for(t_ / "d/" + name, "d/" + name));
    }
    entries[0] = entry_for(t_ / "d", "d");
    lzh::WriteOptions one;
    one.threads = 1;
    lzh::update_archive(t_ / "one.lzh", entries, one, nullptr);
    const std::string expected = read_file(t_ / "one.lzh");
    lzh::WriteOptions four;
    four.threads = 4;
    for (unsigned start : {0u, 1u}) {
        lzh::set_thread_fault(start);
        std::string name = t_ / ("fault" + std::to_string(start) + ".lzh");
        EXPECT_NO_THROW(lzh::update_archive(name, entries, four, nullptr));
        lzh::set_thread_fault(std::nullopt);
        EXPECT_EQ(read_file(name), expected) << start << " worker(s) started";
    }

    const int rc = run_in_child(
        [&] {
            const rlimit one_process = {1, 1};
            if (::setrlimit(RLIMIT_NPROC, &one_process) != 0)
                return 97;
            ::setenv("PELKORAN_THREADS", "4", 1);
            return run_command(add_command(t_ / "limited.lzh", t_.path() + "/", {"d"})).rc;
        },
        true);
    EXPECT_EQ(rc, lzh::kArchiverOk);
    EXPECT_EQ(member_paths(t_ / "limited.lzh").size(), 41u);
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace
