// path_status.cpp - the status query over stat() (GetFileAttributesW on Windows).
#include "path_status.h"

#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#else
#include <sys/stat.h>
#endif

namespace pelkoran {

PathStatus QueryPathStatus(const std::string& path)
{
    PathStatus status;
    // A text holding a NUL byte names no file: stat() would see only the
    // part before it, which may well exist.
    if (path.empty() || path.find('\0') != std::string::npos)
        return status;
#ifdef _WIN32
    // The attributes of a link are its own: a symbolic link or junction to a
    // directory answers as a directory, one whose target is gone as missing.
    const std::wstring wide = SystemPath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return status;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return status;
        ::CloseHandle(h);
    }
    status.exists = true;
    status.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return status;
    status.exists = true;
    status.is_directory = S_ISDIR(st.st_mode);
#endif
    return status;
}

}  // namespace pelkoran
