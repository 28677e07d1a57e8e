// entry.h - one member to write, as the walk found it.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include "fs/file_stat.h"

namespace lzh {

struct SourceRoot;  // file_io.h

// What the writer needs of a struct stat: a fraction of its size, which
// counts when a walk holds a hundred thousand entries.
struct EntryStat {
    EntryStat() = default;
    EntryStat(const FileStat& st)  // NOLINT: converts implicitly, as lstat fills one
        : mode(st.st_mode),
          mtime(st.st_mtime),
          size(std::uint64_t(st.st_size)),
          dev(st.st_dev),
          ino(st.st_ino)
    {}
    std::uint32_t mode = 0;
    std::int64_t mtime = 0;
    std::uint64_t size = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
};

// Whether two entries are one file (the same device and inode).
inline bool same_file(const EntryStat& a, const EntryStat& b)
{
    return a.dev == b.dev && a.ino == b.ino;
}

/*
 * A directory on the way to walked entries: its own name and the directory
 * that holds it. Entries keep a link to their directory instead of their
 * whole paths, so a walk holds each name once and its memory grows with the
 * names' bytes, not with the depth times the number of entries.
 */
struct PathLink {
    const PathLink* parent = nullptr;  // null: an item's own directory
    std::string name;                  // one component; an item's: its stored path
    std::string source;                // an item's: its path on the disk
    std::string stored_path() const;
    std::string source_path() const;
};

// The links of one walk, kept for as long as its entries. add() may be called
// from several threads.
class PathLinks {
public:
    const PathLink* add(const PathLink* parent, std::string name, std::string source = {})
    {
        std::lock_guard lock(mutex_);
        return &links_.emplace_back(PathLink{parent, std::move(name), std::move(source)});
    }

private:
    std::mutex mutex_;
    std::deque<PathLink> links_;  // never moved once made
};

// One member to write, as the walk found it.
struct NewEntry {
    enum class Kind { file, directory, symlink };
    Kind kind = Kind::file;
    bool follow_link = false;          // a file item named through a link: its target is read
    const PathLink* dir = nullptr;     // the directory holding it (the walk keeps it); null: an item
    std::string name;                  // below `dir`: its name; an item: its stored path
    std::string source;                // an item: the path to read (file-system bytes)
    std::string link_target;           // symlinks only
    EntryStat st;                      // from lstat at walk time (mode, mtime, size, dev/ino)
    const SourceRoot* root = nullptr;  // below a directory item: read from it (the walk holds it)

    // The path to read (file-system bytes).
    std::string source_path() const;
    // Relative, '/'-separated, file-system bytes, no trailing '/'.
    std::string stored_path() const;
};

}  // namespace lzh
