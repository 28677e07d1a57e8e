// names.cpp - member names: file-system bytes (UTF-8) to stored bytes and back.
#include "fs/names.h"

#include "codec/io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif
#include <optional>

namespace lzh {

namespace {

#ifdef _WIN32
/*
 * Converts `in` from encoding `from` to `to` ("UTF-8" or "CPnnn") through
 * UTF-16 with the system's code pages. Returns false when any character has
 * no exact counterpart or the input is malformed: invalid input is refused
 * (MB_ERR_INVALID_CHARS) and no best-fit or default character is ever put in
 * (WC_NO_BEST_FIT_CHARS and the used-default flag).
 */
unsigned code_page_of(const char* name)
{
    if (std::strcmp(name, "UTF-8") == 0)
        return CP_UTF8;
    if (std::strncmp(name, "CP", 2) == 0)
        return unsigned(std::strtoul(name + 2, nullptr, 10));
    return 0;
}

bool convert(const char* to, const char* from, std::string_view in, std::string& out)
{
    out.clear();
    if (in.empty())
        return true;
    const unsigned from_cp = code_page_of(from);
    const unsigned to_cp = code_page_of(to);
    if (from_cp == 0 || to_cp == 0 || in.size() > 0x7FFFFFFF)
        return false;
    const int n = ::MultiByteToWideChar(from_cp, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(std::size_t(n), L'\0');
    if (::MultiByteToWideChar(from_cp, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), wide.data(), n) != n)
        return false;
    // UTF-8 takes neither flag nor default-character report; every other code page both.
    const DWORD flags = to_cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* used = to_cp == CP_UTF8 ? nullptr : &used_default;
    const int m = ::WideCharToMultiByte(to_cp, flags, wide.data(), n, nullptr, 0, nullptr, used);
    if (m <= 0 || used_default)
        return false;
    out.resize(std::size_t(m));
    if (::WideCharToMultiByte(to_cp, flags, wide.data(), n, out.data(), m, nullptr, used) != m ||
        used_default)
        return false;
    return true;
}

#else
/*
 * Converts `in` from encoding `from` to `to` with glibc iconv. Returns false
 * when any character has no exact counterpart or the input is malformed;
 * nothing is transliterated or dropped.
 */
bool convert(const char* to, const char* from, std::string_view in, std::string& out)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == iconv_t(-1))
        return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buf[1024];
    bool ok = true;
    while (src_left > 0) {
        char* dst = buf;
        std::size_t dst_left = sizeof buf;
        std::size_t r = ::iconv(cd, &src, &src_left, &dst, &dst_left);
        out.append(buf, std::size_t(dst - buf));
        if (r == std::size_t(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
        if (r != std::size_t(-1) && r > 0) {
            // Irreversible conversions (counted in r) would alter the name.
            ok = false;
            break;
        }
    }
    ::iconv_close(cd);
    return ok;
}

#endif

std::string escape_non_ascii(std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// How a name's bytes are taken: as UTF-8 (the file system's convention), as
// CP932 already (a Shift-JIS name on the disk), or as bytes of no known encoding.
enum class Form { utf8, cp932, raw };

bool is_exact_cp932(std::string_view s)
{
    std::string utf8, back;
    return convert("UTF-8", "CP932", s, utf8) && convert("CP932", "UTF-8", utf8, back) && back == s;
}

Form form_of(std::string_view s)
{
    if (is_valid_utf8(s))
        return Form::utf8;
    return is_exact_cp932(s) ? Form::cp932 : Form::raw;
}

// True when `s` holds the byte `ch` as a character of its own. In a name
// already in CP932 a trail byte may equal it (ソ is 83 5C) without being one;
// in any other form every such byte counts.
bool holds_ascii(std::string_view s, Form form, char ch)
{
    return form == Form::cp932 ? find_ascii(s, kCodePageCp932, ch) != std::string_view::npos
                               : s.find(ch) != std::string_view::npos;
}

// The level-2 header's directory separator. No UTF-8 or CP932 text holds it.
constexpr char kSeparatorByte = char(0xFF);

// Validates the shape of a relative path; throws naming it.
void check_components(std::string_view path, Form form, bool is_link, bool is_directory)
{
    const std::string shown = decode_name(path, kCodePageNone);  // readable, whatever the bytes
    if (path.empty())
        throw Error(Message::empty_stored_name);
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        std::string_view comp =
            path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (comp.empty() || comp == "." || comp == "..")
            throw Error(Message::unstorable_path, {shown});
        if (holds_ascii(comp, form, '\\'))
            throw Error(Message::backslash_in_name, {shown});
        // A link is stored as "name|target": its own name may end up in the
        // directory part too.
        if ((slash != std::string_view::npos || is_directory || is_link) &&
            comp.find(kSeparatorByte) != std::string_view::npos)
            throw Error(Message::byte_ff_in_directory_name, {shown});
        if (slash == std::string_view::npos) {
            if (is_link && holds_ascii(comp, form, '|'))
                throw Error(Message::bar_in_link_name, {shown});
            // Not UTF-8, such a link cannot move to another code page, and a
            // 0x7C trail byte would read as the separator before its target.
            if (is_link && form != Form::utf8 && comp.find('|') != std::string_view::npos)
                throw Error(Message::bar_byte_in_link_name, {shown});
            break;
        }
        start = slash + 1;
    }
}

// `name` in CP932 when it can be stored there exactly, else nullopt.
std::optional<std::string> cp932_form(std::string_view name, Form form)
{
    if (form == Form::cp932)
        return std::string(name);  // already CP932: kept byte for byte
    std::string sjis, back;
    if (form == Form::utf8 && convert("CP932", "UTF-8", name, sjis) &&
        convert("UTF-8", "CP932", sjis, back) && back == name)
        return sjis;
    return std::nullopt;
}

}  // namespace

bool is_valid_utf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char t = s[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

/*
 * The code page is chosen for the member as a whole, since one 0x46 header
 * covers the name and the link target:
 *   - CP932 when every name can be held there exactly: UTF-8 names converted
 *     (unless ¥ or 〜 would come back as other characters), names already in
 *     CP932 on the disk kept as they are;
 *   - otherwise UTF-8 (65001) when every name is UTF-8;
 *   - otherwise the bytes as they are, without a code-page header, so that a
 *     reader that writes names back unconverted restores the very same bytes.
 */
StoredNames encode_names(std::string_view path, std::string_view link_target, bool is_directory)
{
    const bool is_link = !link_target.empty();
    const Form path_form = form_of(path);
    const Form link_form = is_link ? form_of(link_target) : Form::utf8;
    check_components(path, path_form, is_link, is_directory);
    if (link_target.find(kSeparatorByte) != std::string_view::npos)
        throw Error(Message::byte_ff_in_link_target, {decode_name(path, kCodePageNone)});

    // Plain ASCII reads the same in every code page: no conversion, and no
    // code-page header (seven bytes a member).
    const auto ascii = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    };
    if (ascii(path) && ascii(link_target))
        return StoredNames{std::string(path), std::string(link_target), kCodePageNone};

    std::optional<std::string> sjis_path = cp932_form(path, path_form);
    std::optional<std::string> sjis_link =
        is_link ? cp932_form(link_target, link_form) : std::optional<std::string>("");
    // A link's CP932 name must not hold a 0x7C byte the readers would split at.
    if (sjis_path && sjis_link && (!is_link || sjis_path->find('|') == std::string::npos))
        return StoredNames{*sjis_path, *sjis_link, kCodePageCp932};

    if (path_form == Form::utf8 && link_form == Form::utf8)
        return StoredNames{std::string(path), std::string(link_target), kCodePageUtf8};
    return StoredNames{std::string(path), std::string(link_target), kCodePageNone};
}

std::string decode_name(std::string_view stored, std::uint32_t code_page)
{
    std::string out;
    switch (code_page) {
    case kCodePageUtf8:
        return is_valid_utf8(stored) ? std::string(stored) : escape_non_ascii(stored);
    case 0:
        if (is_valid_utf8(stored))
            return std::string(stored);
        [[fallthrough]];
    case kCodePageCp932:
        if (convert("UTF-8", "CP932", stored, out))
            return out;
        return escape_non_ascii(stored);
    default: {
        std::string charset = "CP" + std::to_string(code_page);
        if (convert("UTF-8", charset.c_str(), stored, out))
            return out;
        return escape_non_ascii(stored);
    }
    }
}

std::string name_key(std::string_view stored, std::uint32_t code_page)
{
    std::string out;
    bool exact = false;
    switch (code_page) {
    case kCodePageUtf8:
        exact = is_valid_utf8(stored);
        if (exact)
            out = stored;
        break;
    case kCodePageNone:
        if (is_valid_utf8(stored))
            return std::string(stored);
        [[fallthrough]];
    case kCodePageCp932:
        exact = convert("UTF-8", "CP932", stored, out);
        break;
    default:
        exact = convert("UTF-8", ("CP" + std::to_string(code_page)).c_str(), stored, out);
        break;
    }
    if (exact)
        return out;
    out.assign(1, '\xFF');
    out += stored;
    return out;
}

std::size_t find_ascii(std::string_view stored, std::uint32_t code_page, char ch)
{
    const bool multibyte = code_page != kCodePageUtf8;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        std::uint8_t b = std::uint8_t(stored[i]);
        if (multibyte && is_cp932_lead(b) && i + 1 < stored.size())
            ++i;
        else if (stored[i] == ch)
            return i;
    }
    return std::string_view::npos;
}

std::string backslashes_to_slashes(std::string_view stored, std::uint32_t code_page)
{
    std::string out(stored);
    const bool multibyte = code_page != kCodePageUtf8;
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::uint8_t b = std::uint8_t(out[i]);
        if (multibyte && is_cp932_lead(b) && i + 1 < out.size())
            ++i;  // the trail byte may be 0x5C and is not a separator
        else if (b == '\\')
            out[i] = '/';
    }
    return out;
}

}  // namespace lzh
