// compress_target.h - the archive command for one item: split the path, build the text, call the library.
#pragma once

#include <string>
#include <string_view>

#include "archiver_library.h"
#include "path_status.h"

namespace lzh {
class ArchiverWindow;
}

namespace pelkoran {

/*
 * PathRules - how a path text is read: which bytes separate components and
 * whether a drive letter leads it.
 *   kPosix    '/' is the only separator; '\' and ':' are bytes of a name.
 *   kWindows  '\' and '/' both separate; "C:" leads a path; archives go
 *             into an output directory after a '\'.
 * A build reads every path by its platform's rules (kPlatformPathRules);
 * the other rules are there so that they can be tested anywhere.
 */
enum class PathRules {
    kPosix,
    kWindows,
};

#ifdef _WIN32
inline constexpr PathRules kPlatformPathRules = PathRules::kWindows;
#else
inline constexpr PathRules kPlatformPathRules = PathRules::kPosix;
#endif

/*
 * A path in four parts, so that drive + dir + name + ext is the path again:
 *   drive  a drive letter and its colon ("C:"), or empty;
 *   dir    everything after the drive up to and including the last
 *          separator ("\work\docs\", "/home/u/"), or empty;
 *   name   the final component up to its last dot;
 *   ext    from the last dot of the final component on, dot included.
 * Example: "C:\work\memo.txt" -> "C:", "\work\", "memo", ".txt".
 */
struct PathParts {
    std::string drive;
    std::string dir;
    std::string name;
    std::string ext;
};

/*
 * SplitPath - split a path into PathParts by `rules`. Under kPosix there
 * is never a drive, and a backslash is part of a name: cutting there would
 * name another file.
 */
PathParts SplitPath(std::string_view path, PathRules rules = kPlatformPathRules);

// The separator written between an output directory and an archive name.
char OutputSeparator(PathRules rules = kPlatformPathRules);

/*
 * ArchivePath - the archive that the command for an item names (ARCHIVE
 * below), by the same rules.
 */
std::string ArchivePath(const std::string& full_path, bool same_place, bool trim_ext,
                        const std::string& output_dir, const PathStatus& status,
                        PathRules rules = kPlatformPathRules);

/*
 * BuildCommandText - the command text for one item, byte for byte:
 *   a "ARCHIVE" "BASE" -d1 "ITEM"
 * BASE = drive + dir, ITEM = name + ext, and ARCHIVE:
 *   trimmable, same place:   drive dir name .lzh
 *   trimmable, elsewhere:    output_dir SEP name .lzh
 *   kept ext,  same place:   full path .lzh
 *   kept ext,  elsewhere:    output_dir SEP name ext .lzh
 * where SEP is OutputSeparator(rules), written whatever the directory
 * ends with ("C:\" gives "C:\\memo.txt.lzh" under kWindows, "/" gives
 * "//memo.txt.lzh"). An item is trimmable exactly when its status query
 * succeeded, it is not a directory, and `trim_ext` is set.
 * A double quote inside a token is written doubled ("" stands for ").
 * `switches` (e.g. "-lh7 -best"), when not empty, go between -d1 and ITEM;
 * empty switches leave the text exactly as above.
 */
std::string BuildCommandText(const std::string& full_path, bool same_place, bool trim_ext,
                             const std::string& output_dir, const PathStatus& status,
                             const std::string& switches = {}, PathRules rules = kPlatformPathRules);

/*
 * CompressTarget - pack one item into its own archive.
 *
 * full_path   the item, as the target list holds it
 * same_place  archive next to the item (else into output_dir)
 * trim_ext    drop a file's extension from its archive's name
 * output_dir  as the run left it (trimmed and checked); unused with same_place
 * window      passed first to the library (may be null: silent)
 * library     the archiver library (the engine by default)
 * query       the status query (a fake in tests)
 * switches    method and effort switches for the command text (empty: defaults)
 *
 * Returns true when the library reports that the archive was written.
 * Shows nothing of its own.
 */
bool CompressTarget(const std::string& full_path, bool same_place, bool trim_ext,
                    const std::string& output_dir, lzh::ArchiverWindow* window,
                    ArchiverLibrary& library = DefaultArchiverLibrary(),
                    const StatusQuery& query = QueryPathStatus, const std::string& switches = {});

}  // namespace pelkoran
