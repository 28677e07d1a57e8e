// test_background_run.cpp - the run on a worker thread: reports on the front end's thread, in order.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "background_run.h"
#include "batch_fakes.h"

namespace pelkoran {
namespace {

using testing::FakeFiles;
using testing::FakeFrontEnd;
using testing::FakeLibrary;

// The front end's event queue: tasks posted from any thread, run by Pump()
// on the thread that calls it.
struct EventQueue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> tasks;

    BackgroundRun::Post Post()
    {
        return [this](std::function<void()> task) {
            std::lock_guard lock(mutex);
            tasks.push_back(std::move(task));
            ready.notify_one();
        };
    }
    void Pump()
    {
        std::unique_lock lock(mutex);
        ready.wait(lock, [&] { return !tasks.empty(); });
        std::function<void()> task = std::move(tasks.front());
        tasks.pop_front();
        lock.unlock();
        task();
    }
};

// A reporter that notes the thread of each call and the list as it stood.
struct ThreadFrontEnd : FakeFrontEnd {
    std::thread::id front_thread = std::this_thread::get_id();
    bool all_on_front_thread = true;
    TargetList* list = nullptr;
    std::vector<int> counts_at_done;

    void Check() { all_on_front_thread &= std::this_thread::get_id() == front_thread; }
    void Message(const std::string& text, MessageType type) override
    {
        Check();
        FakeFrontEnd::Message(text, type);
    }
    void ItemStarting(int number, int count) override
    {
        Check();
        FakeFrontEnd::ItemStarting(number, count);
    }
    void ItemDone(const std::string& path, const std::string& archive) override
    {
        Check();
        counts_at_done.push_back(list->Count());
        FakeFrontEnd::ItemDone(path, archive);
    }
};

// The library works on another thread; the reports come on the front end's,
// in the run's order; each packed item has left the front end's list before
// ItemDone; the run ends through `finished`. An item that went away after it
// was listed is packed (and failed by the library) as the list has it, never
// dropped unseen.
TEST(BackgroundRun, WorksOnAWorkerAndReportsOnTheFrontEndsThread)
{
    FakeFiles fs;
    FakeLibrary lib;
    ThreadFrontEnd front;
    TargetList list{fs.Query()};
    front.list = &list;
    for (const char* p : {"/w/a.txt", "/w/b.txt", "/w/c.txt"}) {
        fs.AddFile(p);
        list.AddTarget(p);
    }
    fs.entries.erase("/w/c.txt");  // gone after it was listed
    std::vector<std::thread::id> library_threads;
    lib.behaviour = [&](lzh::ArchiverWindow*, const std::string& text) {
        library_threads.push_back(std::this_thread::get_id());
        return text.find("c.txt") != std::string::npos ? 2 : 0;
    };

    EventQueue events;
    BackgroundRun run(events.Post());
    std::optional<RunResult> ended;
    ASSERT_TRUE(run.Start(front.Options(), front, front.window, list, lib, fs.Query(), fs.Probe(),
                          [&](RunResult result) { ended = result; }));
    EXPECT_TRUE(run.Running());
    EXPECT_FALSE(run.Start(front.Options(), front, front.window, list, lib, fs.Query(), fs.Probe(), {}));
    run.Wait([&] { events.Pump(); });

    EXPECT_FALSE(run.Running());
    EXPECT_EQ(ended, RunResult::kItemFailed);
    EXPECT_TRUE(front.all_on_front_thread);
    ASSERT_EQ(library_threads.size(), 3u);
    EXPECT_NE(library_threads[0], front.front_thread);
    EXPECT_EQ(front.items_started, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(front.done, (std::vector<std::string>{"/w/a.txt", "/w/b.txt"}));
    EXPECT_EQ(front.counts_at_done, (std::vector<int>{2, 1}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FirstText(), "/w/c.txt");
    EXPECT_TRUE(front.messages.empty());

    // Again over what is left, once the item is back: packed, then the
    // completion message on the front end's thread.
    fs.AddFile("/w/c.txt");
    lib.behaviour = nullptr;
    ended.reset();
    ASSERT_TRUE(run.Start(front.Options(), front, front.window, list, lib, fs.Query(), fs.Probe(),
                          [&](RunResult result) { ended = result; }));
    run.Wait([&] { events.Pump(); });
    EXPECT_EQ(ended, RunResult::kCompleted);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(front.messages,
              (std::vector<std::pair<std::string, MessageType>>{{kMsgAllDone, MessageType::kInformation}}));
    EXPECT_TRUE(front.all_on_front_thread);
}

}  // namespace
}  // namespace pelkoran
