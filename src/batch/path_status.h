// path_status.h - the status query: does a path name something, and is it a directory.
#pragma once

#include <functional>
#include <string>

namespace pelkoran {

// The answer of the status query for one path.
struct PathStatus {
    bool exists = false;        // the path names an existing file or directory
    bool is_directory = false;  // ... and it is a directory (meaningful only when exists)
};

/*
 * QueryPathStatus - stat() the path, byte for byte as given.
 *
 * Symbolic links are followed: a link to a directory answers as a directory
 * (as a file manager shows it), and a dangling link answers "does not exist",
 * like a file that vanished. The empty text does not exist. Nothing is
 * opened, so a FIFO or a device is only looked at, never read.
 */
PathStatus QueryPathStatus(const std::string& path);

// A status query; the list and the run take one so that tests can fake it.
using StatusQuery = std::function<PathStatus(const std::string& path)>;

}  // namespace pelkoran
