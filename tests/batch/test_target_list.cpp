// test_target_list.cpp - the target list: each path once, the sorted order, deletion, the enabling rules.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "fakes.h"
#include "target_list.h"

namespace pelkoran {
namespace {

using testing::FakeFiles;

std::vector<std::string> Rows(const TargetRows& rows)
{
    std::vector<std::string> texts;
    for (int i = 0; i < rows.RowCount(); ++i)
        texts.push_back(rows.RowText(i));
    return texts;
}

TEST(TargetList, ListsEachPathOnceAndKeepsCase)
{
    FakeFiles fs;
    fs.AddFile("/w/memo.txt");
    fs.AddFile("/w/MEMO.txt");
    TargetList list(fs.Query());
    // The same path twice in one drop, and again in a later drop.
    EXPECT_EQ(list.AddTargets({"/w/memo.txt", "/w/memo.txt", "/w/MEMO.txt"}), 2);
    EXPECT_FALSE(list.AddTarget("/w/memo.txt"));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.Contains("/w/memo.txt"));
    EXPECT_TRUE(list.Contains("/w/MEMO.txt"));
    // A listed path is not queried again.
    EXPECT_EQ(std::count(fs.queried.begin(), fs.queried.end(), "/w/memo.txt"), 1);
}

TEST(TargetList, SkipsPathWhoseStatusFailsAndSetsImageByKind)
{
    FakeFiles fs;
    fs.AddDir("/w/photos");
    fs.AddFile("/w/memo.txt");
    TargetList list(fs.Query());
    EXPECT_FALSE(list.AddTarget("/w/gone.txt"));
    EXPECT_FALSE(list.AddTarget(""));
    list.AddTarget("/w/photos");
    list.AddTarget("/w/memo.txt");
    ASSERT_EQ(Rows(list.Model()), (std::vector<std::string>{"/w/memo.txt", "/w/photos"}));
    EXPECT_EQ(list.Model().RowImage(0), kImageFile);
    EXPECT_EQ(list.Model().RowImage(1), kImageDirectory);
    EXPECT_FALSE(list.Contains("/w/gone.txt"));
}

TEST(TargetList, OrdersNumbersAsNumbersIgnoringCaseWithBytesBreakingTies)
{
    FakeFiles fs;
    std::vector<std::string> sorted = {"/d/a.txt",  "/d/B.txt",  "/d/file1", "/d/File2",
                                       "/d/file10", "/d/Photo", "/d/photo", "/d/z9",
                                       "/d/z10"};
    for (const auto& p : sorted)
        fs.AddFile(p);
    std::vector<std::string> drop = sorted;
    std::mt19937 rng(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(drop.begin(), drop.end(), rng);
        TargetList list(fs.Query());
        list.AddTargets(drop);
        EXPECT_EQ(Rows(list.Model()), sorted) << "round " << round;
    }
}

// Names that are not UTF-8 list and sort like any other, byte-exact and distinct.
TEST(TargetList, ListsNamesThatAreNotUtf8)
{
    FakeFiles fs;
    std::vector<std::string> names = {"/d/\xff" "a", "/d/\xfe" "a", "/d/\x82\xa0.txt", "/d/a"};
    for (const auto& p : names)
        fs.AddFile(p);
    TargetList forward(fs.Query());
    forward.AddTargets(names);
    TargetList backward(fs.Query());
    backward.AddTargets({names.rbegin(), names.rend()});
    EXPECT_EQ(forward.Count(), 4);
    EXPECT_EQ(Rows(forward.Model()), Rows(backward.Model()));
    for (const auto& p : names)
        EXPECT_GE(forward.Model().FindRow(p), 0) << p;
}

TEST(TargetList, RemovesSelectedRowsAndAllowsThemBack)
{
    FakeFiles fs;
    for (const char* p : {"/a", "/b", "/c", "/d"})
        fs.AddFile(p);
    TargetList list(fs.Query());
    list.AddTargets({"/a", "/b", "/c", "/d"});

    // Nothing selected: the delete button is off and deleting changes nothing.
    EXPECT_FALSE(list.OnUpdateDelete());
    list.RemoveSelectedTargets();
    EXPECT_EQ(list.Count(), 4);

    list.Model().SetSelected(0, true);
    list.Model().SetSelected(2, true);
    list.Model().SetSelected(3, true);
    EXPECT_TRUE(list.OnUpdateDelete());
    list.RemoveSelectedTargets();
    EXPECT_EQ(Rows(list.Model()), std::vector<std::string>{"/b"});
    EXPECT_FALSE(list.Contains("/a"));
    EXPECT_FALSE(list.OnUpdateDelete());

    EXPECT_TRUE(list.AddTarget("/a"));
    EXPECT_EQ(Rows(list.Model()), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_FALSE(list.Model().IsSelected(0));

    // The last row gone: the compress button goes off.
    EXPECT_TRUE(list.OnUpdateCompress());
    list.Model().SetSelectedRange(0, 1, true);
    list.RemoveSelectedTargets();
    EXPECT_FALSE(list.OnUpdateCompress());
    EXPECT_FALSE(list.Contains("/b"));
}

// The treap against a plain vector: random inserts, selections and deletions.
TEST(TargetListModel, AgreesWithPlainVectorUnderRandomOperations)
{
    std::mt19937 rng(42);
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i)
        names.push_back("/t/n" + std::to_string(i));
    std::shuffle(names.begin(), names.end(), rng);

    // Row by row, then a batch that is read in the middle (its pending
    // rows merged early) and completed.
    TargetListModel model;
    for (int i = 0; i < 300; ++i)
        model.InsertRow(names[i], kImageFile);
    model.BeginBatch();
    for (int i = 300; i < 450; ++i)
        model.InsertRow(names[i], kImageFile);
    ASSERT_EQ(model.RowCount(), 450);
    ASSERT_EQ(model.FindRow(names[400]) >= 0, true);
    for (int i = 450; i < 600; ++i)
        model.InsertRow(names[i], kImageFile);
    model.EndBatch();
    // The order does not depend on the order of insertion.
    TargetListModel other;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        other.InsertRow(*it, kImageFile);
    std::vector<std::string> expect = Rows(model);
    ASSERT_EQ(Rows(other), expect);
    ASSERT_EQ(expect[0], "/t/n0");
    ASSERT_EQ(expect[10], "/t/n10");

    std::vector<bool> selected(expect.size(), false);
    for (int step = 0; step < 3000 && !expect.empty(); ++step) {
        int n = static_cast<int>(expect.size());
        int row = static_cast<int>(rng() % n);
        switch (rng() % 4) {
        case 0:
        case 1: {
            bool on = rng() % 2;
            model.SetSelected(row, on);
            selected[row] = on;
            break;
        }
        case 2:
            model.DeleteRow(row);
            expect.erase(expect.begin() + row);
            selected.erase(selected.begin() + row);
            break;
        case 3: {
            int first = model.FirstSelectedRow();
            auto it = std::find(selected.begin(), selected.end(), true);
            ASSERT_EQ(first, it == selected.end() ? -1 : static_cast<int>(it - selected.begin()));
            break;
        }
        }
        ASSERT_EQ(model.RowCount(), static_cast<int>(expect.size()));
        ASSERT_EQ(model.SelectedCount(), std::count(selected.begin(), selected.end(), true));
    }
    EXPECT_EQ(Rows(model), expect);
    for (int i = 0; i < model.RowCount(); ++i)
        ASSERT_EQ(model.IsSelected(i), selected[i]) << i;
    model.ClearSelection();
    EXPECT_EQ(model.SelectedCount(), 0);
    EXPECT_EQ(model.FirstSelectedRow(), -1);
}

// A batch large enough to compute its keys on several threads sorts the
// same as rows inserted one by one.
TEST(TargetListModel, LargeBatchSortsLikeRowByRow)
{
    std::vector<std::string> names;
    for (int i = 0; i < 40000; ++i)
        names.push_back((i % 2 ? "/d/File" : "/d/file") + std::to_string((i * 7919) % 40000) + (i % 3 ? ".TXT" : ".txt"));
    TargetListModel batch;
    batch.BeginBatch();
    for (const auto& n : names)
        batch.InsertRow(n, kImageFile);
    batch.EndBatch();
    TargetListModel single;
    for (const auto& n : names)
        single.InsertRow(n, kImageFile);
    EXPECT_EQ(Rows(batch), Rows(single));
}

struct RecordingListener : TargetListListener {
    std::vector<std::string> events;
    const TargetListModel* model = nullptr;
    void RowAboutToBeInserted(int row) override { Log("+?", row); }
    void RowInserted(int row) override { Log("+", row); }
    void RowAboutToBeRemoved(int row) override { Log("-?", row); }
    void RowRemoved(int row) override { Log("-", row); }
    void ModelAboutToBeReset() override { events.push_back("reset?"); }
    void ModelReset() override { events.push_back("reset " + std::to_string(model->RowCount())); }
    // Each event with the row count the view would see at that moment.
    void Log(const char* what, int row)
    {
        events.push_back(std::string(what) + std::to_string(row) + "/" + std::to_string(model->RowCount()));
    }
};

TEST(TargetListModel, TellsTheViewBeforeAndAfterEachChange)
{
    TargetListModel model;
    RecordingListener listener;
    listener.model = &model;
    model.SetListener(&listener);
    model.InsertRow("/b", kImageFile);
    model.InsertRow("/a", kImageFile);
    model.DeleteRow(1);
    EXPECT_EQ(listener.events,
              (std::vector<std::string>{"+?0/0", "+0/1", "+?0/1", "+0/2", "-?1/2", "-1/1"}));

    // A large drop reaches the view as one reset, and clears the selection.
    model.SetSelected(0, true);
    listener.events.clear();
    FakeFiles fs;
    std::vector<std::string> drop;
    for (int i = 0; i < 150; ++i) {
        drop.push_back("/drop/" + std::to_string(i));
        fs.AddFile(drop.back());
    }
    TargetList list(fs.Query());
    list.Model().SetListener(&listener);
    listener.model = &list.Model();
    list.Model().InsertRow("/x", kImageFile);  // not through the list: the set stays empty
    list.Model().SetSelected(0, true);
    listener.events.clear();
    EXPECT_EQ(list.AddTargets(drop), 150);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"reset?", "reset 151"}));
    EXPECT_EQ(list.Model().SelectedCount(), 0);
}

// On a real file system: a symlink to a directory lists as a directory, a
// dangling link is skipped, a name that is not UTF-8 keeps its bytes.
TEST(TargetList, QueriesTheRealFileSystem)
{
    char tmpl[] = "/tmp/pelkoran-list-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string sub = dir + "/sub";
    std::string odd = dir + "/\xff\xfe.bin";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    std::ofstream(odd) << "x";
    ASSERT_EQ(symlink(sub.c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()), 0);

    TargetList list;
    EXPECT_EQ(list.AddTargets({sub, odd, dir + "/link", dir + "/dangling"}), 3);
    TargetListModel& m = list.Model();
    EXPECT_EQ(m.RowImage(m.FindRow(dir + "/link")), kImageDirectory);
    EXPECT_EQ(m.RowImage(m.FindRow(odd)), kImageFile);
    EXPECT_EQ(m.FindRow(dir + "/dangling"), -1);

    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
}  // namespace pelkoran
