// item_path_win.cpp - a dropped or named path made fit for the target list (Windows).
#include "item_path.h"

#include <windows.h>

#include "wide_text.h"

namespace pelkoran {

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

}  // namespace

/*
 * ResolveItemPath - on Windows the system's full path: absolute from the
 * current directory (of its drive, for "D:name"), "." and ".." taken out as
 * Windows reads them (by the text, as Explorer shows the path), '/' turned
 * to '\', trailing separators gone except the one of a drive root ("C:\").
 */
std::string ResolveItemPath(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return path;
    std::wstring wide = Utf8ToWide(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0)
            return path;
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n + 1);
    }
    const std::size_t keep = full.size() >= 3 && full[1] == L':' ? 3 : 1;
    while (full.size() > keep && IsSeparator(full.back()))
        full.pop_back();
    return WideToUtf8(full);
}

}  // namespace pelkoran
