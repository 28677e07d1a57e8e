// huffman.cpp - length-limited Huffman code construction.
//
// Algorithm: the used symbols are sorted by (frequency, symbol) and merged
// with the two-queue method, which yields the depth of every leaf in linear
// time. If the deepest leaf exceeds the limit, the per-length leaf counts are
// clamped to the limit and then rebalanced: each step removes one leaf from the
// deepest level and splits one leaf of the deepest shorter level into two,
// which lowers the Kraft sum by exactly one unit of 2^-limit, until the sum is
// exactly 1. Finally the lengths are handed out by frequency rank, so a more
// frequent symbol never gets a longer code than a less frequent one.
#include "codec/huffman.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace lzh {

/*
 * The used symbols, taken in symbol order, then sorted stably by frequency
 * alone, so that equal frequencies stay in symbol order: the order of
 * (frequency, symbol). A short list is sorted by insertion; a longer one by
 * radix, a byte of the frequency per pass, only as many passes as the
 * largest frequency has bytes (a block's counts need two).
 */
unsigned huffman_order(const std::uint32_t* freq, unsigned n, std::uint16_t* order)
{
    assert(n <= 512);
    constexpr unsigned kInsertionMax = 32;
    unsigned m = 0;
    std::uint32_t all = 0;  // the bits of every frequency
    for (unsigned i = 0; i < n; ++i) {
        order[m] = static_cast<std::uint16_t>(i);
        m += freq[i] != 0;
        all |= freq[i];
    }
    if (m <= kInsertionMax) {
        for (unsigned i = 1; i < m; ++i) {
            const std::uint16_t s = order[i];
            const std::uint32_t f = freq[s];
            unsigned j = i;
            for (; j > 0 && freq[order[j - 1]] > f; --j)
                order[j] = order[j - 1];
            order[j] = s;
        }
        return m;
    }
    // Frequency in the high 32 bits, symbol in the low ones.
    std::array<std::uint64_t, 512> a, b;
    for (unsigned i = 0; i < m; ++i)
        a[i] = (std::uint64_t(freq[order[i]]) << 32) | order[i];
    std::uint64_t* src = a.data();
    std::uint64_t* dst = b.data();
    for (unsigned shift = 32; shift < 64 && (std::uint64_t(all) << 32) >> shift != 0; shift += 8) {
        std::array<unsigned, 256> start{};
        for (unsigned i = 0; i < m; ++i)
            ++start[(src[i] >> shift) & 0xFF];
        unsigned sum = 0;
        for (unsigned& s : start) {
            const unsigned c = s;
            s = sum;
            sum += c;
        }
        for (unsigned i = 0; i < m; ++i)
            dst[start[(src[i] >> shift) & 0xFF]++] = src[i];
        std::swap(src, dst);
    }
    for (unsigned i = 0; i < m; ++i)
        order[i] = static_cast<std::uint16_t>(src[i]);
    return m;
}

void huffman_lengths_ordered(const std::uint32_t* freq, const std::uint16_t* order, unsigned m, unsigned bias,
                             unsigned max_bits, std::uint8_t* lens)
{
    assert(m <= 512 && max_bits >= 1 && max_bits <= kMaxCodeBits);
    if (m < 2)
        return;
    assert((1u << max_bits) >= m);

    // Nodes 0..m-1 are the leaves in ascending order, m..2m-2 the merged nodes
    // in the (non-decreasing) order they are made; the root is 2m-2.
    std::array<std::uint64_t, 1024> weight;
    std::array<std::uint16_t, 1024> parent;
    for (unsigned i = 0; i < m; ++i)
        weight[i] = std::uint64_t(freq[order[i]]) + bias;
    unsigned next_leaf = 0, next_node = m;
    auto take_smallest = [&](unsigned made) {
        if (next_leaf < m && (next_node >= made || weight[next_leaf] <= weight[next_node]))
            return next_leaf++;
        return next_node++;
    };
    for (unsigned k = m; k < 2 * m - 1; ++k) {
        const unsigned a = take_smallest(k);
        const unsigned b = take_smallest(k);
        weight[k] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint16_t>(k);
    }
    // Depths, from the root down (a parent always has a higher index).
    std::array<std::uint8_t, 1024> depth;
    depth[2 * m - 2] = 0;
    std::array<unsigned, 64> count{};
    for (int k = int(2 * m) - 3; k >= 0; --k) {
        const unsigned d = depth[parent[k]] + 1u;
        depth[k] = static_cast<std::uint8_t>(std::min(d, 63u));
        if (unsigned(k) < m)
            ++count[std::min(d, max_bits)];
    }

    // Rebalance to a Kraft sum of exactly 2^max_bits units.
    std::uint64_t kraft = 0;
    for (unsigned l = 1; l <= max_bits; ++l)
        kraft += std::uint64_t(count[l]) << (max_bits - l);
    while (kraft > (std::uint64_t(1) << max_bits)) {
        --count[max_bits];
        for (unsigned l = max_bits - 1; l >= 1; --l) {
            if (count[l] != 0) {
                --count[l];
                count[l + 1] += 2;
                break;
            }
        }
        --kraft;
    }

    // Longest codes to the least frequent symbols.
    unsigned i = 0;
    for (unsigned l = max_bits; l >= 1; --l)
        for (unsigned c = 0; c < count[l]; ++c)
            lens[order[i++]] = static_cast<std::uint8_t>(l);
    assert(i == m);
}

void huffman_lengths(const std::uint32_t* freq, unsigned n, unsigned max_bits, std::uint8_t* lens)
{
    std::array<std::uint16_t, 512> order;
    std::fill(lens, lens + n, std::uint8_t(0));
    const unsigned m = huffman_order(freq, n, order.data());
    huffman_lengths_ordered(freq, order.data(), m, 0, max_bits, lens);
}

void canonical_codes(const std::uint8_t* lens, unsigned n, std::uint16_t* codes)
{
    std::array<unsigned, kMaxCodeBits + 2> count{};
    for (unsigned i = 0; i < n; ++i)
        ++count[lens[i]];
    count[0] = 0;
    std::array<unsigned, kMaxCodeBits + 2> next{};
    unsigned code = 0;
    for (unsigned l = 1; l <= kMaxCodeBits; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    for (unsigned i = 0; i < n; ++i)
        codes[i] = lens[i] ? static_cast<std::uint16_t>(next[lens[i]]++) : 0;
}

}  // namespace lzh
