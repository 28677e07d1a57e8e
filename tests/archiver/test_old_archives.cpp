// test_old_archives.cpp - archives other LZH archivers wrote over the years,
// built here byte by byte from the format: level-0 names split at 0xFF, a
// level-2 header of 256 bytes, OS-9/68k headers, level-0 headers without a
// data CRC, bytes after the end mark, executable stubs, methods we do not
// decode, and what an update does with each.
#include "archive_support.h"
#include "container/crc16.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "container/header.h"
#include "codec/method.h"
#include "fs/names.h"

#include <gtest/gtest.h>

#include <random>
#include <span>

using namespace test_support;

namespace {

void put16(std::string& s, std::size_t at, unsigned v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}

void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

std::uint16_t crc_of(const std::string& data)
{
    return lzh::crc16_update(0, reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

// 2021-03-04 05:06:08 as an MS-DOS date and time.
constexpr std::uint32_t kDosTime = 0x526428C4;

std::string le16(unsigned v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}

// A level-0 or level-1 header: size, checksum, method, sizes, DOS time, 0x20,
// the level, `name`, then `tail` (what follows the name at that level).
std::string old_header(int level, const char* method, const std::string& name, std::uint32_t skip_size,
                       const std::string& original, std::uint32_t dos_time, const std::string& tail)
{
    std::string h(22, '\0');
    h[0] = char(20 + name.size() + tail.size());
    h.replace(2, 5, method);
    put32(h, 7, skip_size);
    put32(h, 11, std::uint32_t(original.size()));
    put32(h, 15, dos_time);
    h[19] = 0x20;
    h[20] = char(level);
    h[21] = char(name.size());
    h += name + tail;
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i)
        sum = std::uint8_t(sum + std::uint8_t(h[i]));
    h[1] = char(sum);
    return h;
}

// A level-0 member: the data CRC after the name unless `with_crc` is false, then `packed`.
std::string level0(const char* method, const std::string& name, const std::string& packed,
                   const std::string& original, std::uint32_t dos_time = kDosTime, bool with_crc = true)
{
    return old_header(0, method, name, std::uint32_t(packed.size()), original, dos_time,
                      with_crc ? le16(crc_of(original)) : "") +
           packed;
}

// A level-1 member with no extended headers but the header CRC.
std::string level1(const char* method, const std::string& name, const std::string& packed,
                   const std::string& original, char os_id)
{
    // The skip size counts the 0x00 extended header and the data.
    std::string h = old_header(1, method, name, std::uint32_t(packed.size() + 5), original, kDosTime,
                               le16(crc_of(original)) + os_id + le16(5));
    const std::size_t crc_at = h.size() + 1;
    h += std::string(5, '\0');  // 0x00: CRC, then no next header
    put16(h, crc_at, crc_of(h));
    return h + packed;
}

/*
 * A level-2 member: base header, 0x00 (CRC), 0x01 (`name`) and 0x02 (`dir`
 * with its 0xFF separators) when given. `short_by` makes the stated size
 * that many bytes smaller than the header, as the OS-9/68k archiver does.
 */
std::string level2(const char* method, const std::string& name, const std::string& dir,
                   const std::string& packed, const std::string& original, char os_id = 'M',
                   unsigned short_by = 0)
{
    std::string h(24, '\0');
    h.replace(2, 5, method);
    put32(h, 7, std::uint32_t(packed.size()));
    put32(h, 11, std::uint32_t(original.size()));
    put32(h, 15, 1614834368);
    h[19] = 0x20;
    h[20] = 2;
    put16(h, 21, crc_of(original));
    h[23] = os_id;
    auto ext = [&](char type, const std::string& data) {
        h += std::string(2, '\0');
        put16(h, h.size() - 2, unsigned(3 + data.size()));
        h += type;
        h += data;
    };
    ext('\0', std::string(2, '\0'));
    const std::size_t crc_at = 27;
    ext('\1', name);
    if (!dir.empty())
        ext('\2', dir);
    h += std::string(2, '\0');
    put16(h, 0, unsigned(h.size() - short_by));
    put16(h, crc_at, crc_of(h));
    return h + packed;
}

std::vector<lzh::MemberHeader> read_lenient(const std::string& path, lzh::ArchiveLayout& layout)
{
    return lzh::ArchiveReader(path).read_members(layout);
}

std::string extract(lzh::ArchiveReader& reader, const lzh::MemberHeader& h)
{
    StringSink sink;
    reader.extract(h, sink);
    return sink.data;
}

// The codes of the lzh::Error `f` throws, the failure first and then each
// detail; empty when it throws none.
template <class F>
std::vector<lzh::Message> codes_of(F f)
{
    std::vector<lzh::Message> codes;
    try {
        f();
    } catch (const lzh::Error& e) {
        for (const lzh::Error* at = &e; at; at = at->detail())
            codes.push_back(at->code());
    }
    return codes;
}

// The detail of the lzh::Error `f` throws (its arguments name what was found).
template <class F>
std::vector<std::string> detail_args_of(F f)
{
    try {
        f();
    } catch (const lzh::Error& e) {
        return e.detail() ? e.detail()->args() : std::vector<std::string>{"(no detail)"};
    }
    return {"(nothing thrown)"};
}

// "abc" x 8 as -lh5- (the format's worked stream), and the text.
const std::string kAbc = "abcabcabcabcabcabcabcabc";
const std::string kAbcStream = {0x00, 0x04, 0x28, 0x05, 0x31, 0x31, 0x37, char(0x93), 0x50, 0x21, char(0xb0)};

class OldArchives : public ::testing::Test {
protected:
    // Adds the file `stored` (under src/) with `data` to the archive, as the command would.
    lzh::UpdateReport add(const std::string& stored, const std::string& data)
    {
        write_file(t_ / ("src/" + stored), data);
        return lzh::update_archive(archive_, {entry_for(t_ / ("src/" + stored), stored)}, {}, nullptr);
    }

    ScopedEnv utc_{"TZ", "UTC"};
    TempDir t_;
    const std::string archive_ = t_ / "a.lzh";
};

/*
 * The Unix archiver's level-0 names use 0xFF between components: they read
 * as "a/x.txt", and an update of a/x.txt replaces the member. In "ソ\a.txt"
 * 83 5C is one character, only the second 5C a separator.
 */
TEST_F(OldArchives, LevelZeroNamesSplitAtFFAndUpdatesReplaceThem)
{
    write_file(archive_, level0("-lh0-", "a\xFFx.txt", "old", "old") +
                             level0("-lh0-", "b\\y.txt", "keep", "keep") +
                             level0("-lh0-", "\x83\x5C\\a.txt", "", "") + std::string(1, '\0'));
    lzh::ArchiveLayout layout;
    auto members = read_lenient(archive_, layout);
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0].path, "a/x.txt");
    EXPECT_EQ(members[1].path, "b/y.txt");
    EXPECT_EQ(lzh::decode_name(members[2].path, members[2].code_page), "ソ/a.txt");

    const lzh::UpdateReport r = add("a/x.txt", "new");
    EXPECT_EQ(r.replaced, 1u);
    EXPECT_EQ(r.added, 0u);
    const std::vector<Member> back = read_archive(archive_);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].h.path, "a/x.txt");
    EXPECT_EQ(back[0].data, "new");
    EXPECT_EQ(back[1].data, "keep");
}

/*
 * A name that does not convert to text matches only the same bytes: an old
 * member literally named "\xFF" (four characters) stays beside a new file
 * named by the byte 0xFF, and an old member of that byte is replaced by it.
 */
TEST_F(OldArchives, UndecodableNamesMatchByTheirBytes)
{
    write_file(archive_, level2("-lh0-", "\\xFF", "", "literal", "literal") +
                             level2("-lh0-", "raw\xFE", "", "old raw", "old raw") + std::string(1, '\0'));
    lzh::UpdateReport r = add("\xFF", "byte");
    EXPECT_EQ(r.added, 1u);
    EXPECT_EQ(r.replaced, 0u);
    r = add("raw\xFE", "new raw");
    EXPECT_EQ(r.replaced, 1u);
    const std::vector<Member> back = read_archive(archive_);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].h.path, "\\xFF");
    EXPECT_EQ(back[0].data, "literal");
    EXPECT_EQ(back[1].h.path, "raw\xFE");
    EXPECT_EQ(back[1].data, "new raw");
    EXPECT_EQ(back[2].h.path, "\xFF");
    EXPECT_EQ(back[2].data, "byte");
}

/*
 * A level-2 header of exactly 256 bytes starts with a 0 byte: it is read as a
 * header, with the members after it; a 0 byte followed by anything else is
 * still the end mark.
 */
TEST_F(OldArchives, LevelTwoHeaderOf256BytesIsAHeader)
{
    const std::string name(222, 'n');  // 24 + 5 + (3 + 222) + 2 = 256
    const std::string big = level2("-lh5-", name, "", kAbcStream, kAbc);
    ASSERT_EQ(std::uint8_t(big[0]), 0);
    ASSERT_EQ(std::uint8_t(big[1]), 1);
    write_file(archive_, big + level2("-lh0-", "next", "", "x", "x") + std::string(1, '\0'));
    lzh::ArchiveReader reader(archive_);
    const auto members = reader.members();
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].path, name);
    EXPECT_EQ(extract(reader, members[0]), kAbc);
    EXPECT_EQ(members[1].path, "next");

    // Kept byte for byte by an update.
    add("other", "o");
    const std::string after = read_file(archive_);
    EXPECT_EQ(after.substr(0, big.size()), big);

    // A 0 byte and a header that does not hold is damage, not the end.
    std::string bad = big;
    bad[40] ^= 1;
    write_file(archive_, bad + std::string(1, '\0'));
    EXPECT_THROW(lzh::ArchiveReader(archive_).members(), lzh::DataError);
}

/*
 * Bytes after the end mark (record padding, a second archive): test and list
 * read the members and say how many bytes follow; an update refuses the file
 * and leaves it as it was.
 */
TEST_F(OldArchives, BytesAfterTheEndMarkAreReadAroundButNotUpdated)
{
    const std::string archive = level0("-lh5-", "abc.txt", kAbcStream, kAbc) + std::string(1, '\0');
    for (const std::string& tail :
         {std::string(128 - archive.size() % 128, '\x1A'), archive, std::string("\0", 1)}) {
        write_file(archive_, archive + tail);
        lzh::ArchiveLayout layout;
        lzh::ArchiveReader reader(archive_);
        const auto members = reader.read_members(layout);
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(extract(reader, members[0]), kAbc);
        EXPECT_EQ(layout.start, 0u);
        EXPECT_EQ(layout.trailing_at, archive.size());
        EXPECT_EQ(layout.trailing, tail.size());

        const auto refuse = [&] { add("new.txt", "n"); };
        EXPECT_EQ(codes_of(refuse),
                  (std::vector{lzh::Message::not_overwriting, lzh::Message::bytes_after_end_mark}));
        EXPECT_EQ(detail_args_of(refuse),
                  (std::vector<std::string>{std::to_string(tail.size()), std::to_string(archive.size()),
                                            archive_}));
        EXPECT_EQ(read_file(archive_), archive + tail);
    }
}

/*
 * An executable stub before the archive: the first header that parses and
 * whose checksum holds is found, past look-alikes in the stub; an update
 * refuses the file. Files with no archive in them are "not an LZH archive",
 * whatever their first bytes.
 */
TEST_F(OldArchives, SelfExtractingArchivesAreFoundAfterTheirStub)
{
    std::string stub = "MZ\x90" + std::string(61, '\0') + "This program cannot be run in DOS mode.";
    stub += level0("-lh5-", "fake", "", "xyz").substr(0, 24);  // a header whose checksum fails
    stub += "-lh5-...-lh0-" + noise(3000, 4);
    const std::string archive = level2("-lhd-", "", "docs\xFF", "", "") +
                                level1("-lh5-", "abc.txt", kAbcStream, kAbc, 'M') + std::string(1, '\0');
    write_file(archive_, stub + archive);
    lzh::ArchiveLayout layout;
    lzh::ArchiveReader reader(archive_);
    const auto members = reader.read_members(layout);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(layout.start, stub.size());
    EXPECT_EQ(layout.trailing, 0u);
    EXPECT_TRUE(members[0].is_directory);
    EXPECT_EQ(extract(reader, members[1]), kAbc);

    const auto refuse = [&] { add("new.txt", "n"); };
    EXPECT_EQ(codes_of(refuse), (std::vector{lzh::Message::not_overwriting, lzh::Message::self_extracting}));
    EXPECT_EQ(detail_args_of(refuse), (std::vector<std::string>{std::to_string(stub.size()), archive_}));
    EXPECT_EQ(read_file(archive_), stub + archive);

    for (const std::string& other :
         {stub, std::string(5, '\0') + "junk after zero bytes", std::string("\0", 1) + noise(5000, 3)}) {
        write_file(archive_, other);
        EXPECT_EQ(codes_of([&] { read_lenient(archive_, layout); }),
                  std::vector{lzh::Message::not_an_lzh_archive});
    }
}

// The OS-9/68k archiver's level-2 header states a size 2 bytes short.
TEST_F(OldArchives, Os9LevelTwoHeadersAreReadAndKeptWhole)
{
    const std::string os9 = level2("-lh5-", "abc.txt", "os9\xFF", kAbcStream, kAbc, 'K', 2);
    write_file(archive_, os9 + std::string(1, '\0'));
    lzh::ArchiveReader reader(archive_);
    const auto members = reader.members();
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "os9/abc.txt");
    EXPECT_EQ(members[0].header_length, os9.size() - kAbcStream.size());
    EXPECT_EQ(extract(reader, members[0]), kAbc);
    add("new.txt", "n");
    EXPECT_EQ(read_file(archive_).substr(0, os9.size()), os9);
    EXPECT_EQ(read_archive(archive_).size(), 2u);
}

/*
 * A level-0 header with no room for the data CRC has none: the data is still
 * decoded and its length checked. A DOS time of 0 is an unknown time.
 */
TEST_F(OldArchives, LevelZeroWithoutDataCrcAndUnknownTimes)
{
    write_file(archive_, level0("-lh5-", "old.txt", kAbcStream, kAbc, 0, false) +
                             level0("-lh0-", "cut.txt", "ab", "abc", kDosTime, false) + std::string(1, '\0'));
    lzh::ArchiveReader reader(archive_);
    const auto members = reader.members();
    ASSERT_EQ(members.size(), 2u);
    EXPECT_FALSE(members[0].has_crc);
    EXPECT_FALSE(members[0].mtime_known);
    EXPECT_TRUE(members[1].mtime_known);
    EXPECT_EQ(extract(reader, members[0]), kAbc);
    EXPECT_THROW(extract(reader, members[1]), lzh::DataError);
}

/*
 * Methods we do not decode are named as such, not as damage: PMarc, and the
 * LHARK variant of -lh7- (level 1, OS ID blank). -lh4- decodes, within its
 * 4 KiB window; LArc's stored -lz4- reads as stored.
 */
TEST_F(OldArchives, UnsupportedMethodsAreNotDamageAndLh4Decodes)
{
    const std::string far = noise(5000, 1) + noise(5000, 1);
    const std::string far_lh5 = [&] {
        const auto v = lzh::encode(lzh::kLh5, lzh::Effort::normal,
                                   std::span(reinterpret_cast<const std::uint8_t*>(far.data()), far.size()));
        return std::string(v.begin(), v.end());
    }();
    write_file(archive_,
               level0("-pm2-", "pm.txt", "\1\2\3", kAbc) + level1("-lh7-", "ark.txt", "\4\5", kAbc, ' ') +
                   level0("-lh4-", "lh4.txt", kAbcStream, kAbc) + level0("-lh4-", "far.bin", far_lh5, far) +
                   level0("-lz4-", "lz4.txt", kAbc, kAbc) + std::string(1, '\0'));
    lzh::ArchiveReader reader(archive_);
    const auto members = reader.members();
    ASSERT_EQ(members.size(), 5u);
    for (int i : {0, 1}) {
        try {
            extract(reader, members[std::size_t(i)]);
            ADD_FAILURE() << members[std::size_t(i)].path;
        } catch (const lzh::UnsupportedMethod& e) {
            EXPECT_EQ(e.code(), i == 0 ? lzh::Message::unsupported_method : lzh::Message::unsupported_lhark);
            if (i == 0) {
                EXPECT_EQ(e.args().back(), "-pm2-");
            }
        }
    }
    EXPECT_EQ(extract(reader, members[2]), kAbc);
    EXPECT_EQ(codes_of([&] { extract(reader, members[3]); }),
              (std::vector{lzh::Message::damaged_member, lzh::Message::damaged_data,
                           lzh::Message::distance_past_dictionary}));
    EXPECT_EQ(extract(reader, members[4]), kAbc);
}

// Writes fields most significant bit first, as -lzs- reads them.
struct BitWriter {
    std::string out;
    unsigned used = 0;
    void put(unsigned value, unsigned n)
    {
        while (n--) {
            if (used % 8 == 0)
                out += '\0';
            if ((value >> n) & 1)
                out.back() = char(out.back() | (0x80 >> (used % 8)));
            ++used;
        }
    }
};

std::string decode_old(const lzh::Method& m, const std::string& packed, std::size_t size)
{
    const auto v =
        lzh::decode(m, std::span(reinterpret_cast<const std::uint8_t*>(packed.data()), packed.size()), size);
    return std::string(v.begin(), v.end());
}

/*
 * LArc's methods address their ring buffer absolutely and prime it: -lzs-
 * with spaces, writing from 2048 - 17; -lz5- with 13 copies of each byte
 * value, the values up, the values down, zeros and spaces, writing from
 * 4096 - 18. Matches may reach into the primed bytes.
 */
TEST(OldMethods, LArcStreamsAssembledByHand)
{
    BitWriter lzs;
    lzs.put(1, 1), lzs.put('a', 8);
    lzs.put(1, 1), lzs.put('b', 8);
    lzs.put(0, 1), lzs.put(2031, 11), lzs.put(4 - 2, 4);  // "abab", overlapping what it writes
    lzs.put(0, 1), lzs.put(100, 11), lzs.put(3 - 2, 4);   // three primed spaces
    lzs.put(1, 1), lzs.put('!', 8);
    EXPECT_EQ(decode_old(lzh::kLzs, lzs.out, 10), "ababab   !");

    const std::string lz5 = {
        0x13,  // flags, lowest first: 2 literals, 2 matches, a literal, 3 matches
        'x',        'y',        char(0xEE), char(0xF2),  // ring 4078, length 5: "xyxyx" after "xy"
        0x5F,       0x31,                                // ring 18 + 13 * 'A', length 4: "AAAA"
        'z',        0x42,       char(0xD1),  // ring 18 + 13 * 256 + '0', length 4: the ascending values
        char(0xD8), char(0xE1),              // ring 18 + 13 * 256 + 256 + (255 - '9'), length 4: descending
        char(0x90), char(0xF3),              // ring 18 + 13 * 256 + 512 + 128 - 2, length 6: zeros, spaces
    };
    EXPECT_EQ(decode_old(lzh::kLz5, lz5, 26), std::string("xyxyxyxAAAAz01239876") + '\0' + '\0' + "    ");

    // Cut short: an error, never bytes made up.
    EXPECT_THROW(decode_old(lzh::kLz5, lz5.substr(0, 9), 26), lzh::DataError);
    EXPECT_THROW(decode_old(lzh::kLzs, lzs.out.substr(0, 3), 10), lzh::DataError);
}

// Any bytes given to the old decoders end in output or a DataError, within the packed size.
TEST(OldMethods, RandomStreamsNeverCrash)
{
    std::mt19937 rng(17);
    for (const lzh::Method* m : {&lzh::kLh1, &lzh::kLzs, &lzh::kLz5}) {
        for (int round = 0; round < 200; ++round) {
            const std::string packed = noise(1 + rng() % 3000, unsigned(round));
            const std::size_t size = 1 + rng() % 20000;
            try {
                EXPECT_EQ(decode_old(*m, packed, size).size(), size);
            } catch (const lzh::DataError&) {
            }
        }
    }
}

}  // namespace
