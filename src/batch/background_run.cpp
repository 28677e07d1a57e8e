// background_run.cpp - the compression run on a worker thread, reporting to the front end's thread.
#include "background_run.h"

#include <future>
#include <utility>

namespace pelkoran {

namespace {

/*
 * Relay - the worker's reporter: each call runs on the front end's thread
 * and is waited for. ItemDone first removes the item from the front end's
 * list.
 */
class Relay : public RunReporter {
public:
    Relay(BackgroundRun::Post post, RunReporter& reporter, TargetList& targets)
        : post_(std::move(post)), reporter_(reporter), targets_(targets)
    {}

    void Message(const std::string& text, MessageType type) override
    {
        Call([&] { reporter_.Message(text, type); });
    }
    void FocusOutputDir() override
    {
        Call([&] { reporter_.FocusOutputDir(); });
    }
    void ItemStarting(int number, int count) override
    {
        Call([&] { reporter_.ItemStarting(number, count); });
    }
    void ItemFailed(const std::string& reason) override
    {
        Call([&] { reporter_.ItemFailed(reason); });
    }
    std::vector<std::string> TakeSkipped() override
    {
        std::vector<std::string> skipped;
        Call([&] { skipped = reporter_.TakeSkipped(); });
        return skipped;
    }
    void ItemDone(const std::string& path, const std::string& archive) override
    {
        Call([&] {
            targets_.RemoveTarget(path);
            reporter_.ItemDone(path, archive);
        });
    }

private:
    // Runs `task` on the front end's thread and returns once it has run.
    template <typename Task>
    void Call(Task task)
    {
        std::promise<void> done;
        post_([&] {
            task();
            done.set_value();
        });
        done.get_future().wait();
    }

    BackgroundRun::Post post_;
    RunReporter& reporter_;
    TargetList& targets_;
};

}  // namespace

BackgroundRun::BackgroundRun(Post post) : post_(std::move(post)) {}

BackgroundRun::~BackgroundRun()
{
    if (worker_.joinable())
        worker_.join();
}

bool BackgroundRun::Start(const RunOptions& options, RunReporter& reporter, lzh::ArchiverWindow* window,
                          TargetList& targets, ArchiverLibrary& library, StatusQuery query,
                          DirectoryProbe probe, Finished finished)
{
    if (running_)
        return false;
    if (worker_.joinable())
        worker_.join();
    running_ = true;
    // The worker's own list: the same items in the same order, on the
    // worker's thread only.
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(targets.Count()));
    for (int row = 0; row < targets.Count(); ++row)
        items.push_back(targets.Rows().RowText(row));
    worker_ = std::thread([this, options, &reporter, window, &targets, &library, query = std::move(query),
                           probe = std::move(probe), finished = std::move(finished),
                           items = std::move(items)]() mutable {
        RunResult result;
        {
            // Listed as they stand in the front end's list, whatever the
            // file system says at the start: an item that went away fails in the
            // run, as it would in the list itself.
            TargetList work([](const std::string&) { return PathStatus{true, false}; });
            work.AddTargets(items);
            Relay relay(post_, reporter, targets);
            result = OnCompress(options, relay, window, work, library, query, probe);
        }
        post_([this, result, finished = std::move(finished)] {
            if (worker_.joinable())
                worker_.join();
            running_ = false;
            if (finished)
                finished(result);
        });
    });
    return true;
}

void BackgroundRun::Wait(const std::function<void()>& process_events)
{
    while (running_)
        process_events();
}

}  // namespace pelkoran
