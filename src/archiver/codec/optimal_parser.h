// optimal_parser.h - the cheapest parse by bit prices (best effort).
#pragma once

#include "codec/parser.h"
#include "codec/bt_match_finder.h"

#include <array>
#include <vector>

namespace lzh {

class OptimalParser : public Parser {
public:
    OptimalParser(const Method& m, const MatchFinderParams& finder_params, BlockWriter& writer,
                  std::uint64_t size_hint);

    std::size_t fill(const std::uint8_t* data, std::size_t size) override;
    void parse(bool finishing, bool window_full) override;

private:
    // A match kept for the parse; plain data, so that the (large) segment
    // arrays need no clearing.
    struct SegMatch {
        std::uint16_t len;
        std::uint16_t dist;  // < 2^16 (the largest dictionary is 2^16 bytes, distances stop one short)
    };

    void seg_room(std::size_t positions);
    void choose_path(std::size_t n);
    void set_prices(const Counts& f);
    void initial_prices(std::size_t n);
    std::uint32_t dist_price(unsigned dist) const
    {
        const unsigned ps = p_symbol(dist - 1);
        return price_p[ps] + 16 * (ps >= 2 ? ps - 1 : 0);
    }
    void emit_literal(std::uint8_t b) { writer_.literal(b); }
    void emit_match(const Match& m) { writer_.match(m.len, m.dist); }

    const unsigned np_;
    const unsigned nice_len_;
    Counts prev_counts;  // symbol counts of the previous segment's path
    bool have_prev = false;
    BlockWriter& writer_;
    BtMatchFinder bt;
    // A segment of positions with their bytes and the longest matches found
    // there, prices in 1/16 bit.
    static constexpr std::size_t kSegment = 16384;
    static constexpr unsigned kKeep = 8;  // matches kept per position (the longest)
    std::size_t seg_n = 0;                // positions gathered
    std::size_t seg_max = 0;              // positions the arrays hold before one more match
    Scratch<std::uint8_t> seg_lit;
    Scratch<std::uint8_t> seg_nmatch;
    Scratch<SegMatch> seg_match;
    // Cheapest way into each position: cost << 32 | (511 - len) << 16 | dist of
    // the last step (len 1: a literal). One word, so that keeping the cheaper
    // of two ways is a plain minimum (equal costs: the longer step, then the
    // nearer match).
    Scratch<std::uint64_t> dp;
    std::vector<std::uint32_t> path;
    std::array<std::uint32_t, kNC> price_c{};
    std::array<std::uint32_t, kMaxNP> price_p{};
    bool priced = false;
};

}  // namespace lzh
