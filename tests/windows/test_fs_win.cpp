// test_fs_win.cpp - the engine's Windows file-system backend, under Wine:
// long paths, reparse points, the archive's replacement and lock, names.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "fs/names.h"
#include "pelkoran/archive_contents.h"
#include "pelkoran/archiver.h"
#include "win_support.h"

namespace {

using win_test::TempDir;

struct Recorder : lzh::ArchiverWindow {
    bool on_progress(const lzh::Progress&) override { return true; }
    void on_failure(std::string_view reason) override { failures.emplace_back(reason); }
    void on_skipped(std::string_view path) override { skipped.emplace_back(path); }
    std::vector<std::string> failures, skipped;
};

// Runs "a ARCHIVE BASE\ -d1 ITEM"; returns the result and the reply in `reply`.
int Pack(const std::string& archive, const std::string& base, const std::string& item, std::string& reply,
         lzh::ArchiverWindow* window = nullptr)
{
    const std::string command = "a \"" + archive + "\" \"" + base + "\\\" -d1 \"" + item + "\"";
    std::vector<char> buf(4096);
    const int rc = ArchiverCommand(window, command.c_str(), buf.data(), std::uint32_t(buf.size()));
    reply = buf.data();
    return rc;
}

std::vector<std::string> Names(const std::string& archive)
{
    std::vector<std::string> names;
    lzh::ArchiveContents contents(archive);
    for (const lzh::MemberInfo& m : contents.members())
        names.push_back(m.name);
    return names;
}

bool Has(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

// Paths far beyond 260 characters, with Japanese names, pack whole and the
// archive (beside them) is tested by the engine.
TEST(WindowsFiles, PathsBeyond260CharactersPackWhole)
{
    TempDir dir;
    std::string rel = "深い";
    for (int i = 0; i < 12; ++i)
        rel += "\\ソ表能十のディレクトリ-" + std::to_string(i) + "-abcdefghijklmnop";
    const std::string deep = dir / rel;
    ASSERT_GT(pelkoran::Utf8ToWide(deep).size(), 400u);
    win_test::WriteFile(deep + "\\中身.txt", "deep contents");
    std::string reply;
    ASSERT_EQ(Pack(dir / "深い.lzh", dir.path(), "深い", reply), lzh::kArchiverOk) << reply;
    const std::vector<std::string> names = Names(dir / "深い.lzh");
    std::string stored = rel;
    std::replace(stored.begin(), stored.end(), '\\', '/');
    EXPECT_TRUE(Has(names, stored + "/中身.txt")) << names.size();
    lzh::ArchiveContents contents(dir / "深い.lzh");
    std::string reason;
    for (std::size_t i = 0; i < contents.members().size(); ++i)
        EXPECT_TRUE(contents.check(i, reason)) << reason;
}

// A symbolic link inside a packed folder is never followed: left out and
// reported as a special file is, while the folder's files go in.
TEST(WindowsFiles, LinksInsideAFolderAreSkippedAndReported)
{
    TempDir dir;
    win_test::WriteFile(dir / "外\\secret.txt", "outside");
    win_test::WriteFile(dir / "中\\a.txt", "inside");
    const std::wstring link = pelkoran::Utf8ToWide(dir / "中\\リンク");
    const std::wstring target = pelkoran::Utf8ToWide(dir / "外");
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no symbolic links here (Wine 8 creates none; wine_interop covers a link made on the "
                        "Linux side)";
    Recorder window;
    std::string reply;
    ASSERT_EQ(Pack(dir / "中.lzh", dir.path(), "中", reply, &window), lzh::kArchiverOk) << reply;
    const std::vector<std::string> names = Names(dir / "中.lzh");
    EXPECT_TRUE(Has(names, "中/a.txt"));
    for (const std::string& n : names)
        EXPECT_EQ(n.find("secret"), std::string::npos) << n;
    ASSERT_EQ(window.skipped.size(), 1u);
    EXPECT_NE(window.skipped[0].find("リンク"), std::string::npos) << window.skipped[0];
}

// An update replaces the archive and keeps its attributes (hidden here);
// a read-only archive is refused and left as it was, with no temporary file.
TEST(WindowsFiles, UpdateKeepsAttributesAndRefusesAReadOnlyArchive)
{
    TempDir dir;
    win_test::WriteFile(dir / "item\\one.txt", "one");
    std::string reply;
    const std::string archive = dir / "item.lzh";
    ASSERT_EQ(Pack(archive, dir.path(), "item", reply), lzh::kArchiverOk) << reply;
    const std::wstring wide = pelkoran::Utf8ToWide(archive);
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN));
    win_test::WriteFile(dir / "item\\two.txt", "two");
    ASSERT_EQ(Pack(archive, dir.path(), "item", reply), lzh::kArchiverOk) << reply;
    EXPECT_TRUE(Has(Names(archive), "item/two.txt"));
    EXPECT_TRUE(::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string before = win_test::ReadFile(archive);
    win_test::WriteFile(dir / "item\\three.txt", "three");
    EXPECT_EQ(Pack(archive, dir.path(), "item", reply), lzh::kArchiverFailed);
    EXPECT_NE(reply.find("item.lzh"), std::string::npos) << reply;
    EXPECT_EQ(win_test::ReadFile(archive), before);
    EXPECT_EQ(win_test::CountEntries(dir.path()), 2) << "the item and its archive, no temporary file";
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Runs that update one archive at once take turns through its lock: every
// run's item is in the end, none lost to another's replacement, and a new
// archive never replaces one created meanwhile.
TEST(WindowsFiles, ConcurrentUpdatesOfOneArchiveLoseNothing)
{
    TempDir dir;
    constexpr int kRuns = 6;
    for (int i = 0; i < kRuns; ++i)
        win_test::WriteFile(dir / ("item" + std::to_string(i) + ".txt"),
                            std::string(5000 + i, char('a' + i)));
    const std::string archive = dir / "shared.lzh";
    std::vector<std::thread> runs;
    std::vector<int> results(kRuns);
    std::vector<std::string> replies(kRuns);
    for (int i = 0; i < kRuns; ++i)
        runs.emplace_back([&, i] {
            results[i] = Pack(archive, dir.path(), "item" + std::to_string(i) + ".txt", replies[i]);
        });
    for (std::thread& t : runs)
        t.join();
    for (int i = 0; i < kRuns; ++i)
        EXPECT_EQ(results[i], lzh::kArchiverOk) << replies[i];
    const std::vector<std::string> names = Names(archive);
    for (int i = 0; i < kRuns; ++i)
        EXPECT_TRUE(Has(names, "item" + std::to_string(i) + ".txt")) << i;
}

// Names go in as on Linux: CP932 when every character converts exactly and
// back, UTF-8 (code page 65001) otherwise; nothing is ever replaced by a
// best-fit character.
TEST(WindowsFiles, NamesInCp932OnlyWhenExact)
{
    const lzh::StoredNames jp = lzh::encode_names("ソ表能十/ｶﾅ①.txt");
    EXPECT_EQ(jp.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(jp.path, "\x83\x5C\x95\x5C\x94\x5C\x8F\x5C/\xB6\xC5\x87\x40.txt");
    EXPECT_EQ(lzh::decode_name(jp.path, jp.code_page), "ソ表能十/ｶﾅ①.txt");
    // "é" has a best fit ("e") in code page 932 but no exact character.
    for (const char* name : {"caf\xC3\xA9.txt", "絵文字😀.txt", "한국어.txt"}) {
        const lzh::StoredNames n = lzh::encode_names(name);
        EXPECT_EQ(n.code_page, lzh::kCodePageUtf8) << name;
        EXPECT_EQ(n.path, name);
    }
}

// A drive's root as the item (what packing "C:\" writes) has no name to be
// stored under; the message names it, and nothing is written.
TEST(WindowsFiles, ADriveRootIsRefusedByName)
{
    const std::string refused =
        " はルートディレクトリで名前がないため、書庫にできません "
        "(中のファイル・ディレクトリを指定してください)";
    for (const std::string base : {"C:", "c:", ""}) {
        std::string reply;
        Recorder window;
        EXPECT_NE(Pack(base + "\\.lzh", base, "", reply, &window), 0);
        ASSERT_EQ(window.failures.size(), 1u);
        EXPECT_EQ(window.failures[0], base + "\\" + refused);
    }
    TempDir dir;
    std::string reply;
    Recorder window;
    EXPECT_NE(Pack(dir / "x.lzh", dir.path(), ".", reply, &window), 0);
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(window.failures[0].find("ルート"), std::string::npos) << "not a root: " << window.failures[0];
}
