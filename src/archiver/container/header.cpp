// header.cpp - LZH member headers: the level-2 writer and the level 0-3 reader.
#include "container/header.h"

#include "container/crc16.h"
#include "codec/io.h"
#include "fs/file_stat.h"
#include "fs/names.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace lzh {

namespace {

// Offsets in the base header, the same at every level.
constexpr std::size_t kOffMethod = 2;
constexpr std::size_t kOffPacked = 7;
constexpr std::size_t kOffOriginal = 11;
constexpr std::size_t kOffTime = 15;
constexpr std::size_t kOffAttribute = 19;
constexpr std::size_t kOffLevel = 20;
constexpr std::size_t kLevel2Base = 26;  // up to and including the first extended-header size
constexpr std::size_t kLevel3Base = 32;
constexpr std::uint64_t kMaxLevel3Header = std::uint64_t(1) << 20;

// Extended-header types.
constexpr std::uint8_t kExtCommon = 0x00;
constexpr std::uint8_t kExtName = 0x01;
constexpr std::uint8_t kExtDirectory = 0x02;
constexpr std::uint8_t kExtSize64 = 0x42;
constexpr std::uint8_t kExtCodePage = 0x46;
constexpr std::uint8_t kExtUnixMode = 0x50;
constexpr std::uint8_t kExtUnixIds = 0x51;
constexpr std::uint8_t kExtUnixTime = 0x54;

constexpr std::uint8_t kDirSeparator = 0xFF;
// The OS ID of the OS-9/68k archiver, whose level-2 headers state a size 2 bytes short.
constexpr std::uint8_t kOsOs9_68k = 'K';
// Longest extended-header chain of a level-1 member we accept.
constexpr std::uint64_t kMaxLevel1Chain = std::uint64_t(1) << 20;

void put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    v[at] = std::uint8_t(x);
    v[at + 1] = std::uint8_t(x >> 8);
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = std::uint8_t(x >> (8 * i));
}

std::uint16_t get16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::uint64_t get64(const std::uint8_t* p)
{
    return std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
}

struct Extension {
    std::uint8_t type;
    std::string data;
};

// MS-DOS date and time (local time) to Unix time.
std::int64_t dos_time_to_unix(std::uint32_t dos)
{
    std::tm tm{};
    tm.tm_sec = int(dos & 0x1F) * 2;
    tm.tm_min = int((dos >> 5) & 0x3F);
    tm.tm_hour = int((dos >> 11) & 0x1F);
    tm.tm_mday = int((dos >> 16) & 0x1F);
    tm.tm_mon = int((dos >> 21) & 0x0F) - 1;
    tm.tm_year = int(dos >> 25) + 80;
    tm.tm_isdst = -1;
    return std::int64_t(std::mktime(&tm));
}

// What the extended headers of one member told us.
struct ExtendedFields {
    std::optional<std::string> name;
    std::optional<std::string> directory;
    std::optional<std::uint64_t> packed64, original64;
    std::optional<std::int64_t> mtime;
    std::int64_t crc_at = -1;  // offset of the 0x00 header's CRC in the header bytes
};

class HeaderParser {
public:
    HeaderParser(const ArchiveBytes& bytes, std::uint64_t offset, const std::string& name)
        : bytes_(bytes), offset_(offset), name_(name)
    {}

    [[noreturn]] void fail(Message what, std::vector<std::string> args = {}) const
    {
        throw DataError(Message::damaged_header, {name_, std::to_string(offset_)},
                        Error(what, std::move(args)));
    }

    // Reads `size` header bytes at `at` (relative to the header), or fails as truncated.
    void fetch(std::uint64_t at, std::uint8_t* buf, std::size_t size) const
    {
        if (offset_ + at + size > bytes_.size() || offset_ + at + size < offset_)
            fail(Message::header_cut_short);
        bytes_.read_at(offset_ + at, buf, size);
    }

    /*
     * Interprets one extended header starting at `pos` of `header` (type,
     * then `len` bytes of data) into `h` and `ext`, checking the data length.
     */
    void apply(const std::vector<std::uint8_t>& header, std::size_t pos, std::size_t len, MemberHeader& h,
               ExtendedFields& ext) const
    {
        const std::uint8_t type = header[pos];
        const std::uint8_t* data = header.data() + pos + 1;
        auto need = [&](std::size_t n, const char* what) {
            if (len < n)
                fail(Message::extended_header_too_short, {what});
        };
        switch (type) {
        case kExtCommon:
            need(2, "0x00");
            ext.crc_at = std::int64_t(pos + 1);
            break;
        case kExtName:
            ext.name = std::string(reinterpret_cast<const char*>(data), len);
            break;
        case kExtDirectory:
            ext.directory = std::string(reinterpret_cast<const char*>(data), len);
            break;
        case kExtSize64:
            need(16, "0x42");
            ext.packed64 = get64(data);
            ext.original64 = get64(data + 8);
            break;
        case kExtCodePage:
            need(4, "0x46");
            h.code_page = get32(data);
            break;
        case kExtUnixMode:
            need(2, "0x50");
            h.unix_mode = get16(data);
            break;
        case kExtUnixIds:
            need(4, "0x51");
            h.gid = get16(data);
            h.uid = get16(data + 2);
            break;
        case kExtUnixTime:
            need(4, "0x54");
            ext.mtime = std::int64_t(get32(data));
            break;
        default:
            break;  // types we have no use for
        }
    }

    // True when the 0x00 header's CRC, if any, holds over the first `len` bytes of `header`.
    static bool crc_holds(const std::vector<std::uint8_t>& header, const ExtendedFields& ext, std::size_t len)
    {
        if (ext.crc_at < 0)
            return true;
        if (std::size_t(ext.crc_at) + 2 > len)
            return false;
        std::vector<std::uint8_t> copy(header.begin(), header.begin() + std::ptrdiff_t(len));
        const std::uint16_t stored = get16(copy.data() + ext.crc_at);
        copy[std::size_t(ext.crc_at)] = 0;
        copy[std::size_t(ext.crc_at) + 1] = 0;
        return crc16_update(0, copy.data(), copy.size()) == stored;
    }

    void check_crc(const std::vector<std::uint8_t>& header, const ExtendedFields& ext) const
    {
        if (!crc_holds(header, ext, header.size()))
            fail(Message::header_crc_mismatch);
    }

    void check_checksum(const std::vector<std::uint8_t>& base) const
    {
        std::uint8_t sum = 0;
        for (std::size_t i = 2; i < base.size(); ++i)
            sum = std::uint8_t(sum + base[i]);
        if (sum != base[1])
            fail(Message::header_checksum_mismatch);
    }

    std::optional<MemberHeader> parse()
    {
        if (offset_ >= bytes_.size())
            return std::nullopt;  // no end mark: tolerated, as every reader does
        std::uint8_t first[22];
        const std::size_t n = std::size_t(std::min<std::uint64_t>(sizeof first, bytes_.size() - offset_));
        fetch(0, first, n);
        // A 0 byte is the end mark, unless it is the low byte of the size of a
        // level-2 header of 256, 512, ... bytes, which some writers leave as it is.
        if (first[0] == 0 &&
            (n < sizeof first || first[1] == 0 || !looks_like_header(first) || first[kOffLevel] != 2))
            return std::nullopt;
        if (n < 7 || first[kOffMethod] != '-' || first[kOffMethod + 4] != '-') {
            if (offset_ == 0)
                throw DataError(Message::not_an_lzh_archive, {name_});
            fail(Message::not_an_lzh_header);
        }
        if (n < sizeof first)
            fail(Message::header_cut_short);
        if (!looks_like_header(first)) {
            if (offset_ == 0)
                throw DataError(Message::not_an_lzh_archive, {name_});
            fail(Message::not_an_lzh_header);
        }

        MemberHeader h;
        std::memcpy(h.method, first + kOffMethod, 5);
        h.method[5] = '\0';
        h.level = first[kOffLevel];
        h.header_offset = offset_;
        switch (h.level) {
        case 0:
        case 1:
            parse_level01(h, first);
            break;
        case 2:
        case 3:
            parse_level23(h, first);
            break;
        default:
            fail(Message::unknown_header_level, {std::to_string(h.level)});
        }
        h.data_offset = offset_ + h.header_length;
        if (h.data_offset + h.packed_size > bytes_.size() || h.data_offset + h.packed_size < h.data_offset)
            fail(Message::member_data_cut_short, {decode_name(h.path, h.code_page)});
        classify(h);
        return h;
    }

private:
    // Joins directory part and name, and turns the separators into '/'.
    void set_path(MemberHeader& h, const std::string& directory, const std::string& name,
                  bool backslash_separates)
    {
        std::string dir = directory;
        for (char& c : dir)
            if (std::uint8_t(c) == kDirSeparator)
                c = '/';
        std::string path = dir;
        if (!path.empty() && path.back() != '/' && !name.empty())
            path += '/';
        path += name;
        if (backslash_separates)
            path = backslashes_to_slashes(path, h.code_page);
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        h.path = path;
    }

    void parse_level01(MemberHeader& h, const std::uint8_t* first)
    {
        const std::size_t hsize = first[0];
        const std::size_t n = first[21];
        std::vector<std::uint8_t> base(hsize + 2);
        if (h.level == 0 ? hsize < 20 + n : hsize < 25 + n)
            fail(Message::header_size_mismatches_name);
        fetch(0, base.data(), base.size());
        check_checksum(base);

        h.original_size = get32(&base[kOffOriginal]);
        const std::uint32_t dos_time = get32(&base[kOffTime]);
        h.mtime = dos_time_to_unix(dos_time);
        h.mtime_known = dos_time != 0;
        std::string name(reinterpret_cast<const char*>(&base[22]), n);

        if (h.level == 0) {
            h.os_id = 0;
            h.packed_size = get32(&base[kOffPacked]);
            // The oldest writers end the header right after the name, with no data CRC.
            h.has_crc = hsize >= 22 + n;
            if (h.has_crc)
                h.data_crc = get16(&base[22 + n]);
            // The Unix area some writers append: 'U', version, mtime, mode, uid, gid.
            if (hsize >= 22 + n + 12 && base[24 + n] == 'U') {
                const std::uint8_t* u = &base[24 + n];
                h.mtime = std::int64_t(get32(u + 2));
                h.mtime_known = true;
                h.unix_mode = get16(u + 6);
                h.uid = get16(u + 8);
                h.gid = get16(u + 10);
            }
            h.header_length = base.size();
            // Unix archivers separate level-0 path components with 0xFF (never
            // a byte of a CP932 or UTF-8 name) as well as with '\'.
            for (char& c : name)
                if (std::uint8_t(c) == kDirSeparator)
                    c = '/';
            set_path(h, "", name, true);
            return;
        }

        h.data_crc = get16(&base[22 + n]);
        h.os_id = base[24 + n];
        // The chain follows the base header; its sizes count in the skip size.
        std::vector<std::uint8_t> all(base);
        ExtendedFields ext;
        std::size_t next = get16(&base[hsize]);
        std::uint64_t chain = 0;
        while (next != 0) {
            if (next < 3)
                fail(Message::bad_extended_header_size);
            chain += next;
            if (chain > kMaxLevel1Chain)
                fail(Message::extended_headers_too_long);
            std::size_t pos = all.size();
            all.resize(pos + next);
            fetch(pos, all.data() + pos, next);
            apply(all, pos, next - 3, h, ext);
            next = get16(&all[pos + next - 2]);
        }
        check_crc(all, ext);
        const std::uint64_t skip = get32(&base[kOffPacked]);
        if (chain > skip)
            fail(Message::extended_headers_past_packed_size);
        h.packed_size = skip - chain;
        h.header_length = all.size();
        finish_sizes(h, ext);
        set_path(h, ext.directory.value_or(""), ext.name.value_or(name), true);
    }

    /*
     * Levels 2 and 3 share one layout; level 3 widens the total size (a 32-bit
     * field at 24, after a "word size" of 4 at 0) and every extended-header
     * size field to 4 bytes.
     */
    void parse_level23(MemberHeader& h, const std::uint8_t* first)
    {
        const bool wide = h.level == 3;
        const std::size_t field = wide ? 4 : 2;
        const std::size_t base = wide ? kLevel3Base : kLevel2Base;
        std::uint64_t total = get16(first);
        if (wide) {
            std::uint8_t sizes[8];
            fetch(24, sizes, sizeof sizes);
            if (total != 4)
                fail(Message::bad_header_word_size);
            total = get32(sizes);
            if (total > kMaxLevel3Header)
                fail(Message::header_too_long);
        }
        if (total < base)
            fail(Message::bad_header_size);
        std::vector<std::uint8_t> header(total);
        fetch(0, header.data(), header.size());
        // The OS-9/68k archiver states its level-2 header size 2 bytes short.
        const std::uint64_t stated = total;
        if (!wide && header[23] == kOsOs9_68k) {
            total += 2;
            header.resize(total);
            fetch(stated, header.data() + stated, 2);
        }
        auto size_at = [&](std::size_t at) -> std::uint64_t {
            return wide ? get32(&header[at]) : get16(&header[at]);
        };

        h.packed_size = get32(&header[kOffPacked]);
        h.original_size = get32(&header[kOffOriginal]);
        h.mtime = std::int64_t(get32(&header[kOffTime]));
        h.data_crc = get16(&header[21]);
        h.os_id = header[23];

        ExtendedFields ext;
        std::uint64_t pos = base;
        std::uint64_t size = size_at(base - field);
        while (size != 0) {
            if (size < 1 + field || pos + size > total)
                fail(Message::extended_header_outside);
            apply(header, std::size_t(pos), std::size_t(size - 1 - field), h, ext);
            std::uint64_t next = size_at(std::size_t(pos + size - field));
            pos += size;
            size = next;
        }
        // Its CRC may cover the stated bytes or the true ones; either is sound.
        if (total == stated || !crc_holds(header, ext, std::size_t(stated)))
            check_crc(header, ext);
        h.header_length = total;
        finish_sizes(h, ext);
        // A backslash in a level-2/3 name is a character, not a separator.
        set_path(h, ext.directory.value_or(""), ext.name.value_or(""), false);
    }

    void finish_sizes(MemberHeader& h, const ExtendedFields& ext)
    {
        if (ext.packed64) {
            h.packed_size = *ext.packed64;
            h.original_size = *ext.original64;
        }
        if (ext.mtime) {
            h.mtime = *ext.mtime;
            h.mtime_known = true;
        }
    }

    // Directory or symbolic link ("link|target"), from the method and the name.
    void classify(MemberHeader& h)
    {
        if (std::strcmp(h.method, "-lhd-") != 0)
            return;
        const std::size_t bar = find_ascii(h.path, h.code_page, '|');
        const bool link_mode = h.unix_mode && (*h.unix_mode & S_IFMT) == S_IFLNK;
        if (bar != std::string::npos && (!h.unix_mode || link_mode)) {
            h.is_symlink = true;
            h.link_target = h.path.substr(bar + 1);
            h.path.resize(bar);
        } else {
            h.is_directory = true;
        }
    }

    const ArchiveBytes& bytes_;
    std::uint64_t offset_;
    const std::string& name_;
};

}  // namespace

namespace {

// The name (0x01) and directory (0x02) extensions' data: what is stored, split
// at its last '/' (a directory is all directory part), with the level-2
// separator 0xFF after each directory. A symbolic link is "link|target".
std::pair<std::string, std::string> split_stored_path(const MemberHeader& h)
{
    std::string full = h.path;
    if (h.is_symlink)
        full += "|" + h.link_target;
    std::string dir, name;
    if (h.is_directory) {
        dir = full;
    } else {
        std::size_t slash = full.rfind('/');
        if (slash != std::string::npos) {
            dir = full.substr(0, slash);
            name = full.substr(slash + 1);
        } else {
            name = full;
        }
    }
    std::string dir_field;
    if (!dir.empty()) {
        dir_field = dir;
        for (char& c : dir_field)
            if (c == '/')
                c = char(kDirSeparator);
        dir_field += char(kDirSeparator);
    }
    return {std::move(name), std::move(dir_field)};
}

// The extended headers of `h`, in the order they are written.
std::vector<Extension> extensions_of(const MemberHeader& h)
{
    auto [name, dir_field] = split_stored_path(h);
    std::vector<Extension> exts;
    exts.push_back({kExtCommon, std::string(2, '\0')});
    exts.push_back({kExtName, std::move(name)});
    if (!dir_field.empty())
        exts.push_back({kExtDirectory, std::move(dir_field)});
    if (h.code_page != 0) {
        std::string cp(4, '\0');
        for (int i = 0; i < 4; ++i)
            cp[i] = char(h.code_page >> (8 * i));
        exts.push_back({kExtCodePage, cp});
    }
    if (h.unix_mode)
        exts.push_back({kExtUnixMode, std::string{char(*h.unix_mode), char(*h.unix_mode >> 8)}});
    if (h.uid && h.gid)
        exts.push_back(
            {kExtUnixIds, std::string{char(*h.gid), char(*h.gid >> 8), char(*h.uid), char(*h.uid >> 8)}});
    return exts;
}

}  // namespace

std::vector<std::uint8_t> build_level2_header(const MemberHeader& h)
{
    if (h.packed_size > kMax32 || h.original_size > kMax32)
        throw Error(Message::file_of_4gib, {decode_name(h.path, h.code_page)});
    std::vector<Extension> exts = extensions_of(h);

    std::size_t total = kLevel2Base;
    for (const Extension& e : exts)
        total += 3 + e.data.size();
    if (total % 256 == 0) {
        // A first byte of 0 would read as the end mark: one information byte more.
        exts[0].data += '\0';
        ++total;
    }
    if (total > 0xFFFF)
        throw Error(Message::name_too_long, {decode_name(h.path, h.code_page)});

    std::vector<std::uint8_t> out(total, 0);
    put16(out, 0, std::uint32_t(total));                       // total header size
    std::memcpy(&out[kOffMethod], h.method, 5);                // method ID
    put32(out, kOffPacked, std::uint32_t(h.packed_size));      // packed size
    put32(out, kOffOriginal, std::uint32_t(h.original_size));  // original size
    std::int64_t t = h.mtime < 0 ? 0 : h.mtime > std::int64_t(kMax32) ? std::int64_t(kMax32) : h.mtime;
    put32(out, kOffTime, std::uint32_t(t));  // mtime, UTC
    out[kOffAttribute] = 0x20;               // reserved, fixed
    out[kOffLevel] = 2;                      // header level
    put16(out, 21, h.data_crc);              // data CRC
    out[23] = h.os_id;                       // OS ID
    std::size_t pos = 24;
    std::size_t crc_at = 0;
    for (const Extension& e : exts) {
        put16(out, pos, std::uint32_t(3 + e.data.size()));  // size of the next header
        pos += 2;
        out[pos] = e.type;
        if (e.type == kExtCommon)
            crc_at = pos + 1;
        std::memcpy(&out[pos + 1], e.data.data(), e.data.size());
        pos += 1 + e.data.size();
    }
    put16(out, pos, 0);  // end of the chain
    put16(out, crc_at, crc16_update(0, out.data(), out.size()));
    return out;
}

std::optional<MemberHeader> read_header(const ArchiveBytes& bytes, std::uint64_t offset,
                                        const std::string& name)
{
    return HeaderParser(bytes, offset, name).parse();
}

bool looks_like_header(const std::uint8_t* p)
{
    if (p[kOffMethod] != '-' || p[kOffMethod + 4] != '-' || p[kOffLevel] > 3)
        return false;
    for (std::size_t i = kOffMethod + 1; i < kOffMethod + 4; ++i) {
        const std::uint8_t c = p[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

}  // namespace lzh
