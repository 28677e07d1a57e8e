// chain_parser.h - greedy and lazy parsing (fast and normal effort).
#pragma once

#include "codec/parser.h"
#include "codec/match_finder.h"

#include <deque>
#include <vector>

namespace lzh {

class ChainParser : public Parser {
public:
    // `lazy`: look one byte ahead before taking a match.
    ChainParser(const Method& m, bool lazy, const MatchFinderParams& finder_params, BlockWriter& writer,
                std::uint64_t size_hint);

    std::size_t fill(const std::uint8_t* data, std::size_t size) override;
    void parse(bool finishing, bool window_full) override;
    bool sparse_only() const override;

private:
    void parse_window(bool finishing);
    void decide_chunks(bool finishing, bool force);
    bool judged();
    void sparse_step(std::size_t need);
    void emit_literal(std::uint8_t b) { writer_.literal(b); }
    void emit_match(const Match& m) { writer_.match(m.len, m.dist); }

    const bool lazy_;
    const MatchFinderParams finder_params_;
    BlockWriter& writer_;
    MatchFinder finder;
    MatchProbe probe;      // judges chunks
    bool pending = false;  // lazy: `held` was found one byte back
    Match held;
    struct Chunk {
        std::uint64_t end;
        bool sparse;
    };
    std::deque<Chunk> chunks;                      // decided and not yet passed by the parse
    std::deque<MatchProbe::Found> sparse_matches;  // in sparse chunks, not yet passed
    std::vector<MatchProbe::Found> probe_found;    // the judge's matches in one chunk
    std::uint64_t decided_end = 0;
    bool sparse = false;           // the parse is in a sparse chunk
    std::uint64_t judged_end = 0;  // the end of that chunk
    bool all_sparse = true;        // every chunk decided so far was sparse
};

}  // namespace lzh
