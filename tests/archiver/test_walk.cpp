// test_walk.cpp - hostile trees through ArchiverCommand: paths longer than
// PATH_MAX, deep nesting, names the command language must quote, links that
// must not be followed, and a directory that changes while it is walked.
#include "archive_reader.h"
#include "archiver.h"
#include "command.h"
#include "names.h"
#include "walk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-walk-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
    }
    void TearDown() override
    {
        lzh::set_walk_hook(nullptr);
        // rm copes with trees deeper than PATH_MAX.
        EXPECT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0);
    }

    // Creates `levels` nested directories named `component` below root_/rel
    // and a file "leaf.txt" holding `data` at the bottom, through directory
    // descriptors so the path may exceed PATH_MAX. Returns the file's
    // path relative to root_.
    std::string make_deep(const std::string& rel, const std::string& component, int levels,
                          const std::string& data)
    {
        ::mkdir((root_ + "/" + rel).c_str(), 0755);
        int fd = ::open((root_ + "/" + rel).c_str(), O_RDONLY | O_DIRECTORY);
        std::string path = rel;
        for (int i = 0; i < levels; ++i) {
            EXPECT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
            int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            path += "/" + component;
        }
        int f = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT, 0644);
        EXPECT_EQ(::write(f, data.data(), data.size()), ssize_t(data.size()));
        ::close(f);
        ::close(fd);
        return path + "/leaf.txt";
    }

    void write(const std::string& rel, const std::string& data)
    {
        std::ofstream(root_ + "/" + rel, std::ios::binary) << data;
    }

    // Packs `items` (relative to root_) into root_/out.lzh; returns the result code.
    int pack(std::initializer_list<std::string> items)
    {
        std::string cmd = "a " + lzh::quote_token(archive()) + " " + lzh::quote_token(root_ + "/") +
                          " -d1";
        for (const std::string& item : items)
            cmd += " " + lzh::quote_token(item);
        char buf[4096];
        const int rc = ArchiverCommand(nullptr, cmd.c_str(), buf, sizeof buf);
        reply_ = buf;
        return rc;
    }

    // Stored path (as UTF-8) -> member, and each file's data.
    std::map<std::string, lzh::MemberHeader> members()
    {
        lzh::ArchiveReader reader(archive());
        std::map<std::string, lzh::MemberHeader> out;
        for (const lzh::MemberHeader& h : reader.members())
            out[lzh::decode_name(h.path, h.code_page)] = h;
        return out;
    }
    std::string data_of(const lzh::MemberHeader& h)
    {
        struct Sink : lzh::ByteSink {
            void write(const std::uint8_t* d, std::size_t n) override { s.append((const char*)d, n); }
            std::string s;
        } sink;
        lzh::ArchiveReader(archive()).extract(h, sink);
        return sink.s;
    }

    std::string archive() const { return root_ + "/out.lzh"; }

    std::string root_;
    std::string reply_;
};

TEST_F(WalkTest, PathsOfAnyLengthArePackedWhole)
{
    // 300, 1,000 and 4,000+ bytes below the base, the last beyond PATH_MAX in all.
    const std::string comp(190, 'c');
    std::vector<std::string> files;
    for (int levels : {1, 5, 22})
        files.push_back(make_deep("t" + std::to_string(levels), comp, levels,
                                  "deep " + std::to_string(levels)));
    ASSERT_GT(root_.size() + files.back().size(), std::size_t(PATH_MAX));
    ASSERT_EQ(pack({"t1", "t5", "t22"}), lzh::kArchiverOk) << reply_;
    auto m = members();
    EXPECT_EQ(m.size(), 3u + 1 + 5 + 22 + 3);
    for (std::size_t i = 0; i < files.size(); ++i) {
        ASSERT_TRUE(m.count(files[i])) << files[i].size() << " bytes: cut or lost";
        EXPECT_EQ(data_of(m[files[i]]), "deep " + std::to_string(i == 0 ? 1 : i == 1 ? 5 : 22));
    }
}

TEST_F(WalkTest, ThousandLevelsDeepAndTheHeaderLimit)
{
    const std::string file = make_deep("deep", "d", 1000, "bottom");
    ASSERT_EQ(pack({"deep"}), lzh::kArchiverOk) << reply_;
    auto m = members();
    EXPECT_EQ(m.size(), 1002u);
    ASSERT_TRUE(m.count(file));
    EXPECT_EQ(data_of(m[file]), "bottom");

    // A stored path past what a level-2 header can hold (65535 bytes) is
    // refused naming it, never cut, and nothing is written.
    ::unlink(archive().c_str());
    make_deep("huge", std::string(250, 'h'), 265, "x");
    EXPECT_EQ(pack({"huge"}), lzh::kArchiverFailed);
    EXPECT_NE(reply_.find("名前が長すぎて格納できません: huge/hhh"), std::string::npos)
        << reply_.substr(0, 200);
    EXPECT_NE(::access(archive().c_str(), F_OK), 0);
}

TEST_F(WalkTest, NamesTheCommandLanguageMustQuote)
{
    ::mkdir((root_ + "/odd \"dir\"").c_str(), 0755);
    const std::vector<std::string> names = {"line\nbreak.txt", "say \"hi\".txt", "pipe|name.txt",
                                            "\"", "-d1", " lead and trail "};
    for (const std::string& n : names)
        write("odd \"dir\"/" + n, n);
    ASSERT_EQ(pack({"odd \"dir\""}), lzh::kArchiverOk) << reply_;
    auto m = members();
    EXPECT_EQ(m.size(), names.size() + 1);
    for (const std::string& n : names) {
        ASSERT_TRUE(m.count("odd \"dir\"/" + n)) << n;
        EXPECT_EQ(data_of(m["odd \"dir\"/" + n]), n);
    }
}

TEST_F(WalkTest, LinksAreStoredAndNeverFollowed)
{
    ::mkdir((root_ + "/outside").c_str(), 0755);
    write("outside/secret.txt", "not to be packed");
    ::mkdir((root_ + "/tree").c_str(), 0755);
    ASSERT_EQ(::symlink("loop2", (root_ + "/tree/loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", (root_ + "/tree/loop2").c_str()), 0);
    ASSERT_EQ(::symlink(".", (root_ + "/tree/self").c_str()), 0);
    ASSERT_EQ(::symlink((root_ + "/outside").c_str(), (root_ + "/tree/out").c_str()), 0);
    ASSERT_EQ(::symlink("tree", (root_ + "/item-link").c_str()), 0);   // the item itself

    ASSERT_EQ(pack({"tree", "item-link"}), lzh::kArchiverOk) << reply_;
    auto m = members();
    const std::map<std::string, std::string> links = {{"tree/loop1", "loop2"},
                                                      {"tree/loop2", "loop1"},
                                                      {"tree/self", "."},
                                                      {"tree/out", root_ + "/outside"},
                                                      {"item-link", "tree"}};
    EXPECT_EQ(m.size(), links.size() + 1);   // the links and "tree": nothing behind them
    for (const auto& [path, target] : links) {
        ASSERT_TRUE(m.count(path)) << path;
        EXPECT_TRUE(m[path].is_symlink) << path;
        EXPECT_EQ(m[path].link_target, target) << path;
    }
}

TEST_F(WalkTest, EntriesThatComeAndGoDuringTheWalk)
{
    ::mkdir((root_ + "/tree").c_str(), 0755);
    ::mkdir((root_ + "/tree/sub").c_str(), 0755);
    write("tree/a.txt", "stays");
    write("tree/b.txt", "goes");
    write("tree/sub/c.txt", "goes too");
    const std::string tree = root_ + "/tree";
    lzh::set_walk_hook([&](const std::string& dir) {
        if (dir != tree)
            return;
        // After the names were read: one file and a directory vanish, one appears.
        ::unlink((tree + "/b.txt").c_str());
        ::unlink((tree + "/sub/c.txt").c_str());
        ::rmdir((tree + "/sub").c_str());
        std::ofstream(tree + "/new.txt") << "late";
    });
    ASSERT_EQ(pack({"tree"}), lzh::kArchiverOk) << reply_;
    auto m = members();
    EXPECT_EQ(m.size(), 2u);   // tree, tree/a.txt
    ASSERT_TRUE(m.count("tree/a.txt"));
    EXPECT_EQ(data_of(m["tree/a.txt"]), "stays");
}

}  // namespace
