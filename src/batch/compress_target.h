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
 * SplitPath - split a path into PathParts.
 *
 * A path written the Windows way (a drive letter with its colon, or
 * backslashes and no slash) takes both '\' and '/' as separators. A path
 * written the POSIX way (holding a '/' and no drive) takes only '/': on
 * Linux a backslash is an ordinary character of a name, and cutting there
 * would name another file.
 */
PathParts SplitPath(std::string_view path);

// True when `text` is written the Windows way (see SplitPath).
bool IsWindowsStylePath(std::string_view text);

// The separator written between an output directory and an archive name:
// '\' for a Windows-style directory ("C:\", "D:\pack"), else '/'.
char OutputSeparator(std::string_view output_dir);

/*
 * BuildCommandText - the command text for one item, byte for byte:
 *   a "ARCHIVE" "BASE" -d1 "ITEM"
 * BASE = drive + dir, ITEM = name + ext, and ARCHIVE:
 *   trimmable, same place:   drive dir name .lzh
 *   trimmable, elsewhere:    output_dir SEP name .lzh
 *   kept ext,  same place:   full path .lzh
 *   kept ext,  elsewhere:    output_dir SEP name ext .lzh
 * where SEP is OutputSeparator(output_dir), written whatever the
 * directory ends with ("C:\" gives "C:\\memo.txt.lzh", "/" gives
 * "//memo.txt.lzh"). An item is trimmable exactly when its status query
 * succeeded, it is not a directory, and `trim_ext` is set.
 * A double quote inside a token is written doubled ("" stands for ").
 * `switches` (e.g. "-lh7 -best"), when not empty, go between -d1 and ITEM;
 * empty switches leave the text exactly as above.
 */
std::string BuildCommandText(const std::string& full_path, bool same_place, bool trim_ext,
                             const std::string& output_dir, const PathStatus& status,
                             const std::string& switches = {});

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
