// The batch layer's Windows parts: item paths, the status query, the list's order.
#include <gtest/gtest.h>

#include <windows.h>

#include "compress_target.h"
#include "item_path.h"
#include "path_status.h"
#include "target_list.h"
#include "win_support.h"

using namespace pelkoran;
using win_test::TempDir;

TEST(WindowsItemPath, AbsoluteBackslashedDotsGoneDriveRootKept)
{
    TempDir dir;
    wchar_t old[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH + 1, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(SystemPath(dir.path()).c_str()));
    struct Restore {
        const wchar_t* to;
        ~Restore() { ::SetCurrentDirectoryW(to); }  // a current directory cannot be removed
    } restore{old};
    EXPECT_EQ(ResolveItemPath("表\\ソ.txt"), dir / "表\\ソ.txt");
    EXPECT_EQ(ResolveItemPath("a/b/../能.txt"), dir / "a\\能.txt");
    EXPECT_EQ(ResolveItemPath(dir / "十\\"), dir / "十");
    EXPECT_EQ(ResolveItemPath(dir / "十\\."), dir / "十");
    EXPECT_EQ(ResolveItemPath("C:\\"), "C:\\");
    EXPECT_EQ(ResolveItemPath("C:/Windows//"), "C:\\Windows");
    EXPECT_EQ(ResolveItemPath(""), "");
}

TEST(WindowsPathStatus, JapaneseNamesAndLongPaths)
{
    TempDir dir;
    win_test::WriteFile(dir / "ソ 表.txt", "x");
    EXPECT_TRUE(QueryPathStatus(dir / "ソ 表.txt").exists);
    EXPECT_FALSE(QueryPathStatus(dir / "ソ 表.txt").is_directory);
    EXPECT_TRUE(QueryPathStatus(dir.path()).is_directory);
    EXPECT_TRUE(QueryPathStatus(dir.path() + "/").is_directory) << "'/' separates as well";
    EXPECT_FALSE(QueryPathStatus(dir / "無い").exists);
    EXPECT_FALSE(QueryPathStatus(std::string("C:\\\0x", 5)).exists);

    std::string deep = dir.path();
    while (deep.size() < 330)
        deep += "\\能力十分な名前" + std::to_string(deep.size());
    win_test::WriteFile(deep + "\\f.txt", "x");
    EXPECT_TRUE(QueryPathStatus(deep).is_directory);
    EXPECT_TRUE(QueryPathStatus(deep + "\\f.txt").exists);
}

TEST(WindowsPathStatus, LinksAreFollowed)
{
    TempDir dir;
    // A link to a directory answers as a directory, one whose target is gone as missing.
    const std::string sub = dir / "表 sub", link = dir / "リンク", dangling = dir / "宙ぶらり";
    ASSERT_TRUE(::CreateDirectoryW(SystemPath(sub).c_str(), nullptr));
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!::CreateSymbolicLinkW(SystemPath(link).c_str(), SystemPath(sub).c_str(), flags) ||
        ::GetFileAttributesW(SystemPath(link).c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no usable symbolic links here (Wine 8 makes them but cannot open them)";
    ASSERT_TRUE(::CreateSymbolicLinkW(SystemPath(dangling).c_str(), SystemPath(dir / "無").c_str(), flags));
    EXPECT_TRUE(QueryPathStatus(link).exists);
    EXPECT_TRUE(QueryPathStatus(link).is_directory);
    EXPECT_FALSE(QueryPathStatus(dangling).exists);
}

// The Japanese order with numbers by value and case ignored, as on Linux.
TEST(WindowsCollation, JapaneseNamesNumbersAndCase)
{
    TargetListModel model;
    const std::vector<std::string> sorted = {"C:\\d\\file2",   "C:\\d\\File10", "C:\\d\\photo9",
                                             "C:\\d\\Photo10", "C:\\d\\あ",     "C:\\d\\イ",
                                             "C:\\d\\う"};
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
        model.InsertRow(*it, kImageFile);
    std::vector<std::string> rows;
    for (int i = 0; i < model.RowCount(); ++i)
        rows.push_back(model.RowText(i));
    EXPECT_EQ(rows, sorted);
}

// This build's own rules are Windows rules: a dropped path as the list holds
// it, '\' before the archive name, "C:\" kept whole.
TEST(WindowsCommandText, ThePlatformsRulesAreWindowsRules)
{
    TempDir dir;
    const std::string memo = ResolveItemPath(dir.path() + "/work/memo.txt"), work = dir / "work\\";
    EXPECT_EQ(BuildCommandText(memo, true, true, "", PathStatus{true, false}),
              "a \"" + work + "memo.lzh\" \"" + work + "\" -d1 \"memo.txt\"");
    EXPECT_EQ(BuildCommandText(memo, false, false, "C:\\", PathStatus{true, false}),
              "a \"C:\\\\memo.txt.lzh\" \"" + work + "\" -d1 \"memo.txt\"");
}
