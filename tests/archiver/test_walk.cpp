// test_walk.cpp - hostile trees through ArchiverCommand: paths longer than
// PATH_MAX, deep nesting, names the command language must quote, links that
// must not be followed, and a directory that changes while it is walked.
#include "archive_support.h"
#include "fs/names.h"
#include "fs/walk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <pthread.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace test_support;

namespace {

class WalkTest : public ::testing::Test {
protected:
    void TearDown() override { lzh::set_walk_hook(nullptr); }

    // Packs `items` into out.lzh and reads it back: stored path (UTF-8) -> member.
    std::map<std::string, Member> pack(const std::vector<std::string>& items)
    {
        reply_ = run_command(add_command(archive(), t_.path() + "/", items));
        std::map<std::string, Member> out;
        if (reply_.rc == lzh::kArchiverOk)
            for (Member& m : read_archive(archive()))
                out[lzh::decode_name(m.h.path, m.h.code_page)] = m;
        return out;
    }

    std::string archive() const { return t_ / "out.lzh"; }

    TempDir t_;
    Reply reply_;
};

// 190, 1,000 and 4,000+ bytes below the base (the last beyond PATH_MAX in
// all), and 1,000 levels deep: every file packed whole, with its data.
TEST_F(WalkTest, PathsOfAnyLengthArePackedWhole)
{
    std::map<std::string, std::string> files;  // path -> data
    std::size_t longest = 0;
    for (const auto& [levels, comp] :
         {std::pair{1, std::string(190, 'c')}, std::pair{5, std::string(190, 'c')},
          std::pair{22, std::string(190, 'c')}, std::pair{1000, std::string("d")}}) {
        const std::string data = "deep " + std::to_string(levels);
        const std::string path = make_chain(t_ / ("t" + std::to_string(levels)), comp, levels, data);
        ASSERT_FALSE(path.empty());
        files[path] = data;
        longest = std::max(longest, path.size());
    }
    ASSERT_GT(t_.path().size() + longest, std::size_t(PATH_MAX));
    auto m = pack({"t1", "t5", "t22", "t1000"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), 4u + 1 + 5 + 22 + 1000 + 4);
    for (const auto& [path, data] : files) {
        ASSERT_TRUE(m.count(path)) << path.size() << " bytes: cut or lost";
        EXPECT_EQ(m[path].data, data);
    }
}

TEST_F(WalkTest, NamesTheCommandLanguageMustQuote)
{
    const std::string dir = "odd \"dir\"/";
    const std::vector<std::string> names = {"line\nbreak.txt", "say \"hi\".txt", "pipe|name.txt", "\"", "-d1",
                                            " lead and trail "};
    for (const std::string& n : names)
        write_file(t_ / dir + n, n);
    auto m = pack({"odd \"dir\""});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), names.size() + 1);
    for (const std::string& n : names)
        EXPECT_EQ(m[dir + n].data, n) << n;
}

// Links inside an item are stored as links and never followed; an item the
// user named through a link is followed: a link to a directory brings that
// directory's contents under the link's name, a link to a file its bytes.
TEST_F(WalkTest, LinksInsideAreStoredTheItemItselfIsFollowed)
{
    write_file(t_ / "outside/secret.txt", "not to be packed");
    write_file(t_ / "memo.txt", "memo bytes");
    ::mkdir((t_ / "tree").c_str(), 0755);
    const std::map<std::string, std::string> links = {
        {"tree/loop1", "loop2"}, {"tree/loop2", "loop1"}, {"tree/self", "."}, {"tree/out", t_ / "outside"}};
    for (const auto& [path, target] : links)
        ASSERT_EQ(::symlink(target.c_str(), (t_ / path).c_str()), 0);
    ASSERT_EQ(::symlink("tree", (t_ / "dir-link").c_str()), 0);
    ASSERT_EQ(::symlink((t_ / "memo.txt").c_str(), (t_ / "file-link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (t_ / "dangling").c_str()), 0);
    for (const char* threads : {"1", "3"}) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        ::unlink(archive().c_str());
        auto m = pack({"tree"});
        ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
        EXPECT_EQ(m.size(), links.size() + 1);  // the links and "tree": nothing behind them
        for (const auto& [path, target] : links) {
            EXPECT_TRUE(m[path].h.is_symlink) << path;
            EXPECT_EQ(m[path].h.link_target, target) << path;
        }
        ::unlink(archive().c_str());
        m = pack({"dir-link"});
        ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
        EXPECT_EQ(m.size(), links.size() + 1) << threads;
        EXPECT_TRUE(m["dir-link"].h.is_directory);
        for (const auto& [path, target] : links) {
            const std::string inside = "dir-link" + path.substr(4);
            EXPECT_TRUE(m[inside].h.is_symlink) << inside;
            EXPECT_EQ(m[inside].h.link_target, target) << inside;
        }
    }
    ::unlink(archive().c_str());
    auto m = pack({"file-link"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    ASSERT_EQ(m.size(), 1u);
    EXPECT_FALSE(m["file-link"].h.is_symlink);
    EXPECT_EQ(m["file-link"].data, "memo bytes");
    // A link to nothing is an item that is not there.
    pack({"dangling"});
    EXPECT_EQ(reply_.rc, lzh::kArchiverFailed);
    EXPECT_TRUE(contains(reply_.text, "対象が見つかりません")) << reply_.text;
}

// Two entries of one item whose names read alike in the archive (ソ in UTF-8
// and in CP932 bytes) fail the item naming both, rather than one hiding the
// other; a byte 0xFF, the header's directory separator, in a directory's
// name fails it naming the path. Nothing is written either way.
TEST_F(WalkTest, NamesThatWouldMeetOrSplitInTheArchiveFailTheItem)
{
    write_file(t_ / "d/ソ.txt", "utf-8");
    write_file(t_ / "d/\x83\x5c.txt", "cp932");
    pack({"d"});
    EXPECT_EQ(reply_.rc, lzh::kArchiverFailed);
    EXPECT_TRUE(contains(reply_.text, " と ")) << reply_.text;
    EXPECT_NE(reply_.text.find("/d/ソ.txt"), reply_.text.rfind("/d/ソ.txt")) << reply_.text;
    EXPECT_TRUE(contains(reply_.text, "/d/ソ.txt (UTF-8 ではない名前)")) << reply_.text;
    EXPECT_NE(::access(archive().c_str(), F_OK), 0);

    write_file(t_ / "e/caf\xff/file.txt", "one");
    write_file(t_ / "e/caf/file.txt", "two");
    pack({"e"});
    EXPECT_EQ(reply_.rc, lzh::kArchiverFailed);
    EXPECT_TRUE(contains(reply_.text, "e/caf\\xFF")) << reply_.text;
    EXPECT_NE(::access(archive().c_str(), F_OK), 0);
    // In a file's own name the byte is no separator and is stored as it is.
    std::filesystem::remove_all(t_ / "e/caf\xff");
    write_file(t_ / "e/caf/name\xff", "three");
    auto m = pack({"e"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), 4u);
}

// A directory item walked on several threads gives the list of the walk on
// one: each directory before what it holds, the names sorted, links and
// special files where they stand, the archive itself left out wherever it is.
TEST_F(WalkTest, WalkOnSeveralThreadsGivesTheOneThreadList)
{
    const std::string tree = t_ / "tree";
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < a; ++b) {
            const std::string dir = tree + "/d" + std::to_string(a) + "/e" + std::to_string(b);
            write_file(dir + "/f.txt", std::string(std::size_t(a * 10 + b), 'x'));
            write_file(dir + "/g/h.txt", "deeper");
        }
    write_file(tree + "/top.txt", "top");
    ASSERT_EQ(::mkfifo((tree + "/d3/fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((tree + "/d5/e4/g/fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("../top.txt", (tree + "/d2/link").c_str()), 0);
    ::mkdir((tree + "/empty").c_str(), 0755);
    write_file(tree + "/d4/self.lzh", "the archive");
    // A chain deeper than the walk on several threads hands out: walked whole
    // by the thread that meets it, in the same order.
    make_chain(tree + "/chain", "c", 80, "leaf");
    std::string deep = tree + "/chain";
    for (int i = 0; i < 70; ++i)
        deep += "/c";
    ASSERT_EQ(::mkfifo((deep + "/fifo").c_str(), 0644), 0);
    write_file(deep + "/z.txt", "after the fifo");
    struct stat self {};
    ASSERT_EQ(::stat((tree + "/d4/self.lzh").c_str(), &self), 0);

    lzh::AddCommand cmd;
    cmd.base = t_.path() + "/";
    cmd.items = {"tree"};
    auto walk = [&](const char* threads) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        return lzh::collect_entries(cmd, &self);
    };
    const lzh::WalkResult one = walk("1");
    // tree, top.txt, empty, d1-d5, link, e*/{.,f.txt,g,g/h.txt}, chain and its 80 levels, leaf.txt, z.txt
    ASSERT_EQ(one.entries.size(), 1u + 1 + 1 + 5 + 1 + 15 * 4 + 1 + 80 + 2);
    EXPECT_EQ(one.skipped.size(), 3u);
    for (const char* threads : {"2", "3"}) {
        const lzh::WalkResult many = walk(threads);
        ASSERT_EQ(many.entries.size(), one.entries.size()) << threads;
        for (std::size_t i = 0; i < one.entries.size(); ++i) {
            const lzh::NewEntry& x = one.entries[i];
            const lzh::NewEntry& y = many.entries[i];
            EXPECT_EQ(y.stored_path(), x.stored_path()) << threads << " threads, entry " << i;
            EXPECT_EQ(y.source_path(), x.source_path());
            EXPECT_EQ(int(y.kind), int(x.kind));
            EXPECT_EQ(y.link_target, x.link_target);
            EXPECT_EQ(y.st.size, x.st.size);
            EXPECT_EQ(y.st.ino, x.st.ino);
        }
        EXPECT_EQ(many.skipped, one.skipped);
        EXPECT_EQ(many.total_bytes, one.total_bytes);
    }
}

// After the names of a directory were read, one file and a subdirectory
// vanish and one file appears: the walk leaves out the first and never sees
// the second.
TEST_F(WalkTest, EntriesThatComeAndGoDuringTheWalk)
{
    const std::string tree = t_ / "tree";
    write_file(tree + "/a.txt", "stays");
    write_file(tree + "/b.txt", "goes");
    write_file(tree + "/sub/c.txt", "goes too");
    lzh::set_walk_hook([&](const std::string& dir) {
        if (dir != tree)
            return;
        std::filesystem::remove(tree + "/b.txt");
        std::filesystem::remove_all(tree + "/sub");
        write_file(tree + "/new.txt", "late");
    });
    auto m = pack({"tree"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), 2u);  // tree, tree/a.txt
    EXPECT_EQ(m["tree/a.txt"].data, "stays");
}

}  // namespace

namespace {

// A tree where tree/sub (holding file.txt and deeper/file2.txt) is replaced,
// once the walk has read sub's names, by a link to a directory outside the
// item that holds files of the same names.
class SwappedDirTest : public WalkTest {
protected:
    void SetUp() override
    {
        write_file(t_ / "tree/sub/file.txt", "real");
        write_file(t_ / "tree/sub/deeper/file2.txt", "real too");
        write_file(t_ / "victim/file.txt", "SECRET-1");
        write_file(t_ / "victim/deeper/file2.txt", "SECRET-2");
        lzh::set_walk_hook([this](const std::string& dir) {
            if (dir != t_ / "tree/sub")
                return;
            ASSERT_EQ(::rename((t_ / "tree/sub").c_str(), (t_ / "sub.old").c_str()), 0);
            ASSERT_EQ(::symlink((t_ / "victim").c_str(), (t_ / "tree/sub").c_str()), 0);
        });
    }
};

// Nothing behind the link is read, neither by the walk nor when the files
// are read after it: the item fails naming a path below tree/sub.
TEST_F(SwappedDirTest, ADirectorySwappedForALinkIsNeverFollowed)
{
    const std::pair<const char*, bool> rounds[] = {{"1", true}, {"3", true}, {"3", false}};
    for (const auto& [threads, openat2] : rounds) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        lzh::set_openat2_allowed(openat2);
        const Reply r = run_command(add_command(archive(), t_.path() + "/", {"tree"}));
        lzh::set_openat2_allowed(true);
        EXPECT_EQ(r.rc, lzh::kArchiverFailed) << threads << " threads, openat2 " << openat2 << ": " << r.text;
        EXPECT_TRUE(contains(r.text, "tree/sub/")) << r.text;
        if (::access(archive().c_str(), F_OK) == 0) {
            for (const Member& m : read_archive(archive()))
                EXPECT_FALSE(contains(m.data, "SECRET")) << m.h.path;
        }
        // Back as it was for the next round.
        ASSERT_EQ(::unlink((t_ / "tree/sub").c_str()), 0);
        ASSERT_EQ(::rename((t_ / "sub.old").c_str(), (t_ / "tree/sub").c_str()), 0);
    }
}

// Runs `f` on a thread with a small stack (256 KiB), as a recursion as deep
// as the tree would overflow it long before the walk ends.
template <typename F>
void on_small_stack(F f)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 << 10);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<F*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &f), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

}  // namespace

// Depth costs no stack: 5,000 levels are walked on a 256 KiB stack, on one
// thread and on several.
TEST_F(WalkTest, DeepTreesAreWalkedWithoutRecursion)
{
    ASSERT_FALSE(make_chain(t_ / "deep", "d", 5000, "bottom").empty());
    lzh::AddCommand cmd;
    cmd.base = t_.path() + "/";
    cmd.items = {"deep"};
    for (const char* threads : {"1", "2"}) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        std::size_t count = 0;
        std::string last;
        on_small_stack([&] {
            lzh::WalkResult r = lzh::collect_entries(cmd, nullptr);
            count = r.entries.size();
            last = r.entries.back().stored_path();
        });
        EXPECT_EQ(count, 5002u) << threads;
        EXPECT_EQ(last.size(), 4u + 2 * 5000 + 9) << threads;
    }
}

// A path no header can hold is refused as soon as the walk reaches it: the
// directories below it are never listed, so the walk's memory does not grow
// with the depth of the tree.
TEST_F(WalkTest, APathPastTheHeaderLimitStopsTheWalkThere)
{
    make_chain(t_ / "huge", std::string(100, 'h'), 1500, "x");  // 151,500 bytes deep
    for (const char* threads : {"1", "3"}) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        std::atomic<std::size_t> longest{0};
        lzh::set_walk_hook([&](const std::string& dir) {
            std::size_t n = dir.size(), seen = longest.load();
            while (n > seen && !longest.compare_exchange_weak(seen, n)) {
            }
        });
        pack({"huge"});
        EXPECT_EQ(reply_.rc, lzh::kArchiverFailed) << threads;
        EXPECT_TRUE(contains(reply_.text, "名前が長すぎて格納できません: huge/hhh"))
            << reply_.text.substr(0, 200);
        EXPECT_LT(longest.load(), t_.path().size() + 65536 + 101) << threads;
        EXPECT_NE(::access(archive().c_str(), F_OK), 0);
    }
}

// A cancel is seen while the walk runs, long before anything is written:
// most directories of a slow tree (0.6 s to walk) are never listed.
TEST_F(WalkTest, CancelIsSeenDuringTheWalk)
{
    for (int d = 0; d < 60; ++d)
        for (int f = 0; f < 20; ++f)
            write_file(t_ / ("tree/d" + std::to_string(d) + "/f" + std::to_string(f)), "x");
    for (const char* threads : {"1", "3"}) {
        ScopedEnv env("PELKORAN_THREADS", threads);
        std::atomic<int> listed{0};
        lzh::set_walk_hook([&](const std::string&) {
            ++listed;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a slow disk
        });
        RecordingWindow window;
        window.cancel_at = 1;
        const Reply r = run_command(add_command(archive(), t_.path() + "/", {"tree"}), &window);
        EXPECT_EQ(r.rc, lzh::kArchiverCancelled) << threads << ": " << r.text;
        EXPECT_EQ(window.done, 0u);
        EXPECT_LT(listed.load(), 40) << threads;
        EXPECT_NE(::access(archive().c_str(), F_OK), 0);
    }
}
