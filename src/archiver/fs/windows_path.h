// windows_path.h - what the Windows backend's units share: paths between
// the engine's UTF-8 and the system's UTF-16, error codes and file status.
#pragma once

#include "fs/file_stat.h"

#include <string>
#include <windows.h>

namespace lzh {

// UTF-8 to UTF-16 and back (invalid input becomes U+FFFD / is dropped).
std::wstring to_wide(const std::string& utf8);
std::string from_wide(const std::wstring& wide);

/*
 * `path` (UTF-8, '/' or '\' between components, relative to the current
 * directory or absolute) as the system's full path with the "\\?\" prefix,
 * so its length is never cut at 260 characters.
 */
std::wstring long_path(const std::string& path);

// A Windows error code as the errno value the engine's messages know.
int errno_of(DWORD error);

// The status of an open handle: type bits, times, size, volume and file index.
bool handle_status(HANDLE h, FileStat& st);

// A FILETIME as seconds since 1970.
std::int64_t unix_time(const FILETIME& ft);

// An owning handle.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : h_(o.release()) {}
    Handle& operator=(Handle&& o) noexcept
    {
        if (this != &o) {
            reset();
            h_ = o.release();
        }
        return *this;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE release()
    {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset()
    {
        if (*this)
            ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace lzh
