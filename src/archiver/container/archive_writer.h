// archive_writer.h - creates an LZH archive or rewrites one with new members.
#pragma once

#include "pelkoran/archiver_window.h"
#include "container/write_options.h"
#include "fs/entry.h"
#include "fs/file_stat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

struct UpdateReport {
    std::size_t added = 0;        // new stored paths
    std::size_t replaced = 0;     // members of the old archive written anew
    std::size_t kept = 0;         // members of the old archive copied byte for byte
    std::size_t skipped = 0;      // entries left out: the archive itself, repeated stored paths
    std::uint64_t bytes_in = 0;   // bytes read from the new files
    std::uint64_t bytes_out = 0;  // size of the archive written
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
