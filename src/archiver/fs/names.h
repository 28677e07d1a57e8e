// names.h - member names: file-system bytes to stored bytes and back.
//
// Names are stored in CP932 (Shift-JIS), the encoding Japanese LZH tools
// expect, with a code-page header saying 932. A member whose UTF-8 names CP932
// cannot hold exactly is stored in UTF-8 with code page 65001 instead, so no
// name is ever altered on the way in. A name that is not UTF-8 is kept byte for
// byte: with code page 932 when it is valid CP932 (a Shift-JIS name on a Linux
// disk), otherwise without a code-page header. Names that hold a backslash or
// a '|' where a reader would take it for a separator are refused with a
// reason, and so are a byte 0xFF in a directory's name or in a link's name or
// target: the level-2 header separates directories with that byte. A symbolic link, stored as "link|target", goes in UTF-8 when its
// CP932 name would hold a 0x7C trail byte that a reader could take for the '|'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lzh {

inline constexpr std::uint32_t kCodePageCp932 = 932;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;
inline constexpr std::uint32_t kCodePageNone = 0;  // no code-page header: raw bytes

// A member's names as they go into the header, in one code page.
struct StoredNames {
    std::string path;                          // '/'-separated components
    std::string link_target;                   // empty unless a symbolic link
    std::uint32_t code_page = kCodePageCp932;  // or kCodePageUtf8, kCodePageNone
};

/*
 * Converts a relative, '/'-separated path (file-system bytes, no leading or
 * trailing '/', no "." or ".." components) and, for a symbolic link, its
 * target; `is_directory` tells that `path` names a directory. Throws
 * lzh::Error naming `path` when it cannot be stored unchanged or a reader
 * would split it where the file system does not.
 */
StoredNames encode_names(std::string_view path, std::string_view link_target = {}, bool is_directory = false);

/*
 * A stored name as UTF-8, for display and for comparing paths. `code_page` is
 * the value of the member's code-page header, or 0 when it has none: then a
 * name that is valid UTF-8 is taken as UTF-8 and anything else as CP932. Bytes
 * that do not convert are shown as "\xNN".
 */
std::string decode_name(std::string_view stored, std::uint32_t code_page);

/*
 * The key an update matches names by: the name as UTF-8 text when its bytes
 * convert exactly, so that one name in two code pages is one name; otherwise a
 * 0xFF byte (never part of UTF-8 text) followed by the stored bytes, so that a
 * name that does not convert matches only the same bytes, never a name whose
 * text happens to read like its escaped form ("\xFF").
 */
std::string name_key(std::string_view stored, std::uint32_t code_page);

// A file-system path as it reads in a message: UTF-8 as it is, a Shift-JIS
// path decoded, other bytes as "\xNN".
inline std::string shown_path(std::string_view path)
{
    return decode_name(path, kCodePageNone);
}

// True when `s` is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool is_valid_utf8(std::string_view s);

// True when `b` starts a two-byte CP932 character.
constexpr bool is_cp932_lead(std::uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

/*
 * Position of the first byte `ch` in `stored` that is a character of its own,
 * not the second byte of a CP932 character (ポ is 83 7C, and 0x7C is '|'), or
 * npos. For UTF-8 (`code_page` 65001) every byte below 0x80 is a character.
 */
std::size_t find_ascii(std::string_view stored, std::uint32_t code_page, char ch);

/*
 * Replaces every backslash that separates path components in `stored` by '/',
 * leaving a 0x5C that is the second byte of a CP932 character alone (ソ is
 * 83 5C). For names in CP932 or of unknown code page; UTF-8 has no such trail
 * bytes, so there every 0x5C is a separator.
 */
std::string backslashes_to_slashes(std::string_view stored, std::uint32_t code_page);

}  // namespace lzh
