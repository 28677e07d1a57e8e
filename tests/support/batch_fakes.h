// batch_fakes.h - stand-ins for the file system, the archiver library and a front end (batch and window tests).
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archiver_library.h"
#include "compress_run.h"
#include "path_status.h"

namespace pelkoran::testing {

// A file system made of a table: path -> kind. Records every query.
struct FakeFiles {
    std::map<std::string, PathStatus> entries;
    std::vector<std::string> queried;

    void AddFile(const std::string& path) { entries[path] = PathStatus{true, false}; }
    void AddDir(const std::string& path) { entries[path] = PathStatus{true, true}; }
    bool Queried(const std::string& path) const
    {
        return std::find(queried.begin(), queried.end(), path) != queried.end();
    }
    // The output directory probe: every directory takes new files.
    DirectoryProbe Probe()
    {
        return [](const std::string&) { return std::string(); };
    }
    StatusQuery Query()
    {
        return [this](const std::string& path) {
            queried.push_back(path);
            auto it = entries.find(path);
            return it == entries.end() ? PathStatus{} : it->second;
        };
    }
};

// The library's stand-in: records each call; `behaviour` decides its result
// (unset: every archive is written).
struct FakeLibrary : ArchiverLibrary {
    std::vector<std::string> commands;
    std::vector<lzh::ArchiverWindow*> windows;
    std::uint16_t version = 300;
    std::string name = "fake-lzh";
    std::function<int(lzh::ArchiverWindow*, const std::string&)> behaviour;

    int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                std::uint32_t reply_size) override
    {
        commands.push_back(text);
        windows.push_back(window);
        if (reply && reply_size > 0)
            reply[0] = '\0';
        return behaviour ? behaviour(window, text) : 0;
    }
    std::uint16_t GetVersion() override { return version; }
    std::string GetName() override { return name; }
};

// A front end as the run sees it: its options, its window, and a reporter
// that records what the run reports.
struct FakeFrontEnd : RunReporter {
    bool same_place = true;
    std::string output_dir;
    bool trim = false;
    std::vector<std::pair<std::string, MessageType>> messages;
    std::vector<std::string> refusals;               // ItemFailed
    std::vector<std::pair<int, int>> items_started;  // ItemStarting
    std::vector<std::string> done;                   // ItemDone: the items
    int focus_calls = 0;                             // FocusOutputDir
    lzh::ArchiverWindow* window = reinterpret_cast<lzh::ArchiverWindow*>(0x1234);

    RunOptions Options() const { return {same_place, output_dir, trim, {}}; }
    void Message(const std::string& text, MessageType type) override { messages.emplace_back(text, type); }
    void FocusOutputDir() override { ++focus_calls; }
    void ItemStarting(int number, int count) override { items_started.emplace_back(number, count); }
    void ItemFailed(const std::string& reason) override { refusals.push_back(reason); }
    void ItemDone(const std::string& path, const std::string&) override { done.push_back(path); }
};

}  // namespace pelkoran::testing
