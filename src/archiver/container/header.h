// header.h - LZH member headers: the level-2 writer and the level 0-3 reader.
//
// We write one layout only, level 2, chosen so that lhasa, libarchive, 7-Zip
// and jLHA all read it the same way:
//   - byte 19 is 0x20 and the OS ID is 'U' (lhasa lower-cases all-capitals
//     names under 'M');
//   - extended headers 0x00 (header CRC), 0x01 (base name, empty for a
//     directory), 0x02 (directory part, 0xFF after every component, only when
//     there is one), 0x46 (code page of the names), 0x50 (Unix mode) and 0x51
//     (gid/uid, only when given: the archive writer leaves them out);
//   - a total size whose low byte is never 0 (a reader would take a 0 first
//     byte for the end mark): one extra byte inside the 0x00 header avoids it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lzh {

inline constexpr std::uint8_t kOsUnix = 'U';
inline constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;

struct MemberHeader {
    char method[6] = "-lh0-";       // method ID and a NUL
    std::uint64_t packed_size = 0;  // data bytes after the header
    std::uint64_t original_size = 0;
    std::int64_t mtime = 0;   // Unix time, UTC
    bool mtime_known = true;  // false for a DOS time field of 0 with no other time
    std::uint16_t data_crc = 0;
    bool has_crc = true;           // false for an old level-0 header with no room for it
    std::uint8_t os_id = kOsUnix;  // 0 at level 0, which has none
    unsigned level = 2;
    std::string path;                        // stored bytes, '/'-separated, no trailing '/'
    std::uint32_t code_page = 0;             // of the 0x46 header, 0 when absent
    std::optional<std::uint16_t> unix_mode;  // st_mode incl. file-type bits
    std::optional<std::uint16_t> uid, gid;
    bool is_directory = false;  // -lhd- that is not a symbolic link
    bool is_symlink = false;    // -lhd- named "link|target"
    std::string link_target;    // stored bytes

    // Where the member sits in its archive (filled in by the reader).
    std::uint64_t header_offset = 0;
    std::uint64_t header_length = 0;  // up to the first data byte
    std::uint64_t data_offset = 0;

    std::uint64_t end_offset() const { return data_offset + packed_size; }
};

/*
 * Builds the level-2 header for `h` (method, sizes, mtime, data CRC, path,
 * code page, link target, mode, uid/gid; the offsets are ignored). The path of
 * a directory has no trailing '/'. Throws lzh::Error when the sizes need more
 * than 32 bits or the header would exceed 65535 bytes.
 */
std::vector<std::uint8_t> build_level2_header(const MemberHeader& h);

// Random access to an archive's bytes, for the header reader.
class ArchiveBytes {
public:
    virtual ~ArchiveBytes() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly `size` bytes at `offset`; the range lies within size().
    virtual void read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const = 0;
};

/*
 * Reads the member header at `offset` of `bytes` (levels 0 to 3). Returns
 * nullopt at the end mark (a 0 byte) or at the very end of the bytes. A 0 byte
 * that is the low byte of a level-2 header's size (256, 512, ...) is read as
 * that header when the bytes after it have the shape of one. Checks
 * the level-0/1 checksum, the 0x00 header CRC when present, the bounds of every
 * field and of the extended-header chain, and that the data lies within the
 * archive; anything wrong throws lzh::DataError saying what, with `name` (the
 * archive's path) in the message.
 */
std::optional<MemberHeader> read_header(const ArchiveBytes& bytes, std::uint64_t offset,
                                        const std::string& name);

/*
 * True when the 22 bytes at `p` look like the start of a member header: a
 * method ID of the form "-xxx-" with letters and digits inside, and a header
 * level of 0 to 3. Says nothing about checksums; read_header decides those.
 */
bool looks_like_header(const std::uint8_t* p);

}  // namespace lzh
