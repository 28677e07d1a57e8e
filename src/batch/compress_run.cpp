// compress_run.cpp - the compression run: check the output directory, then pack the list from the top.
#include "compress_run.h"

#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pelkoran/messages.h"

#include "compress_target.h"

namespace pelkoran {

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Why a directory takes no new file, and the count after a long list.
constexpr const char kReasonNoPermission[] = "書き込みの許可がありません";
constexpr const char kReasonReadOnly[] = "読み取り専用のファイルシステムです";
constexpr const char kReasonNoSpace[] = "空きがありません";
constexpr const char kReasonOther[] = "ファイルを作れない場所です";
constexpr const char kMoreItems[] = "ほか %s 件";

// The message with its "%s" replaced by `values`, in order.
std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> values)
{
    std::string text;
    auto value = values.begin();
    for (std::size_t at; value != values.end() && (at = format.find("%s")) != std::string_view::npos;
         ++value) {
        text += format.substr(0, at);
        text += *value;
        format.remove_prefix(at + 2);
    }
    text += format;
    return text;
}

// Why a directory takes no new file, for kMsgCannotWriteDirectory.
std::string WriteFailureReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return RunText(kReasonNoPermission);
    case EROFS:
        return RunText(kReasonReadOnly);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return RunText(kReasonNoSpace);
    default:
        return RunText(kReasonOther);
    }
}

// A file's identity, when the path names one: its device and inode (on
// Windows its volume's serial number and its file index).
struct FileId {
    bool known = false;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;

    static FileId Of(const std::string& path)
    {
        if (path.empty() || path.find('\0') != std::string::npos)
            return {};
#ifdef _WIN32
        HANDLE h =
            ::CreateFileW(SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return {};
        BY_HANDLE_FILE_INFORMATION info{};
        const bool ok = ::GetFileInformationByHandle(h, &info);
        ::CloseHandle(h);
        if (!ok)
            return {};
        return {true, info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
#else
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return {};
        return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
#endif
    }
    bool SameAs(const FileId& other) const
    {
        return known && other.known && dev == other.dev && ino == other.ino;
    }
};

// An archive that this run wrote, and what it put there.
struct WrittenItem {
    std::string item;     // the item's path
    std::string archive;  // the archive's path, as the command named it
    FileId archive_id;    // the archive's identity right after it was written
    std::string stored;   // the item's top-level stored name (its base name)
};

// The item's top-level name in its archive: its base name.
std::string StoredName(const std::string& path)
{
    PathParts parts = SplitPath(path);
    return parts.name + parts.ext;
}

/*
 * RefusalOf - why the run does not hand `path` (whose archive is
 * `archive`) to the library, or the empty text. An item that is its own
 * archive (trimming "x.txt.lzh") would be read while its archive replaces
 * it; an item stored under the same name as an earlier item of this run in
 * the same archive would replace that item's members.
 */
std::string RefusalOf(const std::string& path, const std::string& archive,
                      const std::vector<WrittenItem>& written)
{
    const FileId archive_id = FileId::Of(archive);
    if (archive == path || archive_id.SameAs(FileId::Of(path)))
        return FormatMessage(RunText(kMsgArchiveIsItem), {path});
    const std::string stored = StoredName(path);
    for (const WrittenItem& earlier : written) {
        const bool same_archive = earlier.archive == archive || earlier.archive_id.SameAs(archive_id);
        if (same_archive && earlier.stored == stored)
            return FormatMessage(RunText(kMsgSameStoredName), {path, earlier.item, archive});
    }
    return {};
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

const std::vector<RunWording>& RunWordings()
{
    static const std::vector<RunWording> wordings = {
        {kMsgNoSuchDirectory, "The directory (%s) does not exist"},
        {kMsgNotADirectory, "Please choose a directory"},
        {kMsgAllDone, "All items have been packed."},
        {kMsgCannotWriteDirectory, "Cannot write to the directory (%s) (%s)"},
        {kMsgArchiveIsItem, "Cannot pack: the archive would be the item itself: %s"},
        {kMsgSameStoredName,
         "Not packing %s: it has the same name as %s, packed earlier in this run, in the archive %s and "
         "would replace it"},
        {kMsgSkipped, "These special files (FIFOs, sockets, devices) were not put into the archives:"},
        {kReasonNoPermission, "no permission to write"},
        {kReasonReadOnly, "read-only file system"},
        {kReasonNoSpace, "no space left"},
        {kReasonOther, "no file can be created there"},
        {kMoreItems, "and %s more"},
    };
    return wordings;
}

const char* RunText(const char* japanese)
{
    if (lzh::message_language() == lzh::Language::japanese)
        return japanese;
    for (const RunWording& w : RunWordings())
        if (std::strcmp(w.japanese, japanese) == 0)
            return w.english;
    return japanese;
}

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

#ifdef _WIN32
// On Windows a file made and removed at once (FILE_FLAG_DELETE_ON_CLOSE) is the
// only question: the folder's rights are what the system grants when asked.
std::string ProbeWritableDirectory(const std::string& dir)
{
    const std::string at = dir.empty() ? "." : dir;
    const std::string name = at + (at.back() == '\\' || at.back() == '/' ? "" : "\\") + ".pelkoran-probe-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::GetTickCount64());
    HANDLE h =
        ::CreateFileW(SystemPath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return {};
    }
    switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
        return WriteFailureReason(EACCES);
    case ERROR_WRITE_PROTECT:
        return WriteFailureReason(EROFS);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return WriteFailureReason(ENOSPC);
    default:
        return WriteFailureReason(0);
    }
}
#else
std::string ProbeWritableDirectory(const std::string& dir)
{
    const std::string at = dir.empty() ? "." : dir;
    if (::access(at.c_str(), W_OK | X_OK) != 0)
        return WriteFailureReason(errno);
    // Root passes access() everywhere; only a file made there tells (a
    // file system such as /proc takes none).
    std::string name = at + (at.back() == '/' ? "" : "/") + ".pelkoran-probe-XXXXXX";
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return WriteFailureReason(errno);
    ::close(fd);
    ::unlink(name.c_str());
    return {};
}
#endif

std::string SkippedMessage(const std::vector<std::string>& paths)
{
    constexpr std::size_t kShown = 20;
    std::string text = RunText(kMsgSkipped);
    for (std::size_t i = 0; i < paths.size() && i < kShown; ++i)
        text += "\n" + paths[i];
    if (paths.size() > kShown) {
        text += '\n';
        text += FormatMessage(RunText(kMoreItems), {std::to_string(paths.size() - kShown)});
    }
    return text;
}

/*
 * CheckOutputDir - see the header. Examples:
 *   kWindows " D:\pack\ "  -> "D:\pack" (queried)
 *   kWindows "D:\pack\\"   -> "D:\pack\" (only one backslash goes; queried)
 *   kWindows "C:\"         -> unchanged, never queried
 *   kPosix   "/"           -> unchanged, never queried (the root)
 *   kPosix   "/srv/out/"   -> "/srv/out" (queried)
 *   kPosix   "out\"        -> "out\" (a backslash is part of the name; queried)
 */
std::string CheckOutputDir(std::string& dir, const StatusQuery& query, PathRules rules,
                           const DirectoryProbe& probe)
{
    dir = TrimWhiteSpace(dir);
    const bool windows = rules == PathRules::kWindows;
    const bool drive_root = windows && dir.size() == 3 && dir[1] == ':' && dir[2] == '\\';
    if (drive_root)
        return {};
    if (windows || dir != "/") {
        const char separator = windows ? '\\' : '/';
        if (!dir.empty() && dir.back() == separator)
            dir.pop_back();
        PathStatus status = query(dir);
        if (!status.exists)
            return FormatMessage(RunText(kMsgNoSuchDirectory), {dir});
        if (!status.is_directory)
            return RunText(kMsgNotADirectory);
    }
    if (probe) {
        std::string why = probe(dir);
        if (!why.empty())
            return FormatMessage(RunText(kMsgCannotWriteDirectory), {dir, why});
    }
    return {};
}

/*
 * OnCompress - the run. The target list itself is the work queue: each
 * item leaves it right after its own archive was written, so a run that
 * stops leaves exactly the items that were not packed.
 */
RunResult OnCompress(const RunOptions& options, RunReporter& reporter, lzh::ArchiverWindow* window,
                     TargetList& targets, ArchiverLibrary& library, const StatusQuery& query,
                     const DirectoryProbe& probe)
{
    if (RunningMark::IsRunning(targets))
        return RunResult::kAlreadyRunning;
    RunningMark mark(targets);

    const bool same_place = options.same_place;
    std::string output_dir = TrimWhiteSpace(options.output_dir);
    const bool trim_ext = options.trim_ext;

    if (!same_place) {
        std::string message = CheckOutputDir(output_dir, query, kPlatformPathRules, probe);
        if (!message.empty()) {
            reporter.Message(message, MessageType::kError);
            reporter.FocusOutputDir();
            return RunResult::kOutputDirRejected;
        }
    }

    std::vector<WrittenItem> written;
    (void)reporter.TakeSkipped();  // what an earlier run left behind
    RunResult result = RunResult::kCompleted;
    while (targets.Count() > 0) {
        std::string path = targets.FirstText();
        const int packed = static_cast<int>(written.size());
        reporter.ItemStarting(packed + 1, packed + targets.Count());
        const std::string archive = ArchivePath(path, same_place, trim_ext, output_dir, query(path));
        if (std::string refusal = RefusalOf(path, archive, written); !refusal.empty()) {
            reporter.ItemFailed(refusal);
            result = RunResult::kItemFailed;
            break;
        }
        if (!CompressTarget(path, same_place, trim_ext, output_dir, window, library, query,
                            options.switches)) {
            result = RunResult::kItemFailed;
            break;
        }
        written.push_back({path, archive, FileId::Of(archive), StoredName(path)});
        targets.RemoveTarget(path);
        reporter.ItemDone(path, archive);
    }
    if (result == RunResult::kCompleted)
        reporter.Message(RunText(kMsgAllDone), MessageType::kInformation);
    if (const std::vector<std::string> skipped = reporter.TakeSkipped(); !skipped.empty())
        reporter.Message(SkippedMessage(skipped), MessageType::kError);
    return result;
}

}  // namespace pelkoran
