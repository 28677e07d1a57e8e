// path_status.cpp - the status query over stat().
#include "path_status.h"

#include <sys/stat.h>

namespace pelkoran {

PathStatus QueryPathStatus(const std::string& path)
{
    PathStatus status;
    // A text holding a NUL byte names no file: stat() would see only the
    // part before it, which may well exist.
    if (path.empty() || path.find('\0') != std::string::npos)
        return status;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return status;
    status.exists = true;
    status.is_directory = S_ISDIR(st.st_mode);
    return status;
}

}  // namespace pelkoran
