// test_compress_target.cpp - the command text for one item, byte for byte, by Windows and POSIX path rules.
#include <gtest/gtest.h>

#include "compress_target.h"

namespace pelkoran {
namespace {

const PathStatus kFile{true, false};
const PathStatus kDir{true, true};
const PathStatus kGone{};

struct Case {
    std::string path;
    PathStatus status;
    bool same_place;
    bool trim;
    std::string output_dir;
    std::string expected;
    std::string switches = {};
    PathRules rules = PathRules::kPosix;
};

constexpr PathRules kWin = PathRules::kWindows;

TEST(CommandText, WindowsAndPosixRulesQuotingLongPathsAndSwitches)
{
    const std::string dir = "/" + std::string(300, 'd') + "/", name = std::string(250, 'n') + ".txt";
    const Case cases[] = {
        // Windows rules: a drive, '\' and '/' both separate, '\' before the archive name.
        {"C:\\work\\memo.txt", kFile, true, false, "",
         R"(a "C:\work\memo.txt.lzh" "C:\work\" -d1 "memo.txt")", "", kWin},
        {"C:\\work\\memo.txt", kFile, true, true, "", R"(a "C:\work\memo.lzh" "C:\work\" -d1 "memo.txt")", "",
         kWin},
        {"C:\\work\\photos", kDir, false, true, "D:\\pack",
         R"(a "D:\pack\photos.lzh" "C:\work\" -d1 "photos")", "", kWin},
        {"C:\\a\\b.txt", kFile, false, true, "C:\\", R"(a "C:\\b.lzh" "C:\a\" -d1 "b.txt")", "", kWin},
        {"C:\\a\\b.txt", kFile, false, false, "C:\\", R"(a "C:\\b.txt.lzh" "C:\a\" -d1 "b.txt")", "", kWin},
        {"C:/w\\sub/x.tar.gz", kFile, true, true, "", R"(a "C:/w\sub/x.tar.lzh" "C:/w\sub/" -d1 "x.tar.gz")",
         "", kWin},
        {"\\\\srv\\share\\a.b.c", kFile, true, true, "",
         R"(a "\\srv\share\a.b.lzh" "\\srv\share\" -d1 "a.b.c")", "", kWin},
        {"C:\\a\\.profile", kFile, true, true, "", R"(a "C:\a\.lzh" "C:\a\" -d1 ".profile")", "", kWin},
        {"C:\\a\\release1.2", kDir, true, true, "", R"(a "C:\a\release1.2.lzh" "C:\a\" -d1 "release1.2")", "",
         kWin},
        // POSIX rules: '\' and ':' are bytes of a name, in items and output
        // directories alike; '/' alone separates.
        {"/w/memo.txt", kFile, false, false, "x:y", R"(a "x:y/memo.txt.lzh" "/w/" -d1 "memo.txt")"},
        {"/w/memo.txt", kFile, false, false, "back\\2024",
         R"(a "back\2024/memo.txt.lzh" "/w/" -d1 "memo.txt")"},
        {"/w/memo.txt", kFile, false, true, "out\\", R"(a "out\/memo.lzh" "/w/" -d1 "memo.txt")"},
        {"C:\\work\\memo.txt", kFile, true, true, "", R"(a "C:\work\memo.lzh" "" -d1 "C:\work\memo.txt")"},
        // Written the POSIX way: only '/' separates; "/" is the root.
        {"/work/photos", kDir, false, false, "/pack", R"(a "/pack/photos.lzh" "/work/" -d1 "photos")"},
        {"/work/memo.txt", kFile, false, true, "/", R"(a "//memo.lzh" "/work/" -d1 "memo.txt")"},
        {"/memo.txt", kFile, true, false, "", R"(a "/memo.txt.lzh" "/" -d1 "memo.txt")"},
        {"/a/release1.2", kDir, false, true, "/out", R"(a "/out/release1.2.lzh" "/a/" -d1 "release1.2")"},
        {"/a.d/README", kFile, true, true, "", R"(a "/a.d/README.lzh" "/a.d/" -d1 "README")"},
        {"/a/.profile", kFile, false, true, "/out", R"(a "/out/.lzh" "/a/" -d1 ".profile")"},
        {"/a/b.txt", kGone, false, true, "/out", R"(a "/out/b.txt.lzh" "/a/" -d1 "b.txt")"},
        // Names legal here that the command language must carry intact.
        {"/w/say \"hi\".txt", kFile, true, false, "",
         R"(a "/w/say ""hi"".txt.lzh" "/w/" -d1 "say ""hi"".txt")"},
        {"/w/a.txt", kFile, false, false, "/o\"ut", R"(a "/o""ut/a.txt.lzh" "/w/" -d1 "a.txt")"},
        {"/w/a\\b.txt", kFile, true, true, "", R"(a "/w/a\b.lzh" "/w/" -d1 "a\b.txt")"},
        {"/w/\xff\xfe.bin", kFile, true, false, "", "a \"/w/\xff\xfe.bin.lzh\" \"/w/\" -d1 \"\xff\xfe.bin\""},
        // Nothing is cut at 259 bytes: a cut path names another file.
        {dir + name, kFile, true, false, "",
         "a \"" + dir + name + ".lzh\" \"" + dir + "\" -d1 \"" + name + "\""},
        // Method and effort switches go between -d1 and the item.
        {"/w/memo.txt", kFile, true, false, "", R"(a "/w/memo.txt.lzh" "/w/" -d1 -lh7 -best "memo.txt")",
         "-lh7 -best"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildCommandText(c.path, c.same_place, c.trim, c.output_dir, c.status, c.switches, c.rules),
                  c.expected)
            << c.path << " same=" << c.same_place << " trim=" << c.trim << " out=" << c.output_dir;
}

}  // namespace
}  // namespace pelkoran
