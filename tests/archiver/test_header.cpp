// test_header.cpp - member headers: bytes of the level-2 writer, the level 0/1/2
// reader on known archives, and damaged headers rejected with a DataError.
#include "crc16.h"
#include "header.h"
#include "io.h"
#include "names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class MemoryBytes : public lzh::ArchiveBytes {
public:
    explicit MemoryBytes(const Bytes& b) : b_(b) {}
    std::uint64_t size() const override { return b_.size(); }
    void read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const override
    {
        ASSERT_LE(offset + size, b_.size()) << "reader asked for bytes outside the archive";
        std::copy(b_.begin() + std::ptrdiff_t(offset), b_.begin() + std::ptrdiff_t(offset + size), buf);
    }

private:
    const Bytes& b_;
};

// Every member header of `archive`, front to back.
std::vector<lzh::MemberHeader> read_all(const Bytes& archive)
{
    MemoryBytes bytes(archive);
    std::vector<lzh::MemberHeader> out;
    std::uint64_t offset = 0;
    while (auto h = lzh::read_header(bytes, offset, "test.lzh")) {
        offset = h->end_offset();
        out.push_back(*h);
    }
    return out;
}

const Bytes kStream = {0x00, 0x04, 0x28, 0x05, 0x31, 0x31, 0x37, 0x93, 0x50, 0x21, 0xb0};

// "docs/abc.txt" = "abc" x 8 at level 0, 1 and 2, as all readers accept them.
Bytes level0_archive()
{
    Bytes b = {0x22, 0x97, '-', 'l', 'h', '5', '-', 0x0b, 0, 0, 0, 0x18, 0, 0, 0, 0xc4, 0x28, 0x64,
               0x52, 0x20, 0x00, 0x0c, 'd', 'o', 'c', 's', '\\', 'a', 'b', 'c', '.', 't', 'x', 't',
               0xb2, 0xd8};
    b.insert(b.end(), kStream.begin(), kStream.end());
    b.push_back(0);
    return b;
}

Bytes level1_archive()
{
    Bytes b = {0x20, 0xed, '-', 'l', 'h', '5', '-', 0x18, 0, 0, 0, 0x18, 0, 0, 0, 0xc4, 0x28, 0x64,
               0x52, 0x20, 0x01, 0x07, 'a', 'b', 'c', '.', 't', 'x', 't', 0xb2, 0xd8, 'M', 0x05, 0x00,
               0x00, 0xb9, 0x8c, 0x08, 0x00, 0x02, 'd', 'o', 'c', 's', 0xff, 0x00, 0x00};
    b.insert(b.end(), kStream.begin(), kStream.end());
    b.push_back(0);
    return b;
}

const Bytes kLevel2Dir = {0x2a, 0x00, '-', 'l', 'h', 'd', '-', 0, 0, 0, 0, 0, 0, 0, 0, 0xc0, 0x6a,
                          0x40, 0x60, 0x20, 0x02, 0, 0, 'M', 0x05, 0x00, 0x00, 0xe5, 0x2e, 0x03,
                          0x00, 0x01, 0x08, 0x00, 0x02, 'd', 'o', 'c', 's', 0xff, 0x00, 0x00};
const Bytes kLevel2File = {0x31, 0x00, '-', 'l', 'h', '5', '-', 0x0b, 0, 0, 0, 0x18, 0, 0, 0, 0xc0,
                           0x6a, 0x40, 0x60, 0x20, 0x02, 0xb2, 0xd8, 'M', 0x05, 0x00, 0x00, 0x3e,
                           0x9c, 0x0a, 0x00, 0x01, 'a', 'b', 'c', '.', 't', 'x', 't', 0x08, 0x00,
                           0x02, 'd', 'o', 'c', 's', 0xff, 0x00, 0x00};

Bytes level2_archive()
{
    Bytes b = kLevel2Dir;
    b.insert(b.end(), kLevel2File.begin(), kLevel2File.end());
    b.insert(b.end(), kStream.begin(), kStream.end());
    b.push_back(0);
    return b;
}

// The worked example's times are local times at levels 0 and 1: read them in UTC.
class HeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        saved_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override
    {
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_tz_;
    bool had_tz_ = false;
};

TEST_F(HeaderTest, Level2WriterMatchesWorkedHeadersWithTheirOsId)
{
    lzh::MemberHeader dir;
    std::memcpy(dir.method, "-lhd-", 6);
    dir.path = "docs";
    dir.is_directory = true;
    dir.mtime = 1614834368;
    dir.os_id = 'M';
    EXPECT_EQ(lzh::build_level2_header(dir), kLevel2Dir);

    lzh::MemberHeader file;
    std::memcpy(file.method, "-lh5-", 6);
    file.path = "docs/abc.txt";
    file.packed_size = 11;
    file.original_size = 24;
    file.data_crc = 0xD8B2;
    file.mtime = 1614834368;
    file.os_id = 'M';
    EXPECT_EQ(lzh::build_level2_header(file), kLevel2File);
}

TEST_F(HeaderTest, ReadsWorkedArchivesOfLevels012)
{
    for (const Bytes& archive : {level0_archive(), level1_archive(), level2_archive()}) {
        std::vector<lzh::MemberHeader> members = read_all(archive);
        ASSERT_FALSE(members.empty());
        const lzh::MemberHeader& f = members.back();
        SCOPED_TRACE("level " + std::to_string(f.level));
        EXPECT_STREQ(f.method, "-lh5-");
        EXPECT_EQ(f.path, "docs/abc.txt");
        EXPECT_EQ(f.packed_size, 11u);
        EXPECT_EQ(f.original_size, 24u);
        EXPECT_EQ(f.data_crc, 0xD8B2);
        EXPECT_EQ(f.mtime, 1614834368);
        EXPECT_EQ(f.end_offset() + 1, archive.size());
        EXPECT_TRUE(std::equal(kStream.begin(), kStream.end(),
                               archive.begin() + std::ptrdiff_t(f.data_offset)));
    }
    std::vector<lzh::MemberHeader> l2 = read_all(level2_archive());
    ASSERT_EQ(l2.size(), 2u);
    EXPECT_TRUE(l2[0].is_directory);
    EXPECT_EQ(l2[0].path, "docs");
    EXPECT_EQ(l2[0].header_length, 42u);
}

// A level-3 member (32-bit size fields) built field by field.
Bytes level3_archive()
{
    auto put = [](Bytes& b, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(std::uint8_t(v >> (8 * i)));
    };
    const std::vector<std::pair<std::uint8_t, Bytes>> exts = {
        {0x00, {0, 0}}, {0x01, {'a', 'b', 'c', '.', 't', 'x', 't'}}, {0x02, {'d', 'o', 'c', 's', 0xff}}};
    Bytes h;
    put(h, 4, 2);   // word size
    h.insert(h.end(), {'-', 'l', 'h', '5', '-'});
    put(h, 11, 4);
    put(h, 24, 4);
    put(h, 1614834368, 4);
    h.insert(h.end(), {0x20, 0x03, 0xb2, 0xd8, 'U'});
    std::size_t total = 32;
    for (const auto& e : exts)
        total += 5 + e.second.size();
    put(h, total, 4);
    for (const auto& e : exts) {
        put(h, 5 + e.second.size(), 4);
        h.push_back(e.first);
        h.insert(h.end(), e.second.begin(), e.second.end());
    }
    put(h, 0, 4);
    const std::uint16_t crc = lzh::crc16_update(0, h.data(), h.size());
    h[33] = std::uint8_t(crc);
    h[34] = std::uint8_t(crc >> 8);
    h.insert(h.end(), kStream.begin(), kStream.end());
    h.push_back(0);
    return h;
}

TEST_F(HeaderTest, ReadsLevel3AndReportsItsDamage)
{
    const Bytes archive = level3_archive();
    std::vector<lzh::MemberHeader> members = read_all(archive);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].path, "docs/abc.txt");
    EXPECT_EQ(members[0].packed_size, 11u);
    EXPECT_EQ(members[0].data_offset, archive.size() - 12);
    for (std::size_t i = 0; i < archive.size() - 12; ++i) {
        if (i == 32)
            continue;   // the CRC header's own type byte (see below)
        Bytes damaged = archive;
        damaged[i] ^= 0xFF;
        EXPECT_THROW(read_all(damaged), lzh::DataError) << "byte " << i;
    }
}

TEST_F(HeaderTest, WrittenFieldsReadBackIncludingLinksModesAndCodePage)
{
    lzh::StoredNames names = lzh::encode_names("ソース/表/リンク", "../能/十.txt");
    lzh::MemberHeader link;
    std::memcpy(link.method, "-lhd-", 6);
    link.path = names.path;
    link.link_target = names.link_target;
    link.code_page = names.code_page;
    link.is_symlink = true;
    link.unix_mode = 0120777;
    link.uid = 1000;
    link.gid = 100;
    link.mtime = 1700000000;
    Bytes archive = lzh::build_level2_header(link);
    archive.push_back(0);

    std::vector<lzh::MemberHeader> back = read_all(archive);
    ASSERT_EQ(back.size(), 1u);
    const lzh::MemberHeader& h = back[0];
    EXPECT_TRUE(h.is_symlink);
    EXPECT_FALSE(h.is_directory);
    EXPECT_EQ(lzh::decode_name(h.path, h.code_page), "ソース/表/リンク");
    EXPECT_EQ(lzh::decode_name(h.link_target, h.code_page), "../能/十.txt");
    EXPECT_EQ(h.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(h.unix_mode, 0120777);
    EXPECT_EQ(h.uid, 1000);
    EXPECT_EQ(h.gid, 100);
    EXPECT_EQ(h.os_id, 'U');
    EXPECT_EQ(h.mtime, 1700000000);
}

TEST_F(HeaderTest, TotalSizeIsNeverAMultipleOf256)
{
    int adjusted = 0;
    for (std::size_t len = 1; len < 700; ++len) {
        lzh::MemberHeader h;
        h.path = "d/" + std::string(len, 'x');
        h.code_page = lzh::kCodePageCp932;
        h.unix_mode = 0100644;
        Bytes b = lzh::build_level2_header(h);
        ASSERT_NE(b.size() % 256, 0u) << "name length " << len;
        adjusted += b[0] == 0x01 && (b.size() - 1) % 256 == 0;
        b.push_back(0);
        std::vector<lzh::MemberHeader> back = read_all(b);   // CRC still right
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].path, h.path);
    }
    EXPECT_GT(adjusted, 0);   // the loop did hit the sizes that need the extra byte
}

TEST_F(HeaderTest, RefusesSizesOf4GiBAndMore)
{
    lzh::MemberHeader h;
    h.path = "big";
    h.original_size = h.packed_size = std::uint64_t(1) << 32;
    EXPECT_THROW(lzh::build_level2_header(h), lzh::Error);
}

// Any single damaged byte in a header is caught by the checksum or the CRC.
TEST_F(HeaderTest, EveryDamagedHeaderByteIsReported)
{
    struct Case {
        Bytes archive;
        std::size_t header_end;
    };
    for (const Case& c : {Case{level0_archive(), 36}, Case{level1_archive(), 45},
                          Case{level2_archive(), 42 + 49}}) {
        for (std::size_t i = 0; i < c.header_end; ++i) {
            // Damage to the type byte of the CRC header leaves a header without
            // a CRC, which is a valid header.
            if (c.archive[i] == 0x00 && i >= 2 && c.archive[i - 2] == 0x05 && c.archive[i - 1] == 0x00)
                continue;
            Bytes damaged = c.archive;
            damaged[i] ^= 0xFF;
            EXPECT_THROW(read_all(damaged), lzh::DataError) << "byte " << i;
        }
    }
}

TEST_F(HeaderTest, TruncatedArchiveIsReported)
{
    for (const Bytes& archive : {level0_archive(), level1_archive(), level2_archive()}) {
        for (std::size_t cut = 1; cut < archive.size() - 1; ++cut) {
            Bytes part(archive.begin(), archive.begin() + std::ptrdiff_t(cut));
            if (cut == 42 && archive.size() == level2_archive().size())
                continue;   // ends right after the directory member: a whole archive without end mark
            EXPECT_THROW(read_all(part), lzh::DataError) << "cut at " << cut;
        }
    }
}

TEST_F(HeaderTest, LevelZeroKeepsShiftJisTrailBackslash)
{
    // "ソ\a.txt": 83 5C is one character, the second 5C a separator.
    Bytes name = {0x83, 0x5C, '\\', 'a', '.', 't', 'x', 't'};
    Bytes b = {std::uint8_t(22 + name.size()), 0, '-', 'l', 'h', '0', '-', 0, 0, 0, 0, 0, 0, 0, 0,
               0, 0, 0x21, 0, 0x20, 0x00, std::uint8_t(name.size())};
    b.insert(b.end(), name.begin(), name.end());
    b.push_back(0);
    b.push_back(0);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < b.size(); ++i)
        sum = std::uint8_t(sum + b[i]);
    b[1] = sum;
    b.push_back(0);
    std::vector<lzh::MemberHeader> back = read_all(b);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(lzh::decode_name(back[0].path, back[0].code_page), "ソ/a.txt");
}

// Random damage anywhere: a DataError or a plausible header, never a crash or a read outside.
TEST_F(HeaderTest, RandomDamageNeverEscapesTheReader)
{
    std::mt19937 rng(12345);
    const Bytes sources[] = {level0_archive(), level1_archive(), level2_archive(), level3_archive()};
    for (int round = 0; round < 4000; ++round) {
        Bytes b = sources[round % 4];
        int hits = 1 + int(rng() % 4);
        for (int k = 0; k < hits; ++k)
            b[rng() % b.size()] = std::uint8_t(rng());
        if (rng() % 3 == 0)
            b.resize(rng() % b.size());
        try {
            read_all(b);
        } catch (const lzh::DataError&) {
        }
    }
}

}  // namespace
