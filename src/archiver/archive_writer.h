// archive_writer.h - creates an LZH archive or rewrites one with new members.
#pragma once

#include "archiver.h"
#include "encoder.h"
#include "method.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace lzh {

struct SourceRoot;   // file_io.h

// What the writer needs of a struct stat: a fraction of its size, which
// counts when a walk holds a hundred thousand entries.
struct EntryStat {
    EntryStat() = default;
    EntryStat(const struct stat& st)   // NOLINT: converts implicitly, as lstat fills one
        : mode(st.st_mode), mtime(st.st_mtime),
          size(std::uint64_t(st.st_size)), dev(st.st_dev), ino(st.st_ino)
    {
    }
    std::uint32_t mode = 0;
    std::int64_t mtime = 0;
    std::uint64_t size = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
};

// One member to write, as the walk found it.
struct NewEntry {
    enum class Kind { file, directory, symlink };
    Kind kind = Kind::file;
    bool follow_link = false;  // a file item named through a link: its target is read
    std::string source_path;   // path to read (file-system bytes)
    std::string stored_path;   // relative, '/'-separated, file-system bytes, no trailing '/'
    std::string link_target;   // symlinks only
    EntryStat st;              // from lstat at walk time (mode, mtime, size, dev/ino)
    const SourceRoot* root = nullptr;   // below a directory item: read from it (the walk holds it)
};

struct WriteOptions {
    const Method* method = &kLh5;   // for coded members: -lh5-, -lh6- or -lh7-
    Effort effort = Effort::normal;
    unsigned threads = 0;   // coding threads; 0: PELKORAN_THREADS, else one per core
};

struct UpdateReport {
    std::size_t added = 0;      // new stored paths
    std::size_t replaced = 0;   // members of the old archive written anew
    std::size_t kept = 0;       // members of the old archive copied byte for byte
    std::size_t skipped = 0;    // entries left out: the archive itself, repeated stored paths
    std::uint64_t bytes_in = 0;    // bytes read from the new files
    std::uint64_t bytes_out = 0;   // size of the archive written
};

/*
 * Creates `archive_path`, or rewrites an existing LZH archive: a member whose
 * stored path equals a new entry's is replaced where it stands, the others are
 * kept byte for byte (copied, not recoded), and the remaining entries are
 * appended in the given order.
 *
 * The archive is written to a temporary file in its own directory, flushed and
 * renamed over `archive_path` only when complete; the rewritten archive keeps
 * the old one's mode, and its owner and group as far as this user may set
 * them. On any failure (an existing file that is not a sound LZH archive or
 * that this user may not write, an unreadable file, a write error, a file of
 * 4 GiB or more, a cancel through `window`) the temporary file is removed,
 * `archive_path` (or its absence) is left exactly as it was, and lzh::Error
 * (lzh::Cancelled for a cancel) is thrown with a Japanese reason naming the
 * path. An entry that is the archive itself is left out.
 *
 * Updates of one archive by several runs at once take turns: the archive is
 * locked from the read to the rename, and a run that finds it locked waits.
 * Two runs that create the same new archive at once both end up in it: the
 * one that finishes second adds its members to the first one's archive.
 *
 * `window` may be null; otherwise its on_progress is called per member and
 * every few MiB, and every tenth of a second while waiting for the lock, and
 * a false return cancels.
 */
UpdateReport update_archive(const std::string& archive_path, const std::vector<NewEntry>& entries,
                            const WriteOptions& options, ArchiverWindow* window);

}  // namespace lzh
