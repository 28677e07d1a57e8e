// optimal_parser.cpp - the cheapest parse of each segment by its bit prices
// (best effort), over the binary-tree match finder.
#include "codec/optimal_parser.h"

#include "codec/huffman.h"

#include <algorithm>

namespace lzh {

OptimalParser::OptimalParser(const Method& m, const MatchFinderParams& finder_params, BlockWriter& writer,
                             std::uint64_t size_hint)
    : np_(m.np),
      nice_len_(finder_params.nice_len),
      writer_(writer),
      bt(m.dict_bits, finder_params.max_chain, size_hint)
{
    // A small input gets segment arrays its size; they grow should it be longer.
    seg_room(size_hint > 0 && size_hint < kSegment ? std::size_t(size_hint) : kSegment);
}

std::size_t OptimalParser::fill(const std::uint8_t* data, std::size_t size)
{
    return bt.fill(data, size);
}

/*
 * Optimal parsing: gathers the matches of every position of a segment from
 * the binary-tree finder (a match of nice length or more is taken as it is,
 * and the positions it covers are skipped), then finds the cheapest way
 * through the segment twice: with the prices of the previous segment, then
 * with prices from the first path's own symbol counts, a quarter of the
 * previous segment's counts added (the first segment, priced at first by a
 * guess, three times: the third pass with the second path's counts). A segment spans write() calls, so the parse does not
 * depend on how the input was cut into pieces.
 */
void OptimalParser::parse(bool finishing, bool)
{
    const std::size_t need = finishing ? 1 : kMaxMatch + 2;
    const unsigned nice = nice_len_;
    Match found[kMaxMatch];
    while (bt.lookahead() >= need) {
        if (seg_n >= seg_max) [[unlikely]]
            seg_room(kSegment);
        const std::size_t i = seg_n;
        seg_lit[i] = bt.byte_at(0);
        unsigned n_found = 0;
        bt.find(found, &n_found);
        const unsigned keep = std::min(n_found, kKeep);
        for (unsigned k = 0; k < keep; ++k) {
            const Match& m = found[n_found - keep + k];
            seg_match[i * kKeep + k] = {std::uint16_t(m.len), std::uint16_t(m.dist)};
        }
        seg_nmatch[i] = std::uint8_t(keep);
        ++seg_n;
        if (keep > 0 && found[n_found - 1].len >= nice) {
            const unsigned len = found[n_found - 1].len;
            for (unsigned k = 1; k < len; ++k) {
                seg_lit[seg_n] = bt.byte_at(std::ptrdiff_t(k) - 1);
                seg_nmatch[seg_n++] = 0;
            }
            bt.skip(len - 1);
        }
        if (seg_n >= kSegment) {
            choose_path(seg_n);
            seg_n = 0;
        }
    }
    if (finishing && seg_n > 0) {
        choose_path(seg_n);
        seg_n = 0;
    }
}

// Sizes the segment arrays for `positions` positions plus one match; what
// was gathered is kept.
void OptimalParser::seg_room(std::size_t positions)
{
    const std::size_t room = positions + kMaxMatch + 1;
    auto lit = make_scratch<std::uint8_t>(room);
    auto nmatch = make_scratch<std::uint8_t>(room);
    auto match = make_scratch<SegMatch>(room * kKeep);
    if (seg_n > 0) {
        std::copy(seg_lit.get(), seg_lit.get() + seg_n, lit.get());
        std::copy(seg_nmatch.get(), seg_nmatch.get() + seg_n, nmatch.get());
        std::copy(seg_match.get(), seg_match.get() + seg_n * kKeep, match.get());
    }
    seg_lit = std::move(lit);
    seg_nmatch = std::move(nmatch);
    seg_match = std::move(match);
    dp = make_scratch<std::uint64_t>(room + 1);
    seg_max = positions;
}

// Prices in 1/16 bit from symbol counts: the Huffman code lengths they give,
// unused symbols a little dearer than the dearest used one.
void OptimalParser::set_prices(const Counts& f)
{
    std::array<std::uint8_t, kNC> c_len{};
    std::array<std::uint8_t, kMaxNP> p_len{};
    huffman_lengths(f.c.data(), kNC, kMaxCodeBits, c_len.data());
    huffman_lengths(f.p.data(), np_, kMaxCodeBits, p_len.data());
    const unsigned c_max = *std::max_element(c_len.begin(), c_len.end());
    const unsigned p_max = *std::max_element(p_len.begin(), p_len.begin() + np_);
    for (unsigned i = 0; i < kNC; ++i)
        price_c[i] = 16 * (c_len[i] ? c_len[i] : std::max(c_max + 2, 8u));
    for (unsigned i = 0; i < np_; ++i)
        price_p[i] = 16 * (p_len[i] ? p_len[i] : std::max(p_max + 1, 4u));
    priced = true;
}

// Prices before anything was coded: literals by their frequency in the
// segment, lengths and positions by a rough guess.
void OptimalParser::initial_prices(std::size_t n)
{
    Counts f;
    for (std::size_t i = 0; i < n; ++i)
        ++f.c[seg_lit[i]];
    for (unsigned len = kMinMatch; len <= kMaxMatch; ++len)
        f.c[256 + len - kMinMatch] = std::max<std::uint32_t>(
            1, std::uint32_t(n / (16u << std::min(unsigned(std::bit_width(len - kMinMatch)), 8u))));
    for (unsigned i = 0; i < np_; ++i)
        f.p[i] = std::uint32_t(n / 64 + 1);
    set_prices(f);
}

/*
 * The cheapest path through positions [0, n) of the segment, emitted as
 * literals and matches. Each match is tried at every length past the
 * previous (shorter, nearer) one's up to its own.
 */
void OptimalParser::choose_path(std::size_t n)
{
    // The first segment starts from guessed prices: one pass more.
    const int passes = priced ? 2 : 3;
    Counts last;  // symbol counts of the path taken
    if (!priced)
        initial_prices(n);
    for (int pass = 0; pass < passes; ++pass) {
        std::fill(dp.get(), dp.get() + n + 1, ~std::uint64_t(0));
        dp[0] = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t c = std::uint32_t(dp[i] >> 32);
            std::uint64_t* to = dp.get() + i;
            to[1] = std::min(to[1], std::uint64_t(c + price_c[seg_lit[i]]) << 32 | 510u << 16);
            unsigned lo = kMinMatch;
            const SegMatch* m = &seg_match[i * kKeep];
            for (unsigned k = 0; k < seg_nmatch[i]; ++k) {
                const unsigned top = unsigned(std::min<std::size_t>(m[k].len, n - i));
                if (top < lo)
                    break;
                const std::uint32_t base = c + dist_price(m[k].dist);
                const std::uint32_t tag = (511u << 16) | m[k].dist;
                const std::uint32_t* pc = price_c.data() + 256 - kMinMatch;
                for (unsigned len = lo; len <= top; ++len)
                    to[len] = std::min(to[len], std::uint64_t(base + pc[len]) << 32 | (tag - (len << 16)));
                lo = top + 1;
            }
        }
        path.clear();
        for (std::size_t j = n; j > 0;) {
            const std::uint32_t w = std::uint32_t(dp[j]);
            const std::uint32_t len = 511 - (w >> 16);
            path.push_back((w & 0xFFFF) << 9 | len);
            j -= len;
        }
        Counts f;
        std::size_t at = 0;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            const unsigned len = *it & 0x1FF;
            if (len == 1) {
                ++f.c[seg_lit[at]];
            } else {
                ++f.c[256 + len - kMinMatch];
                ++f.p[p_symbol((*it >> 9) - 1)];
            }
            at += len;
        }
        if (pass == passes - 1)
            last = f;
        if (have_prev) {
            // A quarter of the previous segment's counts weigh in: the
            // block this segment goes into likely holds codes of that one too.
            for (unsigned i = 0; i < kNC; ++i)
                f.c[i] = 4 * f.c[i] + prev_counts.c[i];
            for (unsigned i = 0; i < kMaxNP; ++i)
                f.p[i] = 4 * f.p[i] + prev_counts.p[i];
        }
        set_prices(f);
    }
    prev_counts = last;
    have_prev = true;
    std::size_t at = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const unsigned len = *it & 0x1FF;
        if (len == 1)
            emit_literal(seg_lit[at]);
        else
            emit_match(Match{len, *it >> 9});
        at += len;
    }
}

}  // namespace lzh
