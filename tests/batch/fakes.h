// fakes.h - a fake status query, archiver library and dialog for the batch tests.
#pragma once

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

    StatusQuery Query()
    {
        return [this](const std::string& path) {
            queried.push_back(path);
            auto it = entries.find(path);
            return it == entries.end() ? PathStatus{} : it->second;
        };
    }
};

// An archiver library that records the command texts and fails the call
// numbered `fail_at` (1-based; 0: never).
struct FakeLibrary : ArchiverLibrary {
    std::vector<std::string> commands;
    std::vector<lzh::ArchiverWindow*> windows;
    std::vector<std::uint32_t> reply_sizes;
    int fail_at = 0;

    int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                std::uint32_t reply_size) override
    {
        commands.push_back(text);
        windows.push_back(window);
        reply_sizes.push_back(reply_size);
        if (reply && reply_size > 0)
            reply[0] = '\0';
        return static_cast<int>(commands.size()) == fail_at ? 1 : 0;
    }
    std::uint16_t GetVersion() override { return 253; }
};

// The dialog as the run sees it; records what the run did to it.
struct FakeDialog : CompressDialog {
    // The controls.
    bool same_place = true;
    std::string output_dir_control;
    bool trim_control = false;
    // The members, filled by UpdateData(true).
    std::string output_dir_member;
    bool trim_member = false;
    // What happened.
    std::vector<std::string> calls;
    std::vector<std::pair<std::string, MessageType>> messages;
    lzh::ArchiverWindow* window = reinterpret_cast<lzh::ArchiverWindow*>(0x1234);

    void UpdateData(bool save) override
    {
        calls.push_back(save ? "UpdateData(true)" : "UpdateData(false)");
        if (save) {
            output_dir_member = output_dir_control;
            trim_member = trim_control;
        }
    }
    bool IsSamePlaceChecked() const override { return same_place; }
    std::string OutputDir() const override { return output_dir_member; }
    bool TrimExt() const override { return trim_member; }
    void MessageBox(const std::string& text, MessageType type) override
    {
        calls.push_back("MessageBox");
        messages.emplace_back(text, type);
    }
    void FocusOutputDir() override { calls.push_back("FocusOutputDir"); }
    lzh::ArchiverWindow* Window() override { return window; }
};

}  // namespace pelkoran::testing
