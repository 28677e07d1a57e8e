// test_compress_run.cpp - the run: the output directory check, the order, the stop at a failure, the messages.
#include <gtest/gtest.h>

#include <utility>

#include "batch_fakes.h"
#include "compress_run.h"

#include <stdlib.h>
#include <unistd.h>

namespace pelkoran {
namespace {

using testing::FakeFiles;
using testing::FakeFrontEnd;
using testing::FakeLibrary;

const std::string kAllDone = "圧縮がすべて終了しました。";

struct Run : ::testing::Test {
    FakeFiles fs;
    FakeLibrary lib;
    FakeFrontEnd dlg;
    TargetList list{fs.Query()};

    void List(std::initializer_list<const char*> paths)
    {
        for (const char* p : paths) {
            fs.AddFile(p);
            list.AddTarget(p);
        }
    }
    RunResult Go() { return OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query(), fs.Probe()); }
    // The run from a text in the output directory field.
    RunResult GoTo(const std::string& output_dir)
    {
        dlg.same_place = false;
        dlg.output_dir = output_dir;
        return Go();
    }
};

// In list order, through the dialog's window, then the completion message;
// an empty list completes at once. Next to each item, the field is not looked at.
TEST_F(Run, PacksEveryItemInListOrderThenSaysSo)
{
    List({"/w/c.txt", "/w/a.txt", "/w/b.txt"});
    dlg.output_dir = "/nope";
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands, (std::vector<std::string>{R"(a "/w/a.txt.lzh" "/w/" -d1 "a.txt")",
                                                      R"(a "/w/b.txt.lzh" "/w/" -d1 "b.txt")",
                                                      R"(a "/w/c.txt.lzh" "/w/" -d1 "c.txt")"}));
    EXPECT_EQ(lib.windows, std::vector<lzh::ArchiverWindow*>(3, dlg.window));
    EXPECT_EQ(dlg.items_started, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(dlg.done, (std::vector<std::string>{"/w/a.txt", "/w/b.txt", "/w/c.txt"}));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Contains("/w/a.txt"));
    EXPECT_FALSE(fs.Queried("/nope"));
    EXPECT_EQ(dlg.messages,
              (std::vector<std::pair<std::string, MessageType>>{{kAllDone, MessageType::kInformation}}));
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(dlg.messages.size(), 2u);
}

TEST_F(Run, StopsSilentlyAtTheFailedItemKeepingItAndTheRest)
{
    List({"/w/a.txt", "/w/b.txt", "/w/c.txt"});
    lib.behaviour = [&](lzh::ArchiverWindow*, const std::string&) {
        return lib.commands.size() == 2 ? 1 : 0;
    };
    EXPECT_EQ(Go(), RunResult::kItemFailed);
    EXPECT_EQ(lib.commands.size(), 2u);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FirstText(), "/w/b.txt");
    EXPECT_TRUE(list.Contains("/w/c.txt"));
    EXPECT_TRUE(dlg.messages.empty());
    EXPECT_EQ(dlg.done, std::vector<std::string>{"/w/a.txt"});
}

// Entries the library left out reach the user once the items are done: one
// box after the completion message, or after a failed item; none when
// nothing was left out, and what an earlier run left behind is not shown.
TEST(RunSkipped, SpecialFilesLeftOutAreListedOnceTheRunEnds)
{
    struct Dialog : FakeFrontEnd {
        std::vector<std::string> pending;
        std::vector<std::string> TakeSkipped() override { return std::exchange(pending, {}); }
    };
    FakeFiles fs;
    FakeLibrary lib;
    Dialog dlg;
    TargetList list{fs.Query()};
    for (const char* p : {"/w/a", "/w/b"}) {
        fs.AddDir(p);
        list.AddTarget(p);
    }
    dlg.pending = {"/old/fifo"};  // from a run before this one
    lib.behaviour = [&](lzh::ArchiverWindow*, const std::string& text) {
        if (text.find("\"a\"") != std::string::npos)
            dlg.pending.push_back("/w/a/pipe");
        return 0;
    };
    EXPECT_EQ(OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query()), RunResult::kCompleted);
    const std::string listed = std::string(kMsgSkipped) + "\n/w/a/pipe";
    EXPECT_EQ(dlg.messages, (std::vector<std::pair<std::string, MessageType>>{
                                {kAllDone, MessageType::kInformation}, {listed, MessageType::kError}}));

    dlg.messages.clear();
    list.AddTarget("/w/a");
    list.AddTarget("/w/b");
    lib.behaviour = [&](lzh::ArchiverWindow*, const std::string& text) {
        dlg.pending.push_back("/w/a/pipe");
        return text.find("\"b\"") != std::string::npos ? 2 : 0;
    };
    EXPECT_EQ(OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query()), RunResult::kItemFailed);
    EXPECT_EQ(dlg.messages.size(), 1u);
    EXPECT_TRUE(dlg.messages[0].first.find(kMsgSkipped) == 0);

    dlg.messages.clear();
    list.AddTarget("/w/a");
    lib.behaviour = nullptr;
    EXPECT_EQ(OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query()), RunResult::kCompleted);
    EXPECT_EQ(dlg.messages.size(), 1u);

    std::vector<std::string> many(25, "/w/x");
    EXPECT_EQ(
        SkippedMessage(many), std::string(kMsgSkipped) + [] {
            std::string s;
            for (int i = 0; i < 20; ++i)
                s += "\n/w/x";
            return s;
        }() + "\nほか 5 件");
}

// A missing directory, a file, an empty field (blanks only), one that takes
// no new file, and, by POSIX rules, "C:\" and "D:\pack\\" (names with
// backslashes, never cut there): each rejected with its message before
// anything is packed.
TEST_F(Run, RejectsMissingOrFileOutputDirectoryBeforePackingAnything)
{
    List({"/w/a.txt"});
    fs.AddFile("/w/plain");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"/nope", "指定のディレクトリ(/nope)がありません"},
        {"/w/plain", "ディレクトリを指定してください"},
        {" ", "指定のディレクトリ()がありません"},
        {"D:\\pack\\\\", "指定のディレクトリ(D:\\pack\\\\)がありません"},
        {" C:\\ ", "指定のディレクトリ(C:\\)がありません"},
        {"/ro/", "指定のディレクトリ(/ro)には書き込めません (書き込みの許可がありません)"},
    };
    fs.AddDir("/ro");
    for (const auto& [dir, message] : cases) {
        dlg.messages.clear();
        dlg.same_place = false;
        dlg.output_dir = dir;
        EXPECT_EQ(OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query(),
                             [](const std::string& d) {
                                 return d == "/ro" ? std::string("書き込みの許可がありません")
                                                   : std::string();
                             }),
                  RunResult::kOutputDirRejected)
            << dir;
        EXPECT_EQ(dlg.messages,
                  (std::vector<std::pair<std::string, MessageType>>{{message, MessageType::kError}}));
    }
    EXPECT_TRUE(lib.commands.empty());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(dlg.focus_calls, static_cast<int>(cases.size()));
}

// During a library call the list gains an item that sorts first, and the
// compress button is pressed again: the second run does nothing, the packed
// item (and only it) leaves the list, and the new one is packed next.
TEST_F(Run, ChangesDuringALibraryCallNeitherRestartNorMisplaceTheRun)
{
    List({"/w/a.txt"});
    std::vector<RunResult> nested;
    lib.behaviour = [&](lzh::ArchiverWindow*, const std::string&) {
        if (lib.commands.size() == 1) {
            fs.AddFile("/w/0.txt");
            list.AddTarget("/w/0.txt");
        }
        nested.push_back(OnCompress(dlg.Options(), dlg, dlg.window, list, lib, fs.Query(), fs.Probe()));
        return 0;
    };
    EXPECT_EQ(Go(), RunResult::kCompleted);
    EXPECT_EQ(lib.commands, (std::vector<std::string>{R"(a "/w/a.txt.lzh" "/w/" -d1 "a.txt")",
                                                      R"(a "/w/0.txt.lzh" "/w/" -d1 "0.txt")"}));
    EXPECT_EQ(nested, std::vector<RunResult>(2, RunResult::kAlreadyRunning));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(dlg.messages.size(), 1u);
}

// Blanks at both ends and one trailing separator go (only one, and by
// Windows rules not a '/'); a root ("/", a drive's "C:\") is taken
// unchecked; the run packs into the directory as trimmed.
TEST_F(Run, OutputDirectoryTrimmedAndRootsTakenUnchecked)
{
    fs.AddDir("/srv/out");
    fs.AddDir("D:\\pack");
    fs.AddDir("D:\\pack\\");
    const struct {
        PathRules rules;
        const char *typed, *used, *message;
    } cases[] = {
        {PathRules::kPosix, " \t\v\f/srv/out/\r\n", "/srv/out", ""},
        {PathRules::kPosix, "/", "/", ""},
        {PathRules::kWindows, " D:\\pack\\ ", "D:\\pack", ""},
        {PathRules::kWindows, "D:\\pack\\\\", "D:\\pack\\", ""},
        {PathRules::kWindows, "C:\\", "C:\\", ""},
        {PathRules::kWindows, "z:\\", "z:\\", ""},
        {PathRules::kWindows, "D:/pack/", "D:/pack/", "指定のディレクトリ(D:/pack/)がありません"},
    };
    for (const auto& c : cases) {
        std::string dir = c.typed;
        EXPECT_EQ(CheckOutputDir(dir, fs.Query(), c.rules), c.message) << c.typed;
        EXPECT_EQ(dir, c.used) << c.typed;
    }
    EXPECT_FALSE(fs.Queried("/"));
    EXPECT_FALSE(fs.Queried("C:\\"));
    List({"/w/a.txt"});
    ASSERT_EQ(GoTo(" /srv/out/ "), RunResult::kCompleted);
    EXPECT_EQ(lib.commands.back(), R"(a "/srv/out/a.txt.lzh" "/w/" -d1 "a.txt")");
}

// The real probe: a folder of ours takes files (and is left as it was);
// /proc exists but takes none, and says so.
TEST(OutputDirProbe, SaysWhyADirectoryTakesNoFile)
{
    char tmpl[] = "/tmp/pelkoran-probe-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    EXPECT_EQ(ProbeWritableDirectory(tmpl), "");
    EXPECT_EQ(rmdir(tmpl), 0);  // empty again
    std::string proc = "/proc";
    EXPECT_EQ(CheckOutputDir(proc, QueryPathStatus, PathRules::kPosix, ProbeWritableDirectory),
              "指定のディレクトリ(/proc)には書き込めません (ファイルを作れない場所です)");
}

// Two items with one base name sent to one output directory in one run:
// the first is packed, the second is refused naming the first and stays
// listed with those after it. Different names in one archive (trimmed
// x.txt and x.dat both go to x.lzh) are both packed, and an archive from an
// earlier run is updated as always.
TEST_F(Run, SecondItemOfTheSameStoredNameIntoOneArchiveIsRefused)
{
    fs.AddDir("/out");
    List({"/a/x.txt", "/b/x.txt", "/c/y.txt"});
    EXPECT_EQ(GoTo("/out"), RunResult::kItemFailed);
    EXPECT_EQ(lib.commands, (std::vector<std::string>{R"(a "/out/x.txt.lzh" "/a/" -d1 "x.txt")"}));
    EXPECT_EQ(dlg.refusals, (std::vector<std::string>{
                                "/b/x.txt は圧縮しません: この実行で先に圧縮した /a/x.txt と同じ名前で"
                                "書庫 /out/x.txt.lzh に入り、それを置き換えるためです"}));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FirstText(), "/b/x.txt");
    EXPECT_TRUE(dlg.messages.empty());

    EXPECT_EQ(GoTo("/out"), RunResult::kCompleted);  // a new run: /b/x.txt updates the archive
    EXPECT_EQ(lib.commands.size(), 3u);

    dlg.trim = true;
    List({"/a/x.txt", "/a/x.dat"});
    EXPECT_EQ(GoTo("/out"), RunResult::kCompleted);
    EXPECT_EQ(lib.commands.size(), 5u);
    EXPECT_EQ(dlg.refusals.size(), 1u);
}

// "plain.txt.lzh" with the extension dropped would be its own archive:
// refused before the library is called, with its own reason.
TEST_F(Run, ItemThatWouldBeItsOwnArchiveIsRefused)
{
    List({"/w/plain.txt.lzh"});
    dlg.trim = true;
    EXPECT_EQ(Go(), RunResult::kItemFailed);
    EXPECT_TRUE(lib.commands.empty());
    EXPECT_EQ(dlg.refusals,
              std::vector<std::string>{"書庫が項目そのものになるため圧縮できません: /w/plain.txt.lzh"});
    EXPECT_EQ(list.Count(), 1);
}

}  // namespace
}  // namespace pelkoran
