// compress_run.cpp - the compression run: check the output directory, then pack the list from the top.
#include "compress_run.h"

#include <algorithm>
#include <vector>

#include "compress_target.h"

namespace pelkoran {

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The message with its one "%s" replaced by `value`.
std::string FormatMessage(std::string_view format, const std::string& value)
{
    std::size_t at = format.find("%s");
    if (at == std::string_view::npos)
        return std::string(format);
    std::string text(format.substr(0, at));
    text += value;
    text += format.substr(at + 2);
    return text;
}

// The lists that a run is working on, on this thread.
thread_local std::vector<const TargetList*> g_running;

// Marks `list` as being run for the life of the object.
class RunningMark {
public:
    explicit RunningMark(const TargetList& list) : list_(list) { g_running.push_back(&list_); }
    ~RunningMark() { g_running.erase(std::find(g_running.begin(), g_running.end(), &list_)); }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;
    static bool IsRunning(const TargetList& list)
    {
        return std::find(g_running.begin(), g_running.end(), &list) != g_running.end();
    }

private:
    const TargetList& list_;
};

}  // namespace

std::string TrimWhiteSpace(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && IsWhiteSpace(text[end - 1]))
        --end;
    std::size_t begin = 0;
    while (begin < end && IsWhiteSpace(text[begin]))
        ++begin;
    return text.substr(begin, end - begin);
}

std::string SkippedMessage(const std::vector<std::string>& paths)
{
    constexpr std::size_t kShown = 20;
    std::string text = kMsgSkipped;
    for (std::size_t i = 0; i < paths.size() && i < kShown; ++i)
        text += "\n" + paths[i];
    if (paths.size() > kShown)
        text += "\nほか " + std::to_string(paths.size() - kShown) + " 件";
    return text;
}

/*
 * CheckOutputDir - see the header. Examples:
 *   " D:\pack\ "  -> "D:\pack" (queried)
 *   "D:\pack\\"   -> "D:\pack\" (only one backslash goes; queried)
 *   "/"           -> unchanged, never queried (the root)
 *   "C:\"         -> unchanged, never queried where drives exist; else "C:" (queried)
 *   "/srv/out/"   -> "/srv/out" (queried)
 */
std::string CheckOutputDir(std::string& dir, const StatusQuery& query)
{
    dir = TrimWhiteSpace(dir);
    if (kHasDriveRoots && dir.size() == 3 && dir[1] == ':' && dir[2] == '\\')
        return {};
    if (dir == "/")
        return {};
    char separator = IsWindowsStylePath(dir) ? '\\' : '/';
    if (!dir.empty() && dir.back() == separator)
        dir.pop_back();
    PathStatus status = query(dir);
    if (!status.exists)
        return FormatMessage(kMsgNoSuchDirectory, dir);
    if (!status.is_directory)
        return kMsgNotADirectory;
    return {};
}

/*
 * OnCompress - the run. The target list itself is the work queue: each
 * item leaves it right after its own archive was written, so a run that
 * stops leaves exactly the items that were not packed.
 */
RunResult OnCompress(CompressDialog& dialog, TargetList& targets, ArchiverLibrary& library,
                     const StatusQuery& query)
{
    if (RunningMark::IsRunning(targets))
        return RunResult::kAlreadyRunning;
    RunningMark mark(targets);

    dialog.UpdateData(true);
    bool same_place = dialog.IsSamePlaceChecked();
    std::string output_dir = TrimWhiteSpace(dialog.OutputDir());
    bool trim_ext = dialog.TrimExt();

    if (!same_place) {
        std::string message = CheckOutputDir(output_dir, query);
        if (!message.empty()) {
            dialog.MessageBox(message, MessageType::kError);
            dialog.FocusOutputDir();
            return RunResult::kOutputDirRejected;
        }
    }

    (void)dialog.TakeSkipped();   // what an earlier run left behind
    RunResult result = RunResult::kCompleted;
    while (targets.Count() > 0) {
        std::string path = targets.FirstText();
        if (!CompressTarget(path, same_place, trim_ext, output_dir, dialog.Window(), library, query,
                            dialog.Switches())) {
            result = RunResult::kItemFailed;
            break;
        }
        targets.RemoveTarget(path);
    }
    if (result == RunResult::kCompleted)
        dialog.MessageBox(kMsgAllDone, MessageType::kInformation);
    if (const std::vector<std::string> skipped = dialog.TakeSkipped(); !skipped.empty())
        dialog.MessageBox(SkippedMessage(skipped), MessageType::kError);
    return result;
}

}  // namespace pelkoran
