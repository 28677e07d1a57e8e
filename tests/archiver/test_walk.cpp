// test_walk.cpp - hostile trees through ArchiverCommand: paths longer than
// PATH_MAX, deep nesting, names the command language must quote, links that
// must not be followed, and a directory that changes while it is walked.
#include "archive_support.h"
#include "names.h"
#include "walk.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace test_support;

namespace {

class WalkTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        lzh::set_walk_hook(nullptr);
        // rm copes with trees deeper than PATH_MAX.
        EXPECT_EQ(std::system(("rm -rf '" + t_.path() + "'").c_str()), 0);
    }

    // `levels` nested directories named `component` below `rel`, and a file
    // "leaf.txt" holding `data` at the bottom, made through directory
    // descriptors so the path may exceed PATH_MAX. Returns the file's path
    // relative to the temporary directory.
    std::string make_deep(const std::string& rel, const std::string& component, int levels, const std::string& data)
    {
        ::mkdir((t_ / rel).c_str(), 0755);
        int fd = ::open((t_ / rel).c_str(), O_RDONLY | O_DIRECTORY);
        std::string path = rel;
        for (int i = 0; i < levels; ++i, path += "/" + component) {
            EXPECT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
            const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        const int f = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT, 0644);
        EXPECT_EQ(::write(f, data.data(), data.size()), ssize_t(data.size()));
        ::close(f);
        ::close(fd);
        return path + "/leaf.txt";
    }

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

TEST_F(WalkTest, PathsOfAnyLengthArePackedWhole)
{
    // 190, 1,000 and 4,000+ bytes below the base, the last beyond PATH_MAX in all.
    const std::string comp(190, 'c');
    std::map<std::string, std::string> files;   // path -> data
    std::size_t longest = 0;
    for (int levels : {1, 5, 22}) {
        const std::string path = make_deep("t" + std::to_string(levels), comp, levels, "deep " + std::to_string(levels));
        files[path] = "deep " + std::to_string(levels);
        longest = std::max(longest, path.size());
    }
    ASSERT_GT(t_.path().size() + longest, std::size_t(PATH_MAX));
    auto m = pack({"t1", "t5", "t22"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), 3u + 1 + 5 + 22 + 3);
    for (const auto& [path, data] : files) {
        ASSERT_TRUE(m.count(path)) << path.size() << " bytes: cut or lost";
        EXPECT_EQ(m[path].data, data);
    }
}

TEST_F(WalkTest, ThousandLevelsDeepAndTheHeaderLimit)
{
    const std::string file = make_deep("deep", "d", 1000, "bottom");
    auto m = pack({"deep"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), 1002u);
    EXPECT_EQ(m[file].data, "bottom");

    // A stored path past what a level-2 header can hold (65535 bytes) is
    // refused naming it, never cut, and nothing is written.
    ::unlink(archive().c_str());
    make_deep("huge", std::string(250, 'h'), 265, "x");
    pack({"huge"});
    EXPECT_EQ(reply_.rc, lzh::kArchiverFailed);
    EXPECT_TRUE(contains(reply_.text, "名前が長すぎて格納できません: huge/hhh")) << reply_.text.substr(0, 200);
    EXPECT_NE(::access(archive().c_str(), F_OK), 0);
}

TEST_F(WalkTest, NamesTheCommandLanguageMustQuote)
{
    const std::string dir = "odd \"dir\"/";
    const std::vector<std::string> names = {"line\nbreak.txt", "say \"hi\".txt", "pipe|name.txt",
                                            "\"", "-d1", " lead and trail "};
    for (const std::string& n : names)
        write_file(t_ / dir + n, n);
    auto m = pack({"odd \"dir\""});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), names.size() + 1);
    for (const std::string& n : names)
        EXPECT_EQ(m[dir + n].data, n) << n;
}

TEST_F(WalkTest, LinksAreStoredAndNeverFollowed)
{
    write_file(t_ / "outside/secret.txt", "not to be packed");
    ::mkdir((t_ / "tree").c_str(), 0755);
    const std::map<std::string, std::string> links = {{"tree/loop1", "loop2"}, {"tree/loop2", "loop1"},
                                                      {"tree/self", "."},      {"tree/out", t_ / "outside"},
                                                      {"item-link", "tree"}};   // the item itself
    for (const auto& [path, target] : links)
        ASSERT_EQ(::symlink(target.c_str(), (t_ / path).c_str()), 0);
    auto m = pack({"tree", "item-link"});
    ASSERT_EQ(reply_.rc, lzh::kArchiverOk) << reply_.text;
    EXPECT_EQ(m.size(), links.size() + 1);   // the links and "tree": nothing behind them
    for (const auto& [path, target] : links) {
        EXPECT_TRUE(m[path].h.is_symlink) << path;
        EXPECT_EQ(m[path].h.link_target, target) << path;
    }
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
    struct stat self {};
    ASSERT_EQ(::stat((tree + "/d4/self.lzh").c_str(), &self), 0);

    lzh::AddCommand cmd;
    cmd.base = t_.path() + "/";
    cmd.items = {"tree"};
    auto walk = [&](const char* threads) {
        ::setenv("PELKORAN_THREADS", threads, 1);
        lzh::WalkResult r = lzh::collect_entries(cmd, &self);
        ::unsetenv("PELKORAN_THREADS");
        return r;
    };
    const lzh::WalkResult one = walk("1");
    ASSERT_EQ(one.entries.size(), 1u + 1 + 1 + 5 + 1 + 15 * 4);   // tree, top.txt, empty, d1-d5, link, e*/{.,f.txt,g,g/h.txt}
    EXPECT_EQ(one.skipped.size(), 2u);
    for (const char* threads : {"2", "3"}) {
        const lzh::WalkResult many = walk(threads);
        ASSERT_EQ(many.entries.size(), one.entries.size()) << threads;
        for (std::size_t i = 0; i < one.entries.size(); ++i) {
            const lzh::NewEntry& x = one.entries[i];
            const lzh::NewEntry& y = many.entries[i];
            EXPECT_EQ(y.stored_path, x.stored_path) << threads << " threads, entry " << i;
            EXPECT_EQ(y.source_path, x.source_path);
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
    EXPECT_EQ(m.size(), 2u);   // tree, tree/a.txt
    EXPECT_EQ(m["tree/a.txt"].data, "stays");
}

}  // namespace
