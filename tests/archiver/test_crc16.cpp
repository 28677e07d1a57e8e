// test_crc16.cpp - the archive CRC against known vectors, however the input is cut.
#include "container/crc16.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::uint16_t crc_of(const std::string& s)
{
    return lzh::crc16_update(0, reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(Crc16, MatchesKnownVectorsHoweverTheInputIsCut)
{
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[std::size_t(i)] = char(i);
    const std::pair<std::string, std::uint16_t> vectors[] = {
        {"", 0x0000},  {"a", 0xE8C1}, {"123456789", 0xBB3D}, {"abcabcabcabcabcabcabcabc", 0xD8B2},
        {all, 0xBAD3},
    };
    for (const auto& [text, crc] : vectors)
        EXPECT_EQ(crc_of(text), crc) << text.size() << " bytes";

    // The eight-bytes-a-step path and the byte path agree wherever the pieces start and end.
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data(10007);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    const std::uint16_t whole = lzh::crc16_update(0, data.data(), data.size());
    for (std::size_t piece : {1u, 3u, 9u, 4097u}) {
        std::uint16_t crc = 0;
        for (std::size_t at = 0; at < data.size(); at += piece)
            crc = lzh::crc16_update(crc, data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(crc, whole) << "piece " << piece;
    }
}

// The wide path (where the processor has one) agrees with the table for every
// length around its threshold and its 64- and 16-byte steps, at every
// alignment, from any initial value.
TEST(Crc16, WidePathMatchesTableAtAnyLengthAndAlignment)
{
    std::mt19937 rng(8);
    std::vector<std::uint8_t> data(1200);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    for (std::size_t at = 0; at < 16; ++at)
        for (std::size_t n = 0; n + at <= data.size(); n += (n < 300 ? 1 : 37)) {
            const auto init = static_cast<std::uint16_t>(rng());
            ASSERT_EQ(lzh::crc16_update(init, data.data() + at, n),
                      lzh::crc16_update_table(init, data.data() + at, n))
                << "at " << at << ", " << n << " bytes";
        }
}

}  // namespace
