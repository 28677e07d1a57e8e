// collation_win.cpp - the list's order through CompareStringEx.
#include "collation.h"

#include <windows.h>

#include "wide_text.h"

namespace pelkoran {

namespace {

// The same collation as on Linux, whatever the user's own locale: one order
// wherever the list is kept.
constexpr wchar_t kLocale[] = L"ja-JP";
constexpr DWORD kFlags = NORM_IGNORECASE | SORT_DIGITSASNUMBERS;

}  // namespace

int CollationKey::compare(const CollationKey& other) const
{
    int result =
        ::CompareStringEx(kLocale, kFlags, text_.data(), static_cast<int>(text_.size()), other.text_.data(),
                          static_cast<int>(other.text_.size()), nullptr, nullptr, 0);
    if (result == 0)  // the system refused: the code units' order
        return text_.compare(other.text_);
    return result - CSTR_EQUAL;
}

NameCollator::NameCollator() = default;

CollationKey NameCollator::KeyOf(const std::string& text) const
{
    return CollationKey(Utf8ToWide(text));
}

}  // namespace pelkoran
