// walk.h - turns the items of an add command into the list of members to write.
#pragma once

#include "pelkoran/archiver_window.h"
#include "fs/entry.h"
#include "fs/file_io.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "fs/file_stat.h"
#include <vector>

namespace lzh {

// What a walk starts from.
struct WalkItems {
    std::string archive;             // archive path, as given (named in a cancel)
    std::string base;                // base directory, ends in a separator
    std::vector<std::string> items;  // relative to `base`
};

struct WalkResult {
    std::vector<NewEntry> entries;     // in archive order
    std::vector<std::string> skipped;  // special files passed over (paths)
    // The directory items, open for as long as their entries are read (each
    // entry below one points to it).
    std::vector<std::unique_ptr<SourceRoot>> roots;
    // The directories the entries link to (see PathLink).
    std::unique_ptr<PathLinks> links = std::make_unique<PathLinks>();
    std::uint64_t total_bytes = 0;  // sum of the regular files' sizes
};

// Walks the command's items below its base directory. An item named through
// a symbolic link is followed: the user chose it. A directory item brings its
// own entry and then all its contents, each directory before what it holds and
// the names of one directory sorted byte-wise. Below an item, symbolic links
// are stored as links and never followed, and every entry is reached from the
// item's open directory through no link (see SourceRoot); FIFOs, sockets and
// devices are never opened, only listed in `skipped`. `exclude`, when given,
// is a file (the archive itself) that is left out wherever it appears.
//
// Paths of any length and depth are walked (beyond PATH_MAX, relative to
// directory descriptors, without recursion), never cut. Throws lzh::Error
// naming the path when an item does not exist, a directory cannot be read or
// was swapped while it was walked, or a name is longer than a header can hold
// (as soon as the walk reaches it). `window`, when given, is asked now and
// then whether to go on; a cancel throws lzh::Cancelled.
WalkResult collect_entries(const WalkItems& cmd, const FileStat* exclude, ArchiverWindow* window = nullptr);

// Test hook: called with each directory's path after its names were read and
// before its entries are examined, so a test can change the directory then.
using WalkHook = std::function<void(const std::string& dir)>;
void set_walk_hook(WalkHook hook);

}  // namespace lzh
