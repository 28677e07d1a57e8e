// test_crc16.cpp - the archive CRC against known vectors and table values.
#include "crc16.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint16_t crc_of(const std::string& s)
{
    return lzh::crc16_update(0, reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::string repeat(const std::string& s, int n)
{
    std::string r;
    while (n--)
        r += s;
    return r;
}

TEST(Crc16, MatchesKnownVectors)
{
    EXPECT_EQ(crc_of(""), 0x0000);
    EXPECT_EQ(crc_of("a"), 0xE8C1);
    EXPECT_EQ(crc_of("x"), 0x2200);
    EXPECT_EQ(crc_of("123456789"), 0xBB3D);
    EXPECT_EQ(crc_of(repeat("abc", 8)), 0xD8B2);
    EXPECT_EQ(crc_of("hello hello hello hello world\n"), 0x6141);
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(lzh::crc16_update(0, all.data(), all.size()), 0xBAD3);
}

TEST(Crc16, TableHasKnownValues)
{
    const std::uint16_t* t = lzh::crc16_table();
    EXPECT_EQ(t[0], 0x0000);
    EXPECT_EQ(t[1], 0xC0C1);
    EXPECT_EQ(t[2], 0xC181);
    EXPECT_EQ(t[3], 0x0140);
    EXPECT_EQ(t[128], 0xA001);
    EXPECT_EQ(t[255], 0x4040);
}

// The eight-bytes-a-step path and the byte path must agree however the input
// is cut into pieces and wherever the pieces start.
TEST(Crc16, PiecewiseEqualsOneShot)
{
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data(10007);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    std::uint16_t bytewise = 0;
    for (std::uint8_t b : data)
        bytewise = static_cast<std::uint16_t>(lzh::crc16_table()[(bytewise ^ b) & 0xFF] ^ (bytewise >> 8));
    EXPECT_EQ(lzh::crc16_update(0, data.data(), data.size()), bytewise);
    for (std::size_t piece : {1u, 3u, 7u, 9u, 15u, 4097u}) {
        std::uint16_t crc = 0;
        for (std::size_t at = 0; at < data.size(); at += piece)
            crc = lzh::crc16_update(crc, data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(crc, bytewise) << "piece " << piece;
    }
}

}  // namespace
