// fast_parser.h - greedy parsing, one byte of look-ahead for short matches,
// over a bucketed hash table (fast effort).
#pragma once

#include "codec/parser.h"
#include "codec/sliding_window.h"

namespace lzh {

class FastParser : public Parser, private SlidingWindow {
public:
    FastParser(const Method& m, BlockWriter& writer, std::uint64_t size_hint);

    std::size_t fill(const std::uint8_t* data, std::size_t size) override;
    void parse(bool finishing, bool window_full) override;

private:
    BlockWriter& writer_;
    std::uint32_t max_dist_;
    unsigned hash_bits_;
    // Hash of four bytes -> the four latest positions with that hash, each
    // the low 16 bits of its stream position, the latest in the low bits.
    Scratch<std::uint64_t> table_;
    // Hash of three bytes -> the latest position with that hash (16 bits).
    unsigned near_bits_;
    Scratch<std::uint16_t> near_;
    std::size_t misses_ = 0;  // positions searched in vain since the last match
};

}  // namespace lzh
