// file_io_windows.cpp - byte sources and sinks over Windows file handles.
//
// The engine's interface speaks of int descriptors; here they are C runtime
// descriptors wrapping the handles (_open_osfhandle), and every call goes to
// the handle itself. Paths go to the wide-character API with the "\\?\"
// prefix, so no length limit of 260 characters applies.
#include "fs/file_io.h"

#include "fs/names.h"
#include "fs/windows_path.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <winioctl.h>

namespace lzh {

namespace {

HANDLE os_handle(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Takes `h` as a C runtime descriptor; -1 with errno set when it cannot.
int descriptor_of(HANDLE h)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::wstring to_wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(std::size_t(std::max(n, 0)), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
    return w;
}

std::string from_wide(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(std::max(n, 0)), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring long_path(const std::string& path)
{
    std::wstring w = to_wide(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    if (w.rfind(L"\\\\?\\", 0) == 0)
        return w;
    const DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return w;
    std::wstring full(n, L'\0');
    const DWORD m = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    if (m == 0 || m >= n)
        return w;
    full.resize(m);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_CANT_RESOLVE_FILENAME:
    case ERROR_CANT_ACCESS_FILE:
        return ELOOP;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    default:
        return EIO;
    }
}

std::int64_t unix_time(const FILETIME& ft)
{
    const std::uint64_t t = (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return std::int64_t(t / 10000000) - 11644473600LL;
}

bool handle_status(HANDLE h, FileStat& st)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info)) {
        errno = errno_of(::GetLastError());
        return false;
    }
    st = {};
    st.st_attributes = info.dwFileAttributes;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool reparse = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    const bool tagged = reparse &&
                        ::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                        tag.ReparseTag != 0;
    // A symbolic link or a junction names another file; so, for safety, does
    // a directory reparse point of no known kind. Other kinds (deduplicated
    // or cloud files) hold their own data.
    if (tagged ? IsReparseTagNameSurrogate(tag.ReparseTag)
               : reparse && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        st.st_mode = S_IFLNK | 0777;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        st.st_mode = S_IFDIR | 0755;
    else
        st.st_mode = S_IFREG | ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
    st.st_mtime = unix_time(info.ftLastWriteTime);
    st.st_size = std::int64_t((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    st.st_dev = info.dwVolumeSerialNumber;
    st.st_ino = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

/**************************************************************************
 * Paths of any length: the "\\?\" prefix does it, nothing is held open
 **************************************************************************/

ParentDir::ParentDir(const std::string& path) : fd_(-1), leaf_(path) {}

ParentDir::~ParentDir() = default;

SourceRoot::~SourceRoot()
{
    if (fd >= 0)
        ::_close(fd);
}

int open_beneath(int, std::string_view, int)
{
    errno = ENOSYS;
    return -1;
}

void set_openat2_allowed(bool) {}

namespace {

// The status of `path`; a final reparse point is followed only when `follow`.
bool path_status(const std::string& path, FileStat& st, bool follow)
{
    Handle h(::CreateFileW(long_path(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                           nullptr));
    if (!h) {
        errno = errno_of(::GetLastError());
        return false;
    }
    return handle_status(h.get(), st);
}

}  // namespace

bool stat_file(const std::string& path, FileStat& st)
{
    return path_status(path, st, true);
}

bool lstat_path(const std::string& path, FileStat& st)
{
    return path_status(path, st, false);
}

// Link targets are not stored on Windows (see walk_windows.cpp).
bool readlink_path(const std::string&, std::string&, std::size_t)
{
    errno = EINVAL;
    return false;
}

/**************************************************************************
 * FileSource
 **************************************************************************/

FileSource::FileSource(const std::string& path, const SourceRoot*, bool follow_link) : path_(path)
{
    // Below a directory item no reparse point is ever opened through: the
    // walk skips them, and one put there since is refused here.
    HANDLE h =
        ::CreateFileW(long_path(path).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Error(Message::cannot_open_file, {shown_path(path)}, errno_of(::GetLastError()));
    if (!handle_status(h, st_)) {
        const int err = errno;
        ::CloseHandle(h);
        throw Error(Message::cannot_stat_file, {shown_path(path)}, err);
    }
    if (!S_ISREG(st_.st_mode) || ::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        throw Error(Message::not_a_regular_file_to_read, {shown_path(path)});
    }
    fd_ = descriptor_of(h);
    if (fd_ < 0)
        throw Error(Message::cannot_open_file, {shown_path(path)}, errno);
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::_close(fd_);
}

std::size_t FileSource::read_some(std::uint8_t* buf, std::size_t size)
{
    DWORD n = 0;
    if (!::ReadFile(os_handle(fd_), buf, DWORD(size), &n, nullptr))
        throw Error(Message::cannot_read_file, {shown_path(path_)}, errno_of(::GetLastError()));
    return n;
}

void FileSource::rewind()
{
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(os_handle(fd_), zero, nullptr, FILE_BEGIN))
        throw Error(Message::cannot_reread_file, {shown_path(path_)}, errno_of(::GetLastError()));
    offset_ = 0;
}

/**************************************************************************
 * FileRange
 **************************************************************************/

FileRange::FileRange(const std::string& path) : path_(path)
{
    HANDLE h = ::CreateFileW(long_path(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Error(Message::cannot_open_archive, {shown_path(path)}, errno_of(::GetLastError()));
    if (!handle_status(h, st_)) {
        const int err = errno;
        ::CloseHandle(h);
        throw Error(Message::cannot_stat_archive, {shown_path(path)}, err);
    }
    if (!S_ISREG(st_.st_mode) || ::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        throw Error(Message::not_a_regular_file, {path});
    }
    fd_ = descriptor_of(h);
    if (fd_ < 0)
        throw Error(Message::cannot_open_archive, {shown_path(path)}, errno);
    size_ = std::uint64_t(st_.st_size);
}

FileRange::~FileRange()
{
    if (fd_ >= 0)
        ::_close(fd_);
}

std::size_t FileRange::read_some_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(os_handle(fd_), buf, DWORD(size), &n, &at)) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF)
            return 0;
        throw Error(Message::cannot_read_archive, {shown_path(path_)}, errno_of(err));
    }
    return n;
}

/**************************************************************************
 * FileSink
 **************************************************************************/

FileSink::~FileSink()
{
    if (fd_ >= 0)
        ::_close(fd_);
}

std::size_t FileSink::write_some(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD n = 0;
    if (!::WriteFile(os_handle(fd_), data, DWORD(size), &n, &at))
        throw Error(Message::cannot_write, {shown_path(path_)}, errno_of(::GetLastError()));
    return n;
}

// The system writes back on its own; FlushFileBuffers in sync() waits for it.
void FileSink::start_writeback() {}

void FileSink::truncate(std::uint64_t offset)
{
    flush();
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = LONGLONG(offset);
    if (!::SetFileInformationByHandle(os_handle(fd_), FileEndOfFileInfo, &end, sizeof end))
        throw Error(Message::cannot_write, {shown_path(path_)}, errno_of(::GetLastError()));
    offset_ = offset;
}

void FileSink::sync()
{
    flush();
    if (!::FlushFileBuffers(os_handle(fd_)))
        throw Error(Message::cannot_write_to_disk, {shown_path(path_)}, errno_of(::GetLastError()));
}

void FileSink::close()
{
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::_close(fd) != 0)
        throw Error(Message::cannot_write, {shown_path(path_)}, errno);
}

}  // namespace lzh
