// test_compress_target.cpp - the command text for one item, in both separator styles, and the call.
#include <gtest/gtest.h>

#include "compress_target.h"
#include "fakes.h"

namespace pelkoran {
namespace {

const PathStatus kFile{true, false};
const PathStatus kDir{true, true};
const PathStatus kGone{};

struct Case {
    const char* path;
    PathStatus status;
    bool same_place;
    bool trim;
    const char* output_dir;
    const char* expected;
};

void ExpectCommands(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        EXPECT_EQ(BuildCommandText(c.path, c.same_place, c.trim, c.output_dir, c.status), c.expected)
            << c.path << " same=" << c.same_place << " trim=" << c.trim << " out=" << c.output_dir;
    }
}

// The worked examples with backslashes, byte for byte.
TEST(CommandText, WindowsPaths)
{
    ExpectCommands({
        {"C:\\work\\memo.txt", kFile, true, false, "", R"(a "C:\work\memo.txt.lzh" "C:\work\" -d1 "memo.txt")"},
        {"C:\\work\\memo.txt", kFile, true, true, "", R"(a "C:\work\memo.lzh" "C:\work\" -d1 "memo.txt")"},
        {"C:\\work\\photos", kDir, false, false, "D:\\pack", R"(a "D:\pack\photos.lzh" "C:\work\" -d1 "photos")"},
        {"C:\\work\\photos", kDir, false, true, "D:\\pack", R"(a "D:\pack\photos.lzh" "C:\work\" -d1 "photos")"},
        {"C:\\a\\b.txt", kFile, false, false, "C:\\", R"(a "C:\\b.txt.lzh" "C:\a\" -d1 "b.txt")"},
        {"C:\\a\\b.txt", kFile, false, true, "C:\\", R"(a "C:\\b.lzh" "C:\a\" -d1 "b.txt")"},
        {"C:\\a\\x.tar.gz", kFile, true, true, "", R"(a "C:\a\x.tar.lzh" "C:\a\" -d1 "x.tar.gz")"},
        {"C:\\a\\release1.2", kDir, true, true, "", R"(a "C:\a\release1.2.lzh" "C:\a\" -d1 "release1.2")"},
        {"C:\\a\\README", kFile, true, true, "", R"(a "C:\a\README.lzh" "C:\a\" -d1 "README")"},
        {"C:\\a\\.profile", kFile, true, false, "", R"(a "C:\a\.profile.lzh" "C:\a\" -d1 ".profile")"},
        {"C:\\a\\.profile", kFile, true, true, "", R"(a "C:\a\.lzh" "C:\a\" -d1 ".profile")"},
        {"C:\\a\\b.txt", kGone, true, true, "", R"(a "C:\a\b.txt.lzh" "C:\a\" -d1 "b.txt")"},
    });
}

// The same cases as POSIX paths: '/' everywhere, "/" as the root.
TEST(CommandText, PosixPaths)
{
    ExpectCommands({
        {"/work/memo.txt", kFile, true, false, "", R"(a "/work/memo.txt.lzh" "/work/" -d1 "memo.txt")"},
        {"/work/memo.txt", kFile, true, true, "", R"(a "/work/memo.lzh" "/work/" -d1 "memo.txt")"},
        {"/work/photos", kDir, false, false, "/pack", R"(a "/pack/photos.lzh" "/work/" -d1 "photos")"},
        {"/work/memo.txt", kFile, false, false, "/", R"(a "//memo.txt.lzh" "/work/" -d1 "memo.txt")"},
        {"/work/memo.txt", kFile, false, true, "/", R"(a "//memo.lzh" "/work/" -d1 "memo.txt")"},
        {"/a/x.tar.gz", kFile, false, true, "/out", R"(a "/out/x.tar.lzh" "/a/" -d1 "x.tar.gz")"},
        {"/a/release1.2", kDir, false, true, "/out", R"(a "/out/release1.2.lzh" "/a/" -d1 "release1.2")"},
        {"/a/.profile", kFile, false, true, "/out", R"(a "/out/.lzh" "/a/" -d1 ".profile")"},
        {"/a/b.txt", kGone, false, true, "/out", R"(a "/out/b.txt.lzh" "/a/" -d1 "b.txt")"},
        // A file at the root: the base directory is "/".
        {"/memo.txt", kFile, true, false, "", R"(a "/memo.txt.lzh" "/" -d1 "memo.txt")"},
        // A Windows-style output directory with a POSIX item: the directory's own separator.
        {"/a/b.txt", kFile, false, false, "D:\\pack", R"(a "D:\pack\b.txt.lzh" "/a/" -d1 "b.txt")"},
    });
}

// Names legal on Linux that the command language must carry intact.
TEST(CommandText, DoublesQuotesAndKeepsBackslashesInPosixNames)
{
    ExpectCommands({
        {"/w/say \"hi\".txt", kFile, true, false, "", R"(a "/w/say ""hi"".txt.lzh" "/w/" -d1 "say ""hi"".txt")"},
        {"/w/a.txt", kFile, false, false, "/o\"ut", R"(a "/o""ut/a.txt.lzh" "/w/" -d1 "a.txt")"},
        {"/w/a\\b.txt", kFile, true, true, "", R"(a "/w/a\b.lzh" "/w/" -d1 "a\b.txt")"},
        {"/w/\xff\xfe.bin", kFile, true, false, "", "a \"/w/\xff\xfe.bin.lzh\" \"/w/\" -d1 \"\xff\xfe.bin\""},
    });
}

// Paths are kept whole: nothing is cut at 259 bytes (a cut path names another file).
TEST(CommandText, KeepsLongPathsWhole)
{
    std::string dir = "/" + std::string(300, 'd') + "/";
    std::string name = std::string(250, 'n') + ".txt";
    EXPECT_EQ(BuildCommandText(dir + name, true, false, "", kFile),
              "a \"" + dir + name + ".lzh\" \"" + dir + "\" -d1 \"" + name + "\"");
}

// Method and effort switches go between -d1 and the item; none leave the text as it was.
TEST(CommandText, CarriesSwitchesOnlyWhenGiven)
{
    EXPECT_EQ(BuildCommandText("/w/memo.txt", true, false, "", kFile, "-lh7 -best"),
              "a \"/w/memo.txt.lzh\" \"/w/\" -d1 -lh7 -best \"memo.txt\"");
    EXPECT_EQ(BuildCommandText("/w/memo.txt", true, false, "", kFile, ""),
              BuildCommandText("/w/memo.txt", true, false, "", kFile));
}

TEST(SplitPath, RecognisesDriveAndBothSeparatorsInWindowsPaths)
{
    PathParts p = SplitPath("C:/work\\sub/memo.txt");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "/work\\sub/");
    EXPECT_EQ(p.name, "memo");
    EXPECT_EQ(p.ext, ".txt");
    p = SplitPath("\\\\server\\share\\a.b.c");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "\\\\server\\share\\");
    EXPECT_EQ(p.name, "a.b");
    EXPECT_EQ(p.ext, ".c");
    // A dot in a directory name is no extension.
    p = SplitPath("/a.d/file");
    EXPECT_EQ(p.dir, "/a.d/");
    EXPECT_EQ(p.name, "file");
    EXPECT_EQ(p.ext, "");
}

TEST(CompressTarget, CallsTheLibraryOnceAndReportsItsResult)
{
    testing::FakeFiles fs;
    fs.AddFile("/w/memo.txt");
    testing::FakeLibrary lib;
    auto* window = reinterpret_cast<lzh::ArchiverWindow*>(0x42);
    EXPECT_TRUE(CompressTarget("/w/memo.txt", false, true, "/out", window, lib, fs.Query()));
    ASSERT_EQ(lib.commands.size(), 1u);
    EXPECT_EQ(lib.commands[0], R"(a "/out/memo.lzh" "/w/" -d1 "memo.txt")");
    EXPECT_EQ(lib.windows[0], window);
    EXPECT_EQ(lib.reply_sizes[0], 512u);
    lib.fail_at = 2;
    EXPECT_FALSE(CompressTarget("/w/memo.txt", true, false, "", nullptr, lib, fs.Query()));
}

}  // namespace
}  // namespace pelkoran
