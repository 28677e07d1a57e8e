// test_compress_run.cpp - the run: the output directory check, the order, the stop at a failure, the messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "compress_run.h"
#include "fakes.h"

namespace pelkoran {
namespace {

using testing::FakeDialog;
using testing::FakeFiles;
using testing::FakeLibrary;

struct Run : ::testing::Test {
    FakeFiles fs;
    FakeLibrary lib;
    FakeDialog dlg;
    TargetList list{fs.Query()};

    void List(std::initializer_list<const char*> paths)
    {
        for (const char* p : paths) {
            fs.AddFile(p);
            list.AddTarget(p);
        }
    }
    RunResult Go() { return OnCompress(dlg, list, lib, fs.Query()); }
    bool Queried(const std::string& path) const
    {
        return std::find(fs.queried.begin(), fs.queried.end(), path) != fs.queried.end();
    }
};

TEST_F(Run, PacksEveryItemInListOrderThenSaysSo)
{
    List({"/w/c.txt", "/w/a.txt", "/w/b.txt"});
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands, (std::vector<std::string>{
                                R"(a "/w/a.txt.lzh" "/w/" -d1 "a.txt")",
                                R"(a "/w/b.txt.lzh" "/w/" -d1 "b.txt")",
                                R"(a "/w/c.txt.lzh" "/w/" -d1 "c.txt")",
                            }));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Contains("/w/a.txt"));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].first, "圧縮がすべて終了しました。");
    EXPECT_EQ(dlg.messages[0].second, MessageType::kInformation);
    EXPECT_EQ(dlg.calls.front(), "UpdateData(true)");
    EXPECT_EQ(lib.windows[0], dlg.window);
}

TEST_F(Run, StopsSilentlyAtTheFailedItemKeepingItAndTheRest)
{
    List({"/w/a.txt", "/w/b.txt", "/w/c.txt"});
    lib.fail_at = 2;
    EXPECT_EQ(Go(), RunResult::kItemFailed);
    EXPECT_EQ(lib.commands.size(), 2u);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FirstText(), "/w/b.txt");
    EXPECT_FALSE(list.Contains("/w/a.txt"));
    EXPECT_TRUE(list.Contains("/w/b.txt"));
    EXPECT_TRUE(list.Contains("/w/c.txt"));
    EXPECT_TRUE(dlg.messages.empty());
}

TEST_F(Run, EmptyListCompletesAtOnce)
{
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_TRUE(lib.commands.empty());
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].first, "圧縮がすべて終了しました。");
}

TEST_F(Run, RejectsMissingOrFileOutputDirectoryBeforePackingAnything)
{
    List({"/w/a.txt"});
    fs.AddFile("/w/plain");
    dlg.same_place = false;

    dlg.output_dir_control = "/nope";
    EXPECT_EQ(Go(), RunResult::kOutputDirRejected);
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].first, "指定のディレクトリ(/nope)がありません");
    EXPECT_EQ(dlg.messages[0].second, MessageType::kError);
    EXPECT_EQ(dlg.calls.back(), "FocusOutputDir");

    dlg.output_dir_control = "/w/plain";
    EXPECT_EQ(Go(), RunResult::kOutputDirRejected);
    EXPECT_EQ(dlg.messages.back().first, "ディレクトリを指定してください");
    EXPECT_EQ(dlg.calls.back(), "FocusOutputDir");

    // An empty field is queried like any text.
    dlg.output_dir_control = " ";
    EXPECT_EQ(Go(), RunResult::kOutputDirRejected);
    EXPECT_EQ(dlg.messages.back().first, "指定のディレクトリ()がありません");

    EXPECT_TRUE(lib.commands.empty());
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(Run, SamePlaceNeverLooksAtTheOutputDirectory)
{
    List({"/w/a.txt"});
    dlg.output_dir_control = "/nope";
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_FALSE(Queried("/nope"));
}

TEST_F(Run, TrimsWhiteSpaceAndOneTrailingSeparator)
{
    fs.AddDir("/srv/out");
    fs.AddDir("D:\\pack");
    dlg.same_place = false;
    dlg.trim_control = true;

    List({"/w/a.txt"});
    dlg.output_dir_control = " \t\v\f/srv/out/\r\n";
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands.back(), R"(a "/srv/out/a.lzh" "/w/" -d1 "a.txt")");
    // The member and the field are the dialog's; the run works on its own copy.
    EXPECT_EQ(dlg.output_dir_control, " \t\v\f/srv/out/\r\n");

    List({"C:\\w\\b.txt"});
    dlg.output_dir_control = " D:\\pack\\ ";
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands.back(), R"(a "D:\pack\b.lzh" "C:\w\" -d1 "b.txt")");

    // Only one backslash goes: "D:\pack\" is what is queried and named.
    List({"C:\\w\\c.txt"});
    dlg.output_dir_control = "D:\\pack\\\\";
    EXPECT_EQ(Go(), RunResult::kOutputDirRejected);
    EXPECT_TRUE(Queried("D:\\pack\\"));
    EXPECT_EQ(dlg.messages.back().first, "指定のディレクトリ(D:\\pack\\)がありません");
}

TEST_F(Run, AcceptsDriveRootAndSlashWithoutQuery)
{
    dlg.same_place = false;
    List({"C:\\a\\b.txt"});
    dlg.output_dir_control = " C:\\ ";
    if constexpr (kHasDriveRoots) {
        EXPECT_EQ(Go(), RunResult::kCompleted);
        EXPECT_EQ(lib.commands.back(), R"(a "C:\\b.txt.lzh" "C:\a\" -d1 "b.txt")");
        EXPECT_FALSE(Queried("C:\\"));
        EXPECT_FALSE(Queried("C:"));

        // The drive letter itself is not examined.
        List({"C:\\a\\b.txt"});
        dlg.output_dir_control = "?:\\";
        EXPECT_EQ(Go(), RunResult::kCompleted);
        EXPECT_FALSE(Queried("?:\\"));
    } else {
        // No drives here: the text is checked like any other directory.
        EXPECT_EQ(Go(), RunResult::kOutputDirRejected);
        EXPECT_TRUE(Queried("C:"));
        EXPECT_EQ(dlg.messages.back().first, "指定のディレクトリ(C:)がありません");
        EXPECT_TRUE(lib.commands.empty());
        list.RemoveTarget("C:\\a\\b.txt");
    }

    List({"/w/b.txt"});
    dlg.output_dir_control = "/";
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands.back(), R"(a "//b.txt.lzh" "/w/" -d1 "b.txt")");
    EXPECT_FALSE(Queried("/"));
    EXPECT_FALSE(Queried(""));
}

// Should the list change while the library works, the packed item (and
// only it) leaves the list.
TEST_F(Run, RemovesThePackedItemEvenIfTheListChangedDuringTheCall)
{
    struct Meddler : FakeLibrary {
        TargetList* list = nullptr;
        FakeFiles* fs = nullptr;
        int Command(lzh::ArchiverWindow* w, const std::string& t, char* r, std::uint32_t n) override
        {
            if (commands.empty()) {
                fs->AddFile("/w/0.txt");
                list->AddTarget("/w/0.txt");  // sorts before the item being packed
            }
            return FakeLibrary::Command(w, t, r, n);
        }
    } meddler;
    meddler.list = &list;
    meddler.fs = &fs;
    List({"/w/a.txt"});
    EXPECT_EQ(OnCompress(dlg, list, meddler, fs.Query()), RunResult::kCompleted);
    EXPECT_EQ(meddler.commands.size(), 2u);
    EXPECT_EQ(meddler.commands[1], R"(a "/w/0.txt.lzh" "/w/" -d1 "0.txt")");
    EXPECT_EQ(list.Count(), 0);
}

// The compress button pressed again while the library works: the second
// run does nothing, and each item is packed once.
TEST_F(Run, RunStartedDuringALibraryCallDoesNothing)
{
    struct Reentrant : FakeLibrary {
        FakeDialog* dlg = nullptr;
        TargetList* list = nullptr;
        std::vector<RunResult> nested;
        int Command(lzh::ArchiverWindow* w, const std::string& t, char* r, std::uint32_t n) override
        {
            nested.push_back(OnCompress(*dlg, *list, *this));
            return FakeLibrary::Command(w, t, r, n);
        }
    } lib2;
    lib2.dlg = &dlg;
    lib2.list = &list;
    List({"/w/a.txt", "/w/b.txt"});
    EXPECT_EQ(OnCompress(dlg, list, lib2, fs.Query()), RunResult::kCompleted);
    EXPECT_EQ(lib2.commands.size(), 2u);
    EXPECT_EQ(lib2.nested, (std::vector<RunResult>{RunResult::kAlreadyRunning, RunResult::kAlreadyRunning}));
    EXPECT_EQ(dlg.messages.size(), 1u);
    // Once the run is over, the list may run again.
    EXPECT_EQ(OnCompress(dlg, list, lib, fs.Query()), RunResult::kCompleted);
}

}  // namespace
}  // namespace pelkoran
