// win_support.h - scaffolding for the Windows tests: a temporary directory and whole files, by wide paths.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "wide_text.h"

namespace win_test {

// A fresh directory under the user's temporary directory, removed with all it holds.
class TempDir {
public:
    TempDir()
    {
        wchar_t base[MAX_PATH + 1];
        DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        for (unsigned i = 0; n && path_.empty() && i < 1000; ++i) {
            std::wstring candidate = std::wstring(base, n) + L"pelkoran-test-" +
                                     std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(i);
            if (::CreateDirectoryW(candidate.c_str(), nullptr))
                path_ = pelkoran::WideToUtf8(candidate);
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(pelkoran::SystemPath(path_), ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "\\" + rel; }

private:
    std::string path_;
};

inline std::filesystem::path Fs(const std::string& utf8)
{
    return std::filesystem::path(pelkoran::SystemPath(utf8));
}

inline void WriteFile(const std::string& path, const std::string& data)
{
    std::error_code ignored;
    std::filesystem::create_directories(Fs(path).parent_path(), ignored);
    std::ofstream(Fs(path), std::ios::binary) << data;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(Fs(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline int CountEntries(const std::string& dir)
{
    int n = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(Fs(dir), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}

}  // namespace win_test
