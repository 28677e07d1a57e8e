// settings.cpp - where Pelkoran.ini lives, and reading and writing its three keys.
#include "settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "profile_file.h"

namespace pelkoran {

namespace {

constexpr char kTrue[] = "TRUE";
constexpr char kFalse[] = "FALSE";
constexpr char kConfigDirName[] = "Pelkoran";

std::string ParentDirectory(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Creates `dir` and its missing parents.
bool MakeDirectories(const std::string& dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::string parent = ParentDirectory(dir);
    if (parent != dir && !MakeDirectories(parent))
        return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/*
 * ReplaceFile - write `text` to a temporary file in the directory of
 * `path`, flush it, give it `mode`, and rename it over `path`. Either the
 * old file or the whole new one is there afterwards, never a part.
 */
bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode)
{
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(name.data(), path.c_str()) == 0) {
        int dir = ::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }
    ::unlink(name.data());
    return false;
}

/*
 * RewriteInPlace - write `text` over the file at `path` itself, whole,
 * cut it to that length and flush it: for a file that may be written in a
 * directory that may not (no temporary file can be made beside it).
 */
bool RewriteInPlace(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, text) && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
}

// Whether a new file can be made in `dir` by this process.
bool DirectoryWritable(const std::string& dir)
{
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool ReadFlag(const ProfileFile& file, const char* key, bool fallback,
              const char* section = kSettingsSection)
{
    std::optional<std::string> value = file.Get(section, key);
    if (!value)
        return fallback;
    return *value == kTrue;
}

// A value of [Compression] when it is one of `names`, else `fallback`.
template <std::size_t N>
std::string ReadName(const ProfileFile& file, const char* key, const char* const (&names)[N],
                     const char* fallback)
{
    std::optional<std::string> value = file.Get(kCompressionSection, key);
    if (value)
        for (const char* name : names)
            if (*value == name)
                return *value;
    return fallback;
}

constexpr const char* kMethods[] = {"lh5", "lh6", "lh7"};
constexpr const char* kLevels[] = {"fast", "normal", "best"};

}  // namespace

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

Settings DefaultSettings()
{
    Settings settings;
    settings.output_dir = HomeDirectory();
    settings.same_place = true;
    settings.trim_ext = false;
    return settings;
}

std::string GetModuleDir()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return "./";
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string exe(buffer.data(), static_cast<std::size_t>(n));
            return exe.substr(0, exe.rfind('/') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetModuleDirFile(const std::string& name)
{
    return GetModuleDir() + name;
}

/*
 * SettingsFilePath - see the header. The checks are this process's own
 * rights (its effective ids), so a file written once by another user
 * (root, say) beside an installed program is not taken for this user's.
 */
std::string SettingsFilePath(const std::string& module_dir)
{
    std::string beside = module_dir + kSettingsFileName;
    struct stat st {};
    bool usable;
    if (::stat(beside.c_str(), &st) == 0)
        usable = S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, beside.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    else
        usable = errno == ENOENT && ::lstat(beside.c_str(), &st) != 0 &&
                 ::faccessat(AT_FDCWD, module_dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    if (usable)
        return beside;
    std::string config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        config = xdg;
    else
        config = HomeDirectory() + "/.config";
    if (config.size() > 1 && config.back() == '/')
        config.pop_back();
    return config + "/" + kConfigDirName + "/" + kSettingsFileName;
}

std::string SettingsFilePath()
{
    return SettingsFilePath(GetModuleDir());
}

Settings LoadSettings(const std::string& path)
{
    Settings settings = DefaultSettings();
    ProfileFile file;
    if (!file.Load(path))
        return settings;
    if (std::optional<std::string> dir = file.Get(kSettingsSection, kKeyOutputDir))
        settings.output_dir = *dir;
    settings.same_place = ReadFlag(file, kKeyIsSamePlace, true);
    settings.trim_ext = ReadFlag(file, kKeyIsTrimExt, false);
    const Settings defaults;
    settings.method = ReadName(file, kKeyMethod, kMethods, defaults.method.c_str());
    settings.level = ReadName(file, kKeyLevel, kLevels, defaults.level.c_str());
    settings.verify = ReadFlag(file, kKeyVerify, false, kCompressionSection);
    return settings;
}

/*
 * SaveSettings - see the header. A symbolic link at `path` is written
 * through (its target is replaced, the link stays).
 */
bool SaveSettings(const std::string& path, const Settings& settings)
{
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    ProfileFile file;
    mode_t mode = 0644;
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        // An existing file we cannot read is not ours to replace.
        if (!file.Load(target))
            return false;
        mode = st.st_mode & 07777;
    } else if (!MakeDirectories(ParentDirectory(target))) {
        return false;
    }

    file.Set(kSettingsSection, kKeyOutputDir, settings.output_dir);
    file.Set(kSettingsSection, kKeyIsSamePlace, settings.same_place ? kTrue : kFalse);
    file.Set(kSettingsSection, kKeyIsTrimExt, settings.trim_ext ? kTrue : kFalse);
    const Settings defaults;
    const bool has_section = file.Get(kCompressionSection, kKeyMethod) || file.Get(kCompressionSection, kKeyLevel);
    if (has_section || settings.method != defaults.method || settings.level != defaults.level) {
        file.Set(kCompressionSection, kKeyMethod, settings.method);
        file.Set(kCompressionSection, kKeyLevel, settings.level);
    }
    if (settings.verify || file.Get(kCompressionSection, kKeyVerify))
        file.Set(kCompressionSection, kKeyVerify, settings.verify ? kTrue : kFalse);
    if (exists && !DirectoryWritable(ParentDirectory(target)))
        return RewriteInPlace(target, file.Text());
    return ReplaceFile(target, file.Text(), mode);
}

}  // namespace pelkoran
