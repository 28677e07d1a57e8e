// names.cpp - member names: file-system bytes (UTF-8) to stored bytes and back.
#include "names.h"

#include "io.h"

#include <cerrno>
#include <iconv.h>

namespace lzh {

namespace {

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

// Validates the shape of a relative path; throws with `what` naming it.
void check_components(std::string_view path, bool is_link)
{
    const std::string shown(path);
    if (path.empty())
        throw Error("格納する名前が空です");
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        std::string_view comp = path.substr(start, slash == std::string_view::npos
                                                       ? std::string_view::npos
                                                       : slash - start);
        if (comp.empty() || comp == "." || comp == "..")
            throw Error("格納できないパスです (空の要素、「.」または「..」を含みます): " + shown);
        if (comp.find('\\') != std::string_view::npos)
            throw Error("名前に「\\」を含むため格納できません (展開ソフトが区切りと見なします): " +
                        shown);
        if (slash == std::string_view::npos) {
            if (is_link && comp.find('|') != std::string_view::npos)
                throw Error("名前に「|」を含むシンボリックリンクは格納できません: " + shown);
            break;
        }
        start = slash + 1;
    }
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

StoredNames encode_names(std::string_view path, std::string_view link_target)
{
    const bool is_link = !link_target.empty();
    check_components(path, is_link);
    if (!is_valid_utf8(path) || !is_valid_utf8(link_target))
        throw Error("名前が UTF-8 ではないため格納できません: " + escape_non_ascii(path));

    // CP932 when both names survive the round trip unchanged (¥ and 〜, for
    // instance, come back as other characters and are kept in UTF-8).
    StoredNames sjis;
    sjis.code_page = kCodePageCp932;
    std::string back;
    if (convert("CP932", "UTF-8", path, sjis.path) && convert("UTF-8", "CP932", sjis.path, back) &&
        back == path && (!is_link || sjis.path.find('|') == std::string::npos) &&
        (!is_link || (convert("CP932", "UTF-8", link_target, sjis.link_target) &&
                      convert("UTF-8", "CP932", sjis.link_target, back) && back == link_target)))
        return sjis;

    StoredNames utf8;
    utf8.path = std::string(path);
    utf8.link_target = std::string(link_target);
    utf8.code_page = kCodePageUtf8;
    return utf8;
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
            ++i;   // the trail byte may be 0x5C and is not a separator
        else if (b == '\\')
            out[i] = '/';
    }
    return out;
}

}  // namespace lzh
