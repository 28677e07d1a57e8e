// block_splitter.h - where a best-effort block ends: the cut of a run of codes
// that makes its blocks smallest, tables included.
#pragma once

#include "codec/block_writer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace lzh {

class BlockSplitter {
public:
    // `min_codes`: no block cut off is shorter; `step`: cuts are tried every
    // `step` codes.
    BlockSplitter(std::size_t min_codes, std::size_t step);

    // Bits of codes [first, first + n) written as one block.
    using BlockBits = std::function<std::uint64_t(std::size_t first, std::size_t n)>;

    /*
     * The length of the first block of codes [0, n) (C symbols `sym`,
     * position values `pos` as in the block writer's record): the run is cut
     * where the symbol statistics of the two sides differ most, as long as
     * the two blocks take fewer bits (`bits`) than the whole; then the front
     * part is tried the same way.
     */
    std::size_t first_block(const std::uint16_t* sym, const std::uint16_t* pos, std::size_t n,
                            const BlockBits& bits);

private:
    // Statistics of one side of a cut, for the estimate of its size.
    struct Side {
        std::array<std::uint32_t, kNC> c{};
        std::array<std::uint32_t, kMaxNP> p{};
        std::uint32_t nc = 0, np = 0;  // codes, matches
        std::uint32_t used_c = 0, used_p = 0;
        std::int64_t c_sum = 0, p_sum = 0;  // sum of f log2 f over the symbols
        void add(unsigned s, unsigned ps, int sign);
        // The estimate in 1/65536 bit.
        std::int64_t bits() const;
        // The estimate for the codes of this side and `o` together.
        std::int64_t bits_with(const Side& o) const;
    };
    std::size_t best_cut(const std::uint16_t* sym, const std::uint16_t* pos, std::size_t n);

    const std::size_t min_codes_;
    const std::size_t step_;
    Side left_, right_;
};

}  // namespace lzh
