// item_path.h - a dropped or named path made fit for the target list.
#pragma once

#include <string>

namespace pelkoran {

/*
 * ResolveItemPath - the path of an item as the list holds it: absolute,
 * its directory resolved by the system, its own last component kept as
 * given (so a symbolic link is listed under its own name).
 *
 * This is how the kernel reads the path: "link/../memo.txt" is memo.txt in
 * the parent of the link's target, not a text with "link/.." cut out. A path
 * whose last component is "." or ".." ("dir/.", "/a/b/..") names a directory
 * and is resolved whole; trailing slashes go ("dir/" is "dir"), so the item
 * has its own name for its archive. A relative path is taken from the
 * current directory. Bytes are kept as they are (no encoding is assumed).
 * When the directory cannot be resolved (it is not there), the path is only
 * made absolute; the status query then finds nothing there.
 */
std::string ResolveItemPath(const std::string& path);

}  // namespace pelkoran
