// background_run.h - the compression run on a worker thread, reporting to the front end's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compress_run.h"

namespace pelkoran {

/*
 * BackgroundRun - OnCompress on a worker thread, for a front end with an
 * event loop (the window, `pelkoran --pack`).
 *
 * The worker packs a copy of the list's items. Every call of the run's
 * reporter is carried to the front end's thread through `post` and waited
 * for there, so the front end's reporter (its message boxes, focus, the
 * list) is only ever touched on its own thread, and the calls come in the
 * run's order: the next step waits until a message box was closed. An item
 * packed by the worker leaves the front end's list right then, before the
 * reporter hears ItemDone. The library's window is called on the worker
 * thread: it must be safe there.
 *
 * When the run has ended, `finished` is called on the front end's thread
 * (through `post`) with how it ended; the worker thread is joined by then.
 */
class BackgroundRun {
public:
    // Runs `task` on the front end's thread soon (a queued call); never
    // runs it at once.
    using Post = std::function<void(std::function<void()> task)>;
    using Finished = std::function<void(RunResult result)>;

    explicit BackgroundRun(Post post);
    // Waits for a run that is still under way: call Wait() first where
    // posted tasks must keep running meanwhile.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Starts a run over the items of `targets` (which must outlive it) with
    // options read once. Returns false, starting nothing, while a run is
    // under way.
    bool Start(const RunOptions& options, RunReporter& reporter, lzh::ArchiverWindow* window,
               TargetList& targets, ArchiverLibrary& library, StatusQuery query, DirectoryProbe probe,
               Finished finished);
    // Whether a run was started and `finished` has not been called yet.
    bool Running() const { return running_; }
    // Runs `process_events` (which lets posted tasks run) until the run has
    // finished; returns at once when none is under way.
    void Wait(const std::function<void()>& process_events);

private:
    Post post_;
    std::thread worker_;
    bool running_ = false;  // on the front end's thread
};

}  // namespace pelkoran
