// file_stat.h - a file's status as the engine reads it.
//
// On POSIX systems that is struct stat itself. On Windows the C runtime's
// struct stat has a 16-bit inode field, too small to tell files apart, so the
// backend fills a structure of its own with the same field names: the mode's
// file-type bits in the POSIX encoding, the volume's serial number as the
// device and the 64-bit file index as the inode.
#pragma once

#include <sys/stat.h>

#ifdef _WIN32
#include <cstdint>

#ifndef S_IFLNK
#define S_IFLNK 0120000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m)&S_IFMT) == S_IFLNK)
#endif

namespace lzh {

struct FileStat {
    std::uint32_t st_mode = 0;  // S_IFREG, S_IFDIR or S_IFLNK, and permission bits
    std::int64_t st_mtime = 0;  // seconds since 1970 (UTC)
    std::int64_t st_size = 0;
    std::uint64_t st_dev = 0;         // volume serial number
    std::uint64_t st_ino = 0;         // file index on the volume
    std::uint32_t st_attributes = 0;  // FILE_ATTRIBUTE_*
};

}  // namespace lzh
#else
namespace lzh {

using FileStat = struct stat;

}  // namespace lzh
#endif
