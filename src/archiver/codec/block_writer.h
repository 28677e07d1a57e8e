// block_writer.h - codes a record of literals and matches as -lh5-/-lh6-/-lh7- blocks.
//
// A parser hands its literals and matches to literal() and match() in order;
// the block writer keeps them in its record and writes a block whenever the
// record is full, and the rest, as the final block, in finish().
#pragma once

#include "codec/bit_writer.h"
#include "codec/io.h"
#include "codec/method.h"
#include "codec/scratch.h"
#include "codec/sliding_window.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lzh {

class BlockSplitter;

inline constexpr unsigned kNC = 510;    // literal/length alphabet
inline constexpr unsigned kNT = 19;     // code-length alphabet
inline constexpr unsigned kMaxNP = 17;  // largest position alphabet (-lh7-)
inline constexpr std::size_t kTailCodes = 64;
inline constexpr std::size_t kMaxBlockCodes = 65535;

// P symbol of position value p: the number of significant bits of p.
// P symbol of position value p: the number of significant bits of p.
inline unsigned p_symbol(unsigned p)
{
    return static_cast<unsigned>(std::bit_width(p));
}

// Symbol counts of a run of codes.
struct Counts {
    std::array<std::uint32_t, kNC> c{};
    std::array<std::uint32_t, kMaxNP> p{};

    Counts& operator+=(const Counts& o)
    {
        for (unsigned i = 0; i < kNC; ++i)
            c[i] += o.c[i];
        for (unsigned i = 0; i < kMaxNP; ++i)
            p[i] += o.p[i];
        return *this;
    }
};

/*
 * The tables of one block. Each table is either in normal form (lengths, and
 * the count n of transmitted lengths) or in single-symbol form (`single` >= 0,
 * every code zero bits long).
 */
struct BlockTables {
    std::array<std::uint8_t, kNC> c_len{};
    std::array<std::uint16_t, kNC> c_code{};
    int c_single = -1;
    unsigned c_n = 0;
    std::array<std::uint8_t, kNT> t_len{};
    std::array<std::uint16_t, kNT> t_code{};
    int t_single = -1;
    unsigned t_n = 0;
    std::array<std::uint8_t, kMaxNP> p_len{};
    std::array<std::uint16_t, kMaxNP> p_code{};
    int p_single = -1;
    unsigned p_n = 0;
    // The C lengths as T items: T symbol and its extra field (zero runs).
    struct Item {
        std::uint8_t sym;
        std::uint16_t extra;
    };
    std::array<Item, 2 * kNC> items;
    unsigned n_items = 0;
};

class BlockWriter {
public:
    // Blocks of at most `block_codes` codes (halved down to `min_block_codes`
    // while that pays; the final one up to kTailCodes more). With
    // `choose_lengths` the C code lengths are chosen among several limits by
    // the bits they cost, and blocks are cut where that pays, none shorter
    // than `min_block_codes` (best effort).
    BlockWriter(const Method& m, ByteSink& out, std::size_t block_codes, std::size_t min_block_codes,
                bool choose_lengths);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void literal(std::uint8_t b)
    {
        sym[count] = b;
        if (++count == capacity)
            flush_full();
    }
    // The `n` bytes at `b` as literals, in order.
    void literals(const std::uint8_t* b, std::size_t n)
    {
        if (n < capacity - count) {
            std::uint16_t* const out = sym.get() + count;
            count += n;
            for (std::size_t i = 0; i < n; ++i)
                out[i] = b[i];
        } else {
            literals_filling(b, n);
        }
    }
    // A match of `len` bytes at distance `dist`.
    void match(unsigned len, unsigned dist)
    {
        sym[count] = static_cast<std::uint16_t>(256 + len - kMinMatch);
        pos[count] = static_cast<std::uint16_t>(dist - 1);
        if (++count == capacity)
            flush_full();
    }
    // Writes what the record holds as the final block and the last bits.
    void finish();

    std::uint64_t bytes_out() const { return bits.bytes(); }
    std::uint64_t blocks_written() const { return blocks; }
    std::uint64_t final_block_bits() const { return last_block_bits; }
    std::uint64_t bytes_coded() const { return coded_bytes; }

private:
    void flush_full();
    void literals_filling(const std::uint8_t* b, std::size_t n);
    void write_block(std::size_t first, std::size_t n, bool final_block);
    void count_codes(std::size_t first, std::size_t n, Counts& f) const;
    void build_tables(const Counts& f, bool force_c, bool force_p, bool refine = false);
    void code_c_lengths(BlockTables& b, bool refine) const;
    void choose_c_lengths(const std::array<std::uint32_t, kNC>& c_freq);
    std::uint64_t block_bits(const Counts& f) const;
    std::uint64_t sized_block_bits(std::size_t first, std::size_t n);
    template <class Out>
    void put_tables(Out& out) const;

    const Method& method;
    const std::size_t block_codes;
    const std::size_t min_block_codes;
    const bool choose_lengths;
    BitWriter bits;
    std::size_t capacity;        // codes the record holds
    Scratch<std::uint16_t> sym;  // C symbol of each recorded code
    Scratch<std::uint16_t> pos;  // position value (distance - 1) of each match
    std::size_t count = 0;       // codes recorded
    std::uint64_t blocks = 0;    // blocks written
    std::uint64_t last_block_bits = 0;
    std::uint64_t coded_bytes = 0;  // input covered by the blocks written
    BlockTables t;
    std::unique_ptr<BlockSplitter> splitter;  // best effort: blocks cut where the data changes
};

}  // namespace lzh
