// Pelkoran.ini on Windows: where it lives, and that a save keeps what it must.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "settings.h"
#include "settings_platform.h"
#include "win_support.h"

using namespace pelkoran;
using win_test::TempDir;

TEST(WindowsSettings, ParentDirectoryKnowsDrivesAndBothSeparators)
{
    EXPECT_EQ(ParentDirectory("C:\\Pelkoran.ini"), "C:\\");
    EXPECT_EQ(ParentDirectory("C:\\a\\b\\Pelkoran.ini"), "C:\\a\\b");
    EXPECT_EQ(ParentDirectory("C:/a/b"), "C:/a");
    EXPECT_EQ(ParentDirectory("\\\\server\\share\\x.ini"), "\\\\server\\share");
    EXPECT_EQ(ParentDirectory("Pelkoran.ini"), ".");
}

// A Japanese path past 260 characters: the missing folders are made, the
// values round-trip, the rest of the file is kept and no temporary file stays.
TEST(WindowsSettings, JapanesePathsPastMaxPathRoundTripKeepingTheRestOfTheFile)
{
    TempDir dir;
    std::string deep = dir / "設定 表";
    while (deep.size() < 400)
        deep += "\\長いフォルダの名前" + std::to_string(deep.size());
    const std::string path = deep + "\\Pelkoran.ini";
    Settings s = DefaultSettings();
    ASSERT_TRUE(SaveSettings(path, s));
    win_test::WriteFile(path, "; 能と十\r\n[Other]\r\nKey=ソ\r\n[Path]\r\nIsTrimEXT=TRUE\r\n");
    s = LoadSettings(path);
    EXPECT_TRUE(s.trim_ext);
    s.output_dir = "D:\\書類\\ソース 表";
    s.same_place = false;
    s.method = "lh7";
    ASSERT_TRUE(SaveSettings(path, s));
    const Settings back = LoadSettings(path);
    EXPECT_EQ(back.output_dir, "D:\\書類\\ソース 表");
    EXPECT_FALSE(back.same_place);
    EXPECT_EQ(back.method, "lh7");
    const std::string text = win_test::ReadFile(path);
    EXPECT_EQ(text.rfind("; 能と十\r\n[Other]\r\nKey=ソ\r\n[Path]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("OutputDir=D:\\書類\\ソース 表\r\n"), std::string::npos) << text;
    EXPECT_EQ(win_test::CountEntries(deep), 1) << "a temporary file was left behind";
}

// A file written through the ANSI profile functions holds code page 932:
// "表" is 0x95 0x5C, its second byte a backslash.
TEST(WindowsSettings, AnOutputDirInTheAnsiCodePageReadsAsThatCodePage)
{
    TempDir dir;
    const std::string path = dir / "Pelkoran.ini";
    win_test::WriteFile(path, "[Path]\r\nOutputDir=C:\\\x95\x5C\\\x83\x5C\r\nIsSamePlace=FALSE\r\n");
    ASSERT_EQ(::GetACP(), 932u) << "the tests run with LANG=ja_JP.UTF-8";
    EXPECT_EQ(LoadSettings(path).output_dir, "C:\\表\\ソ");
    EXPECT_FALSE(LoadSettings(path).same_place);
    ASSERT_TRUE(SaveSettings(path, LoadSettings(path)));
    EXPECT_NE(win_test::ReadFile(path).find("OutputDir=C:\\表\\ソ\r\n"), std::string::npos)
        << "written back in UTF-8";
}

TEST(WindowsSettings, ReplacingKeepsTheFilesAttributes)
{
    TempDir dir;
    const std::string path = dir / "Pelkoran.ini";
    win_test::WriteFile(path, "[Path]\r\n");
    const std::wstring wide = SystemPath(path);
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SaveSettings(path, DefaultSettings()));
    EXPECT_TRUE(::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(win_test::ReadFile(path).find("IsSamePlace=TRUE"), std::string::npos);
}

TEST(WindowsSettings, BesideTheProgramWhenItCanElseUnderAppData)
{
    TempDir dir;
    const std::string bin = dir / "bin\\", appdata = dir / "Roaming";
    ASSERT_TRUE(MakeDirectories(bin + "."));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"APPDATA", SystemPath(appdata).c_str()));
    _wputenv_s(L"APPDATA", SystemPath(appdata).c_str());
    const std::string fallback = appdata + "\\Pelkoran\\Pelkoran.ini";

    EXPECT_EQ(SettingsFilePath(bin), bin + "Pelkoran.ini") << "no file yet, the folder may be written";
    win_test::WriteFile(bin + "Pelkoran.ini", "[Path]\r\n");
    EXPECT_EQ(SettingsFilePath(bin), bin + "Pelkoran.ini") << "the file is there and may be written";

    const std::string gone = dir / "not there\\";
    EXPECT_EQ(SettingsFilePath(gone), fallback);
    const std::string taken = dir / "taken\\";
    ASSERT_TRUE(MakeDirectories(taken + "Pelkoran.ini")) << "a folder in the file's place";
    EXPECT_EQ(SettingsFilePath(taken), fallback);

    // A file this process cannot open for writing (another program holds it
    // without sharing) is not taken.
    const std::string held = dir / "held\\";
    win_test::WriteFile(held + "Pelkoran.ini", "[Path]\r\n");
    HANDLE h = ::CreateFileW(SystemPath(held + "Pelkoran.ini").c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SettingsFilePath(held), fallback);
    ::CloseHandle(h);

    ASSERT_TRUE(SaveSettings(fallback, DefaultSettings())) << "the per-user folder is made";
    EXPECT_NE(win_test::ReadFile(fallback).find("[Path]"), std::string::npos);
}

TEST(WindowsSettings, ModuleDirectoryEndsInASeparatorAndHoldsTheProgram)
{
    const std::string dir = GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_NE(::GetFileAttributesW(SystemPath(dir + "settings_win_tests.exe").c_str()),
              INVALID_FILE_ATTRIBUTES);
}
