// test_huffman.cpp - code lengths limited to 16 bits stay complete and sensible.
#include "huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Kraft sum in units of 2^-16 (65536 = a complete code).
std::uint64_t kraft(const std::vector<std::uint8_t>& lens)
{
    std::uint64_t sum = 0;
    for (auto l : lens)
        if (l)
            sum += std::uint64_t(1) << (16 - l);
    return sum;
}

std::vector<std::uint8_t> lengths(const std::vector<std::uint32_t>& freq, unsigned max_bits = 16)
{
    std::vector<std::uint8_t> lens(freq.size(), 0xEE);
    lzh::huffman_lengths(freq.data(), static_cast<unsigned>(freq.size()), max_bits, lens.data());
    return lens;
}

// A more frequent symbol never gets a longer code.
void expect_monotonic(const std::vector<std::uint32_t>& freq, const std::vector<std::uint8_t>& lens)
{
    for (std::size_t i = 0; i < freq.size(); ++i)
        for (std::size_t j = 0; j < freq.size(); ++j)
            if (freq[i] && freq[j] && freq[i] > freq[j]) {
                EXPECT_LE(lens[i], lens[j]) << i << " vs " << j;
            }
}

TEST(Huffman, FibonacciFrequenciesAreLimitedTo16BitsAndStayComplete)
{
    // Fibonacci weights make the unlimited tree a chain: depth 29 for 30 symbols.
    std::vector<std::uint32_t> freq(30);
    freq[0] = freq[1] = 1;
    for (std::size_t i = 2; i < freq.size(); ++i)
        freq[i] = freq[i - 1] + freq[i - 2];
    const auto lens = lengths(freq);
    EXPECT_EQ(*std::max_element(lens.begin(), lens.end()), 16);
    EXPECT_EQ(kraft(lens), 65536u);
    expect_monotonic(freq, lens);
    // Padded into a C-sized alphabet with unused symbols between.
    std::vector<std::uint32_t> wide(510, 0);
    for (std::size_t i = 0; i < freq.size(); ++i)
        wide[i * 17] = freq[i];
    const auto wide_lens = lengths(wide);
    EXPECT_LE(*std::max_element(wide_lens.begin(), wide_lens.end()), 16);
    EXPECT_EQ(kraft(wide_lens), 65536u);
    for (std::size_t i = 0; i < wide.size(); ++i)
        if (!wide[i]) {
            EXPECT_EQ(wide_lens[i], 0) << i;
        }
}

TEST(Huffman, SmallLimitsAndSkewedRandomFrequenciesStayComplete)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const unsigned n = 2 + rng() % 509;
        std::vector<std::uint32_t> freq(n);
        for (auto& f : freq)
            f = (rng() % 4 == 0) ? 0 : 1u << (rng() % 24);
        freq[rng() % n] = 1;
        freq[rng() % n] = 3;
        const unsigned used = static_cast<unsigned>(std::count_if(freq.begin(), freq.end(), [](auto f) { return f; }));
        const unsigned max_bits = used > 256 ? 16 : 9 + rng() % 8;
        const auto lens = lengths(freq, max_bits);
        EXPECT_LE(*std::max_element(lens.begin(), lens.end()), max_bits);
        EXPECT_EQ(kraft(lens), 65536u) << "round " << round;
        expect_monotonic(freq, lens);
    }
}

TEST(Huffman, FewerThanTwoSymbolsGiveNoLengths)
{
    EXPECT_EQ(lengths({0, 0, 0}), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(lengths({0, 5, 0}), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(lengths({0, 5, 0, 1}), (std::vector<std::uint8_t>{0, 1, 0, 1}));
}

TEST(Huffman, CanonicalCodesFollowLengthThenSymbolOrder)
{
    const std::uint8_t lens[] = {3, 0, 2, 3, 2, 2};
    std::uint16_t codes[6];
    lzh::canonical_codes(lens, 6, codes);
    // Length 2: symbols 2, 4, 5 -> 00, 01, 10; length 3: symbols 0, 3 -> 110, 111.
    EXPECT_EQ(codes[2], 0b00);
    EXPECT_EQ(codes[4], 0b01);
    EXPECT_EQ(codes[5], 0b10);
    EXPECT_EQ(codes[0], 0b110);
    EXPECT_EQ(codes[3], 0b111);
}

}  // namespace
