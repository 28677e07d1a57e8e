// test_target_list.cpp - the target list: each path once, the sorted order, the treap, the real status query.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <random>

#include "batch_fakes.h"
#include "target_list.h"
#ifndef _WIN32
#include "test_support.h"
#endif

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

// The same path twice in one drop and again later is listed once; case
// makes another path; a path whose status fails is not listed.
TEST(TargetList, ListsEachExistingPathOnceAndKeepsCase)
{
    FakeFiles fs;
    fs.AddFile("/w/memo.txt");
    fs.AddFile("/w/MEMO.txt");
    TargetList list(fs.Query());
    EXPECT_EQ(list.AddTargets({"/w/memo.txt", "/w/memo.txt", "/w/MEMO.txt", "/w/gone.txt", ""}), 2);
    EXPECT_FALSE(list.AddTarget("/w/memo.txt"));
    EXPECT_EQ(Rows(list.Model()), (std::vector<std::string>{"/w/MEMO.txt", "/w/memo.txt"}));
    EXPECT_FALSE(list.Contains("/w/gone.txt"));
    EXPECT_EQ(std::count(fs.queried.begin(), fs.queried.end(), "/w/memo.txt"), 1);
}

// Numbers as numbers, case ignored, the bytes breaking ties; names that are
// not UTF-8 list too, byte-exact, in an order that does not depend on the drop's.
TEST(TargetList, OrdersNumbersAsNumbersIgnoringCaseAndListsNamesThatAreNotUtf8)
{
    FakeFiles fs;
    const std::vector<std::string> sorted = {"/d/a.txt", "/d/B.txt", "/d/file1", "/d/File2", "/d/file10",
                                             "/d/Photo", "/d/photo", "/d/z9",    "/d/z10"};
    std::vector<std::string> odd = {"/d/\377a", "/d/\376a", "/d/\x82\xa0.txt"};
    for (const auto& p : sorted)
        fs.AddFile(p);
    for (const auto& p : odd)
        fs.AddFile(p);
    std::vector<std::string> drop = sorted;
    std::shuffle(drop.begin(), drop.end(), std::mt19937(7));
    TargetList list(fs.Query());
    list.AddTargets(drop);
    EXPECT_EQ(Rows(list.Model()), sorted);

    list.AddTargets(odd);
    TargetList backward(fs.Query());
    backward.AddTargets({odd.rbegin(), odd.rend()});
    backward.AddTargets(sorted);
    EXPECT_EQ(Rows(list.Model()), Rows(backward.Model()));
    for (const auto& p : odd)
        EXPECT_GE(list.Model().FindRow(p), 0) << p;
}

// The treap against a plain vector: rows inserted one by one and in a batch
// large enough to compute its keys on several threads (read in the middle,
// so its pending rows merge early), then random selections and deletions.
TEST(TargetListModel, AgreesWithPlainVectorUnderRandomOperations)
{
    std::mt19937 rng(42);
    std::vector<std::string> names;
    for (int i = 0; i < 17000; ++i)
        names.push_back((i % 2 ? "/t/N" : "/t/n") + std::to_string(i));
    std::shuffle(names.begin(), names.end(), rng);

    TargetListModel model;
    for (int i = 0; i < 300; ++i)
        model.InsertRow(names[i], kImageFile);
    model.BeginBatch();
    for (int i = 300; i < 450; ++i)
        model.InsertRow(names[i], kImageFile);
    ASSERT_GE(model.FindRow(names[400]), 0);
    for (std::size_t i = 450; i < names.size(); ++i)
        model.InsertRow(names[i], kImageFile);
    model.EndBatch();
    TargetListModel single;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        single.InsertRow(*it, kImageFile);
    std::vector<std::string> expect = Rows(model);
    ASSERT_EQ(Rows(single), expect);
    ASSERT_EQ(expect[1], "/t/N1");
    ASSERT_EQ(expect[10], "/t/n10");

    std::vector<bool> selected(expect.size(), false);
    for (int step = 0; step < 3000; ++step) {
        int row = static_cast<int>(rng() % expect.size());
        switch (rng() % 4) {
        case 0:
        case 1:
            selected[row] = rng() % 2;
            model.SetSelected(row, selected[row]);
            break;
        case 2:
            model.DeleteRow(row);
            expect.erase(expect.begin() + row);
            selected.erase(selected.begin() + row);
            break;
        case 3: {
            auto it = std::find(selected.begin(), selected.end(), true);
            ASSERT_EQ(model.FirstSelectedRow(), it == selected.end() ? -1 : int(it - selected.begin()));
        }
        }
        ASSERT_EQ(model.RowCount(), static_cast<int>(expect.size()));
        ASSERT_EQ(model.SelectedCount(), std::count(selected.begin(), selected.end(), true));
    }
    EXPECT_EQ(Rows(model), expect);
    for (int i = 0; i < model.RowCount(); ++i)
        ASSERT_EQ(model.IsSelected(i), selected[i]) << i;
}

// A view learns of each row change before and after it, with the row count
// of that moment (the large-drop reset is checked by the window's tests).
TEST(TargetListModel, TellsTheViewBeforeAndAfterEachChange)
{
    struct Recorder : TargetListListener {
        const TargetListModel* model = nullptr;
        std::vector<std::string> events;
        void Log(const char* what, int row)
        {
            events.push_back(what + std::to_string(row) + "/" + std::to_string(model->RowCount()));
        }
        void RowAboutToBeInserted(int row) override { Log("+?", row); }
        void RowInserted(int row) override { Log("+", row); }
        void RowAboutToBeRemoved(int row) override { Log("-?", row); }
        void RowRemoved(int row) override { Log("-", row); }
    };
    TargetListModel model;
    Recorder recorder;
    recorder.model = &model;
    model.SetListener(&recorder);
    model.InsertRow("/b", kImageFile);
    model.InsertRow("/a", kImageFile);
    model.DeleteRow(1);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"+?0/0", "+0/1", "+?0/1", "+0/2", "-?1/2", "-1/1"}));
}

#ifndef _WIN32
// The real status query: a link to a directory lists as a directory, a
// dangling link is skipped, a name that is not UTF-8 keeps its bytes.
TEST(TargetList, QueriesTheRealFileSystem)
{
    test_support::TempDir dir;
    std::string sub = dir / "sub", odd = dir / "\xff\xfe.bin";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    test_support::write_file(odd, "x");
    ASSERT_EQ(symlink(sub.c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);

    TargetList list;
    EXPECT_EQ(list.AddTargets({sub, odd, dir / "link", dir / "dangling"}), 3);
    TargetListModel& m = list.Model();
    EXPECT_EQ(m.RowImage(m.FindRow(dir / "link")), kImageDirectory);
    EXPECT_EQ(m.RowImage(m.FindRow(odd)), kImageFile);
    EXPECT_FALSE(list.Contains(dir / "dangling"));
}
#endif

}  // namespace
}  // namespace pelkoran
