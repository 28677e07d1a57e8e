// walk_windows.cpp - the directory walk behind "-d1", through the Windows API.
//
// One thread walks each directory with FindFirstFileExW, the names of one
// directory sorted byte-wise as UTF-8, each directory before what it holds.
// A reparse point below an item that names another file (a symbolic link or
// a junction) is never followed: it is left out and reported as special files
// are, since its target is a Windows path (a drive letter, a volume) that
// means nothing inside an archive. Every directory the walk goes into is
// opened first without following a reparse point, checked to be a directory
// still, and kept open without delete sharing while its names are read, so
// it cannot be renamed or swapped for a link meanwhile.
#include "fs/walk_common.h"

#include "fs/file_io.h"
#include "fs/names.h"
#include "fs/windows_path.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <optional>
#include <set>

namespace lzh {

namespace {

// One directory entry as FindFirstFileExW lists it.
struct Found {
    std::string name;  // UTF-8
    DWORD attributes = 0;
    DWORD reparse_tag = 0;
    std::int64_t mtime = 0;
    std::uint64_t size = 0;
};

// Opens directory `path` for the walk: a reparse point is followed only
// when `follow`; anything but a directory throws, naming it.
Handle open_directory(const std::string& path, bool follow)
{
    Handle h(::CreateFileW(long_path(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                           nullptr));
    if (!h)
        throw Error(Message::cannot_read_directory, {shown_path(path)}, errno_of(::GetLastError()));
    return h;
}

// Throws unless the directory open as `h` is a directory (no link put in its place).
void check_directory(HANDLE h, const std::string& path, FileStat* out = nullptr)
{
    FileStat st;
    if (!handle_status(h, st))
        throw Error(Message::cannot_read_directory, {shown_path(path)}, errno);
    if (!S_ISDIR(st.st_mode))
        throw Error(Message::directory_swapped, {shown_path(path)});
    if (out)
        *out = st;
}

// The entries of directory `dir`, "." and ".." left out, sorted by name.
template <typename Tick>
std::vector<Found> read_names(const std::string& dir, Tick&& tick)
{
    std::wstring pattern = long_path(dir);
    if (pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    std::vector<Found> names;
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES)
            return names;
        throw Error(Message::cannot_read_directory, {shown_path(dir)}, errno_of(err));
    }
    std::size_t read = 0;
    do {
        if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0)
            continue;
        Found f;
        f.name = from_wide(fd.cFileName);
        f.attributes = fd.dwFileAttributes;
        f.reparse_tag = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? fd.dwReserved0 : 0;
        f.mtime = unix_time(fd.ftLastWriteTime);
        f.size = (std::uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        names.push_back(std::move(f));
        if ((++read & 1023) == 0)
            tick();
    } while (::FindNextFileW(find, &fd));
    const DWORD err = ::GetLastError();
    ::FindClose(find);
    if (err != ERROR_NO_MORE_FILES)
        throw Error(Message::cannot_read_directory, {shown_path(dir)}, errno_of(err));
    std::sort(names.begin(), names.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
    return names;
}

// Entries get a device and inode no file on a volume has (a volume's serial
// has 32 bits), unless they may be the excluded file: that one is looked up.
constexpr std::uint64_t kWalkDevice = std::uint64_t(1) << 63;

class Walker {
public:
    Walker(WalkResult& result, const FileStat* exclude, WalkPoll& poll)
        : result_(result), exclude_(exclude), poll_(poll)
    {}

    /*
     * Examines `f`, found in the directory at `path` (its own path) and
     * stored as `stored`, into `e`. False: left out (the excluded file, or a
     * link, a junction or a device, listed in `skipped`).
     */
    bool examine(const Found& f, const std::string& path, const std::string& stored, NewEntry& e)
    {
        bool surrogate = f.reparse_tag != 0 && IsReparseTagNameSurrogate(f.reparse_tag);
        if ((f.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && f.reparse_tag == 0) {
            // The listing did not say which kind (Wine's does not): ask the
            // entry itself, and follow no directory that cannot tell.
            // A directory is taken for a link unless it says itself that it is
            // a reparse point of another kind (Wine's links to directories
            // say nothing when opened).
            FileStat st;
            const bool known = lstat_path(path, st);
            if (!known && errno == ENOENT)
                return false;  // gone since the directory was read
            if (f.attributes & FILE_ATTRIBUTE_DIRECTORY)
                surrogate =
                    !known || S_ISLNK(st.st_mode) || !(st.st_attributes & FILE_ATTRIBUTE_REPARSE_POINT);
            else
                surrogate = known && S_ISLNK(st.st_mode);
        }
        if (surrogate || (f.attributes & FILE_ATTRIBUTE_DEVICE)) {
            result_.skipped.push_back(path);
            return false;
        }
        const bool dir = (f.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.kind = dir ? NewEntry::Kind::directory : NewEntry::Kind::file;
        e.st.mode =
            dir ? (S_IFDIR | 0755) : (S_IFREG | ((f.attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644));
        e.st.mtime = f.mtime;
        e.st.size = dir ? 0 : f.size;
        e.st.dev = kWalkDevice;
        e.st.ino = ++serial_;
        if (!dir && exclude_ && std::uint64_t(exclude_->st_size) == f.size && exclude_->st_mtime == f.mtime) {
            FileStat st;
            if (lstat_path(path, st)) {
                e.st.dev = st.st_dev;
                e.st.ino = st.st_ino;
                if (same_file(e.st, *exclude_))
                    return false;
            }
        }
        check_name_length(stored, e);
        return true;
    }

    // Adds what directory `path` (open as `h`, added as `stored`, linked as `link`) holds.
    void walk(Handle h, const SourceRoot* root, const std::string& path, const std::string& stored,
              const PathLink* link)
    {
        struct Frame {
            Handle dir;  // held without delete sharing while the walk is inside
            const PathLink* link;
            std::vector<Found> names;
            std::size_t next = 0;
            std::string path;
            std::string stored;
        };
        std::vector<Frame> stack;
        const auto push = [&](Handle dir, const PathLink* l, std::string p, std::string s) {
            std::vector<Found> names = read_names(p, [&] { poll_.check(s); });
            reserve_entries(result_.entries, names.size());
            walk_hook(p);
            stack.push_back(Frame{std::move(dir), l, std::move(names), 0, std::move(p), std::move(s)});
        };
        push(std::move(h), link, path, stored);
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next == f.names.size()) {
                stack.pop_back();
                continue;
            }
            Found& found = f.names[f.next++];
            std::string sub_path = f.path + '/' + found.name;
            std::string sub_stored = f.stored + '/' + found.name;
            poll_.check(sub_stored);
            NewEntry e;
            e.dir = f.link;
            e.root = root;
            if (!examine(found, sub_path, sub_stored, e))
                continue;
            if (e.kind != NewEntry::Kind::directory) {
                e.name = std::move(found.name);
                result_.entries.push_back(std::move(e));
                continue;
            }
            e.name = found.name;
            result_.entries.push_back(std::move(e));
            const PathLink* sub_link = result_.links->add(f.link, std::move(found.name));
            Handle sub = open_directory(sub_path, false);
            check_directory(sub.get(), sub_path);
            push(std::move(sub), sub_link, std::move(sub_path),
                 std::move(sub_stored));  // `f` is not used after this
        }
    }

private:
    WalkResult& result_;
    const FileStat* exclude_;
    WalkPoll& poll_;
    std::uint64_t serial_ = 0;
};

}  // namespace

WalkResult collect_entries(const WalkItems& cmd, const FileStat* exclude, ArchiverWindow* window)
{
    WalkResult result;
    WalkPoll poll(window, cmd.archive);
    Walker walker(result, exclude, poll);
    const bool dedupe = cmd.items.size() > 1;
    std::set<std::string> seen;
    for (const std::string& item : cmd.items) {
        const std::string stored = stored_item_name(item);
        const std::string path = cmd.base + stored;
        bool is_link = false;
        FileStat st = item_status(path, is_link);
        Handle dir;
        const SourceRoot* root = nullptr;
        if (S_ISDIR(st.st_mode)) {
            dir = open_directory(path, is_link);
            check_directory(dir.get(), path, &st);  // `st`: as opened
            // The item's directory stays open, without delete sharing, for as long as its entries are read.
            Handle held(::ReOpenFile(dir.get(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     FILE_FLAG_BACKUP_SEMANTICS));
            int fd = -1;
            if (held) {
                fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(held.get()), _O_BINARY);
                if (fd >= 0)
                    held.release();
            }
            root = result.roots.emplace_back(std::make_unique<SourceRoot>(fd, path.size())).get();
        }
        std::optional<NewEntry> entry =
            item_entry(path, stored, st, is_link, exclude, dedupe ? &seen : nullptr, result);
        if (!entry)
            continue;
        NewEntry& e = *entry;
        if (!root) {
            result.entries.push_back(std::move(e));
            continue;
        }
        result.entries.push_back(std::move(e));
        const std::size_t first = result.entries.size();
        walker.walk(std::move(dir), root, path, stored, result.links->add(nullptr, stored, path));
        if (dedupe)
            drop_seen(result.entries, first, seen);
    }
    count_total_bytes(result);
    return result;
}

}  // namespace lzh
