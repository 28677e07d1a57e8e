// settings.h - the output options kept between runs in Pelkoran.ini.
#pragma once

#include <string>

namespace pelkoran {

// The file's name, its one section and its three keys.
inline constexpr const char kSettingsFileName[] = "Pelkoran.ini";
inline constexpr const char kSettingsSection[] = "Path";
inline constexpr const char kKeyOutputDir[] = "OutputDir";
inline constexpr const char kKeyIsSamePlace[] = "IsSamePlace";
inline constexpr const char kKeyIsTrimExt[] = "IsTrimEXT";
// The method and effort live in a section of their own, written only once
// either differs from its default (a file that never had them reads as
// the defaults, and a user who keeps the defaults keeps a file of the
// three keys above).
inline constexpr const char kCompressionSection[] = "Compression";
inline constexpr const char kKeyMethod[] = "Method";
inline constexpr const char kKeyLevel[] = "Level";
// Verify after writing: "TRUE" or "FALSE", written only once it was on.
inline constexpr const char kKeyVerify[] = "Verify";

// The output options as they are stored.
struct Settings {
    std::string output_dir;        // OutputDir: the field's text, untrimmed
    bool same_place = true;        // IsSamePlace: the same-place radio button is checked
    bool trim_ext = false;         // IsTrimEXT: the trim check box is checked
    std::string method = "lh5";    // Method: lh5, lh6 or lh7
    std::string level = "normal";  // Level: fast, normal or best
    bool verify = false;           // Verify: each archive is read back before it takes its place
};

// The defaults for a missing file or key: the user's home directory,
// next to each item, extension kept.
Settings DefaultSettings();

// The user's home directory ($HOME, else the password database, else "/").
std::string HomeDirectory();

// The directory of the running executable, ending in '/'.
std::string GetModuleDir();

// The executable's directory followed by `name`.
std::string GetModuleDirFile(const std::string& name);

/*
 * SettingsFilePath - where Pelkoran.ini lives.
 *
 * Beside the executable (`module_dir`, ending in '/') when this user may
 * keep it there (a portable copy): the file is there and this user may
 * read and write it, or it is not there and the directory may be written.
 * Otherwise in the user's configuration directory: $XDG_CONFIG_HOME/
 * Pelkoran/Pelkoran.ini when that variable holds an absolute path, else
 * ~/.config/Pelkoran/Pelkoran.ini.
 */
std::string SettingsFilePath(const std::string& module_dir);
// The same for the running executable.
std::string SettingsFilePath();

/*
 * LoadSettings - read the three keys of [Path], and the method and level
 * and verify flag of [Compression], from the file at `path`. A missing or unreadable
 * file, a missing key, or a file that is not a profile file at all gives
 * the defaults for what cannot be read. "IsSamePlace" and "IsTrimEXT" are
 * true exactly when their value is "TRUE" (byte for byte: "true" reads as
 * false), and so is "Verify". "Method" and "Level" take the names that pelkoran-cli pack takes
 * (lh5 lh6 lh7, fast normal best), byte for byte; any other value reads as
 * the default.
 */
Settings LoadSettings(const std::string& path);

/*
 * SaveSettings - write the three keys of [Path] into the file at `path`,
 * and the method and level into [Compression] when either is not its
 * default or the file holds either key already, and "Verify" when it is
 * on or the file holds it already, keeping the
 * file's other sections, keys and comments. The file is written whole to a
 * temporary file beside it and renamed into place, so it is never left half
 * written; the configuration directory is created when missing. A file
 * that may be written in a directory that may not is rewritten in place,
 * whole, and flushed. A file that exists but cannot be read is left alone
 * (its other contents would be lost). Returns false when nothing was
 * written.
 */
bool SaveSettings(const std::string& path, const Settings& settings);

}  // namespace pelkoran
