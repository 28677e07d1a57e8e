// window_run.cpp - the run's reporter and library window for the Windows window.
#include "window_run.h"

#include <utility>

#include "method_switches.h"

namespace pelkoran::win {

namespace {

class WindowReporter : public RunReporter, public lzh::ArchiverWindow {
public:
    explicit WindowReporter(PackerWindow& window) : window_(window) {}
    ~WindowReporter() override
    {
        if (started_)
            window_.ProgressFinish();
    }

    // RunReporter
    void Message(const std::string& text, MessageType type) override
    {
        window_.Message(text, type == MessageType::kInformation ? BoxType::kInformation : BoxType::kError);
    }
    void FocusOutputDir() override { window_.FocusOutputDir(); }
    void ItemStarting(int number, int count) override
    {
        if (!started_) {
            window_.ProgressStart(count);
            started_ = true;
        }
        path_ = window_.Targets().Model().RowText(0);
        window_.ProgressItem(number, count, path_);
        number_ = number;
        count_ = count;
    }
    void ItemFailed(const std::string& reason) override { on_failure(reason); }
    std::vector<std::string> TakeSkipped() override { return std::exchange(skipped_, {}); }

    // lzh::ArchiverWindow
    bool on_progress(const lzh::Progress&) override
    {
        window_.ProgressItem(number_, count_, path_);
        return !window_.Cancelled();
    }
    void on_failure(std::string_view reason) override
    {
        if (!window_.Cancelled())
            window_.Message(std::string(reason), BoxType::kError);
    }
    void on_skipped(std::string_view path) override { skipped_.emplace_back(path); }

private:
    PackerWindow& window_;
    bool started_ = false;
    int number_ = 0;
    int count_ = 0;
    std::string path_;
    std::vector<std::string> skipped_;
};

}  // namespace

RunResult RunFromWindow(PackerWindow& window, ArchiverLibrary& library, const StatusQuery& query,
                        const DirectoryProbe& probe)
{
    RunOptions options;
    options.same_place = window.IsSamePlaceChecked();
    options.output_dir = window.OutputDir();
    options.trim_ext = window.TrimExt();
    options.switches = CommandSwitches(window.Method(), window.Level(), window.Verify());
    WindowReporter reporter(window);
    return OnCompress(options, reporter, &reporter, window.Targets(), library, query, probe);
}

}  // namespace pelkoran::win
