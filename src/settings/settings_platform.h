// settings_platform.h - the file-system calls of the settings, one file per system
// (settings_posix.cpp, settings_win.cpp). Paths are UTF-8 on every system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pelkoran {

// The whole regular file at `path` into `text`; false when it is not a
// regular file, cannot be read or holds more than `max_size` bytes.
bool ReadSettingsFile(const std::string& path, std::size_t max_size, std::string& text);

// A value read from the file as UTF-8. On Windows a value that is not UTF-8
// was written in the system's ANSI code page (code page 932 on Japanese
// systems, as programs using the ANSI profile functions write it) and is
// converted; on Linux values are bytes and stay as they are.
std::string SettingsTextToUtf8(std::string text);

// The directory part of `path` ("." when it has none).
std::string ParentDirectory(const std::string& path);

// The file a save writes for `path`: a symbolic link's target, else `path`.
std::string SettingsWriteTarget(const std::string& path);

// What a replacement of the file at `path` keeps of it (its permission bits
// on Linux, its attributes on Windows), or nothing when it is not there.
std::optional<unsigned> SettingsFileMode(const std::string& path);

// Creates `dir` and its missing parents.
bool MakeDirectories(const std::string& dir);

// Whether a new file can be made in `dir` by this process.
bool DirectoryWritable(const std::string& dir);

/*
 * ReplaceSettingsFile - write `text` to a temporary file in the directory of
 * `path`, flush it, give it `mode` (SettingsFileMode() of the file it
 * replaces; nothing for a new file) and move it over `path`. Either the
 * old file or the whole new one is there afterwards, never a part.
 */
bool ReplaceSettingsFile(const std::string& path, const std::string& text, std::optional<unsigned> mode);

/*
 * RewriteInPlace - write `text` over the file at `path` itself, whole,
 * cut it to that length and flush it: for a file that may be written in a
 * directory that may not (no temporary file can be made beside it).
 */
bool RewriteInPlace(const std::string& path, const std::string& text);

}  // namespace pelkoran
