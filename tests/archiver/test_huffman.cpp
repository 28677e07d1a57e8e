// test_huffman.cpp - code lengths limited to the allowed bits stay complete and sensible.
#include "codec/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> lengths(const std::vector<std::uint32_t>& freq, unsigned max_bits)
{
    std::vector<std::uint8_t> lens(freq.size(), 0xEE);
    lzh::huffman_lengths(freq.data(), static_cast<unsigned>(freq.size()), max_bits, lens.data());
    return lens;
}

// Within the limit, a complete code (Kraft sum exactly 1), no length for an
// unused symbol, and a more frequent symbol never gets a longer code.
void expect_sound_code(const std::vector<std::uint32_t>& freq, unsigned max_bits)
{
    const auto lens = lengths(freq, max_bits);
    std::uint64_t kraft = 0;  // in units of 2^-16
    for (std::size_t i = 0; i < freq.size(); ++i) {
        ASSERT_LE(lens[i], max_bits);
        ASSERT_EQ(lens[i] == 0, freq[i] == 0) << "symbol " << i;
        if (lens[i])
            kraft += std::uint64_t(1) << (16 - lens[i]);
        for (std::size_t j = 0; j < freq.size(); ++j) {
            if (freq[j] && freq[i] > freq[j]) {
                ASSERT_LE(lens[i], lens[j]) << i << " vs " << j;
            }
        }
    }
    EXPECT_EQ(kraft, 65536u);
}

TEST(Huffman, LimitedLengthsStayComplete)
{
    // Fibonacci weights: unlimited, the tree would be a chain 29 deep. Spread
    // over a C-sized alphabet with unused symbols between.
    std::vector<std::uint32_t> fib(510, 0);
    for (std::uint32_t i = 0, a = 1, b = 1; i < 30; ++i, b = a + b, a = b - a)
        fib[i * 17] = a;
    expect_sound_code(fib, 16);
    // Random alphabets and skewed frequencies under limits from 9 to 16 bits.
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const unsigned n = 2 + rng() % 509;
        std::vector<std::uint32_t> freq(n);
        for (auto& f : freq)
            f = (rng() % 4 == 0) ? 0 : 1u << (rng() % 24);
        freq[rng() % n] = 1;
        freq[rng() % n] = 3;
        const auto used = std::count_if(freq.begin(), freq.end(), [](auto f) { return f != 0; });
        expect_sound_code(freq, used > 256 ? 16 : 9 + rng() % 8);
    }
}

// The two-step form: for each bias and limit a complete code; without a limit,
// the one-step code for the raised counts.
TEST(Huffman, OrderedLengthsWithBiasAndLimitStaySound)
{
    std::mt19937 rng(12);
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        const unsigned n = 2 + rng() % 509;
        std::vector<std::uint32_t> freq(n);
        for (auto& f : freq)
            f = (rng() % 3 == 0) ? 0 : 1 + rng() % (1u << (rng() % 16));
        freq[rng() % n] = 1;
        freq[rng() % n] = 2;
        std::vector<std::uint16_t> order(n);
        const unsigned m = lzh::huffman_order(freq.data(), n, order.data());
        for (unsigned bias : {0u, 1u, 2u}) {
            for (unsigned max_bits = 8; max_bits <= 16; ++max_bits) {
                if ((1u << max_bits) < m)
                    continue;
                std::vector<std::uint8_t> lens(n, 0);
                lzh::huffman_lengths_ordered(freq.data(), order.data(), m, bias, max_bits, lens.data());
                std::vector<std::uint32_t> raised(freq);
                for (auto& f : raised)
                    f = f ? f + bias : 0;
                std::uint64_t kraft = 0;
                for (unsigned i = 0; i < n; ++i) {
                    ASSERT_LE(lens[i], max_bits);
                    ASSERT_EQ(lens[i] == 0, freq[i] == 0) << "symbol " << i;
                    if (lens[i])
                        kraft += std::uint64_t(1) << (16 - lens[i]);
                }
                EXPECT_EQ(kraft, 65536u) << "bias " << bias << " max " << max_bits;
                if (max_bits == 16) {
                    EXPECT_EQ(lens, lengths(raised, 16)) << "bias " << bias;
                }
            }
        }
    }
}

// The order is (frequency, symbol) ascending for short and long lists, ties,
// and frequencies with bits in every byte.
TEST(Huffman, OrderSortsByFrequencyThenSymbol)
{
    std::mt19937 rng(13);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const unsigned n = 1 + rng() % 512;
        const unsigned shift = rng() % 32;  // how large the frequencies get
        std::vector<std::uint32_t> freq(n);
        for (auto& f : freq)
            f = (rng() % (1 + round % 7) == 0) ? 0 : (round % 3 == 0 ? 1 + rng() % 4 : rng() >> shift);
        std::vector<std::pair<std::uint32_t, std::uint16_t>> want;
        for (unsigned i = 0; i < n; ++i)
            if (freq[i])
                want.push_back({freq[i], std::uint16_t(i)});
        std::sort(want.begin(), want.end());
        std::vector<std::uint16_t> order(n);
        ASSERT_EQ(lzh::huffman_order(freq.data(), n, order.data()), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(order[i], want[i].second) << i;
    }
}

// One used symbol or none: no code at all (the stream stores such a table as a single symbol).
TEST(Huffman, FewerThanTwoSymbolsGiveNoLengths)
{
    EXPECT_EQ(lengths({0, 0, 0}, 16), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(lengths({0, 5, 0}, 16), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(lengths({0, 5, 0, 1}, 16), (std::vector<std::uint8_t>{0, 1, 0, 1}));
}

}  // namespace
