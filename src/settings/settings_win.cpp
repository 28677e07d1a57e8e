// settings_win.cpp - where Pelkoran.ini lives on Windows, and the file calls that read and write it.
#include "settings.h"
#include "settings_platform.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>

#include "wide_text.h"

namespace pelkoran {

namespace {

constexpr char kConfigDirName[] = "Pelkoran";

// Attributes a replaced file keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool Close()
    {
        bool closed = true;
        if (ok())
            closed = ::CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE h_;
};

bool WriteAll(HANDLE h, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(h, text.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// A name for a temporary file beside `path` that no other call of this process picks.
std::string TemporaryName(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lx-%lx-%x.tmp", ::GetCurrentProcessId(), ::GetTickCount(),
                  counter.fetch_add(1));
    return path + suffix;
}

DWORD Attributes(const std::string& path)
{
    return ::GetFileAttributesW(SystemPath(path).c_str());
}

}  // namespace

bool ReadSettingsFile(const std::string& path, std::size_t max_size, std::string& text)
{
    text.clear();
    Handle h(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok() || ::GetFileType(h.get()) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h.get(), &size) || static_cast<unsigned long long>(size.QuadPart) > max_size)
        return false;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr))
            return false;
        if (n == 0)
            break;
        text.append(buffer, n);
        if (text.size() > max_size)
            return false;
    }
    return true;
}

std::string ParentDirectory(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    // "C:\x" -> "C:\", "\x" -> "\"
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);
    while (slash > 0 && IsSeparator(path[slash - 1]))
        --slash;
    return path.substr(0, slash);
}

std::string SettingsTextToUtf8(std::string text)
{
    const int size = static_cast<int>(text.size());
    if (size == 0 || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0)
        return text;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), n);
    return WideToUtf8(wide);
}

std::string SettingsWriteTarget(const std::string& path)
{
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    Handle h(::CreateFileW(SystemPath(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok())
        return path;
    wchar_t buffer[32768];
    DWORD n = ::GetFinalPathNameByHandleW(h.get(), buffer, 32768, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= 32768)
        return path;
    return PlainPath(std::wstring_view(buffer, n));
}

std::optional<unsigned> SettingsFileMode(const std::string& path)
{
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return static_cast<unsigned>(attributes & kKeptAttributes);
}

bool MakeDirectories(const std::string& dir)
{
    DWORD attributes = Attributes(dir);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string parent = ParentDirectory(dir);
    if (parent != dir && !MakeDirectories(parent))
        return false;
    return ::CreateDirectoryW(SystemPath(dir).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool DirectoryWritable(const std::string& dir)
{
    std::string probe = TemporaryName(dir + "\\.pelkoran-probe");
    Handle h(::CreateFileW(SystemPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return h.ok();
}

bool ReplaceSettingsFile(const std::string& path, const std::string& text, std::optional<unsigned> mode)
{
    const std::string temp = TemporaryName(path);
    const std::wstring wide_temp = SystemPath(temp);
    Handle h(::CreateFileW(wide_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!h.ok())
        return false;
    bool ok = WriteAll(h.get(), text) && ::FlushFileBuffers(h.get());
    ok = h.Close() && ok;
    if (ok && mode && *mode)
        ::SetFileAttributesW(wide_temp.c_str(), *mode);
    if (ok && ::MoveFileExW(wide_temp.c_str(), SystemPath(path).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(wide_temp.c_str());
    return false;
}

bool RewriteInPlace(const std::string& path, const std::string& text)
{
    Handle h(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok())
        return false;
    bool ok = WriteAll(h.get(), text) && ::SetEndOfFile(h.get()) && ::FlushFileBuffers(h.get());
    return h.Close() && ok;
}

// %USERPROFILE%, else the profile folder the shell names, else "C:\".
std::string HomeDirectory()
{
    if (const wchar_t* profile = ::_wgetenv(L"USERPROFILE"); profile && *profile)
        return WideToUtf8(profile);
    PWSTR folder = nullptr;
    std::string home = "C:\\";
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &folder)) && folder && *folder)
        home = WideToUtf8(folder);
    ::CoTaskMemFree(folder);
    return home;
}

std::string GetModuleDir()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return ".\\";
        if (n < buffer.size()) {
            std::string exe = PlainPath(std::wstring_view(buffer.data(), n));
            return exe.substr(0, exe.find_last_of("\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

/*
 * SettingsFilePath - see the header. On Windows "may keep it there" is
 * what the system grants when asked: the file opens for reading and
 * writing, or a new file can be made in the directory. The per-user
 * place is %APPDATA%\Pelkoran\Pelkoran.ini.
 */
std::string SettingsFilePath(const std::string& module_dir)
{
    std::string beside = module_dir + kSettingsFileName;
    DWORD attributes = Attributes(beside);
    bool usable;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        Handle h(::CreateFileW(SystemPath(beside).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        usable =
            !(attributes & FILE_ATTRIBUTE_DIRECTORY) && h.ok() && ::GetFileType(h.get()) == FILE_TYPE_DISK;
    } else {
        usable = ::GetLastError() == ERROR_FILE_NOT_FOUND && DirectoryWritable(ParentDirectory(beside));
    }
    if (usable)
        return beside;
    std::string config;
    const wchar_t* appdata = ::_wgetenv(L"APPDATA");
    if (appdata && appdata[0] && appdata[1] == L':') {
        config = WideToUtf8(appdata);
    } else {
        PWSTR folder = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder)) && folder)
            config = WideToUtf8(folder);
        ::CoTaskMemFree(folder);
        if (config.empty())
            config = HomeDirectory() + "\\AppData\\Roaming";
    }
    while (config.size() > 3 && IsSeparator(config.back()))
        config.pop_back();
    if (!IsSeparator(config.back()))
        config += '\\';
    return config + kConfigDirName + "\\" + kSettingsFileName;
}

}  // namespace pelkoran
