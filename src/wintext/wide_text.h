// wide_text.h - the program keeps text and paths in UTF-8; Windows' wide
// calls take UTF-16. These convert, and make a path fit for calls past 260
// characters.
#pragma once

#include <string>
#include <string_view>

namespace pelkoran {

// UTF-16 of UTF-8 `text`; invalid bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);

// UTF-8 of UTF-16 `text`; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

/*
 * SystemPath - `path` (UTF-8, '/' or '\' separators) as the wide calls take
 * it: separators turned to '\', and an absolute path of MAX_PATH characters
 * or more given the "\\?\" form ("\\?\UNC\" for a share), which lifts the
 * length limit. Relative and short paths stay as they are.
 */
std::wstring SystemPath(std::string_view path);

// The same path without the "\\?\" or "\\?\UNC\" prefix, as UTF-8.
std::string PlainPath(std::wstring_view path);

}  // namespace pelkoran
