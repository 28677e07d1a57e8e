// settings_posix.cpp - where Pelkoran.ini lives on Linux, and the file calls that read and write it.
#include "settings.h"
#include "settings_platform.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace pelkoran {

namespace {

constexpr char kConfigDirName[] = "Pelkoran";

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

}  // namespace

bool ReadSettingsFile(const std::string& path, std::size_t max_size, std::string& text)
{
    text.clear();
    // O_NONBLOCK: a FIFO in the file's place must not block the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > max_size) {
        ::close(fd);
        return false;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > max_size) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

std::string SettingsTextToUtf8(std::string text)
{
    return text;
}

std::string SettingsWriteTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target = real;
            std::free(real);
            return target;
        }
    }
    return path;
}

std::optional<unsigned> SettingsFileMode(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<unsigned>(st.st_mode & 07777);
}

std::string ParentDirectory(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

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

bool ReplaceSettingsFile(const std::string& path, const std::string& text, std::optional<unsigned> mode)
{
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    bool ok =
        WriteAll(fd, text) && ::fchmod(fd, static_cast<mode_t>(mode.value_or(0644))) == 0 && ::fsync(fd) == 0;
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

bool RewriteInPlace(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, text) && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
}

bool DirectoryWritable(const std::string& dir)
{
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return "/";
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

}  // namespace pelkoran
