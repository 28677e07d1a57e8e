// huffman.h - Huffman code lengths limited to 16 bits, and canonical codes.
#pragma once

#include <cstdint>

namespace lzh {

inline constexpr unsigned kMaxCodeBits = 16;

// Sets `lens[0..n)` to the code lengths of a Huffman code for `freq[0..n)`,
// none longer than `max_bits` (<= 16). Symbols of frequency 0 get length 0.
// With two or more used symbols the code is complete (Kraft sum exactly 1).
// With fewer, the used symbol (if any) gets length 0 too: the caller writes
// such a table in its single-symbol form. Deterministic: ties are broken by
// symbol number. n <= 512.
void huffman_lengths(const std::uint32_t* freq, unsigned n, unsigned max_bits, std::uint8_t* lens);

// The same in two steps, for trying several codes for one set of
// frequencies: huffman_order() lists the used symbols of `freq[0..n)` by
// (frequency, symbol) ascending in `order` (room for n entries; those past
// m are left unspecified) and returns their number m;
// huffman_lengths_ordered() sets the lengths of those m symbols (and no other
// entry of `lens`) for their frequencies each raised by `bias`. A bias flattens
// the code: fewer distinct lengths, at some cost in code bits.
unsigned huffman_order(const std::uint32_t* freq, unsigned n, std::uint16_t* order);
void huffman_lengths_ordered(const std::uint32_t* freq, const std::uint16_t* order, unsigned m, unsigned bias,
                             unsigned max_bits, std::uint8_t* lens);

// Sets `codes[0..n)` to the canonical codes for `lens[0..n)`: symbols ordered
// by (length, symbol number) receive consecutive values. The lengths must
// describe a complete or incomplete (not over-subscribed) code.
void canonical_codes(const std::uint8_t* lens, unsigned n, std::uint16_t* codes);

}  // namespace lzh
