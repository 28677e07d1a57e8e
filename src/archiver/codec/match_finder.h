// match_finder.h - finds earlier occurrences of the bytes ahead (LZ77 matches).
//
// Hash chains over a sliding window. The finder owns the window: the encoder
// appends input with fill(), then walks through it with find() (search at the
// cursor, then advance by one) and skip() (advance without searching). All
// positions passed over are entered into the chains.
//
// Positions in the chains are absolute stream positions modulo 2^32, and a
// candidate is always addressed as `cursor - distance`. A candidate whose
// distance is out of range is dropped, so a stale entry (left from a slide or
// from 4 GiB earlier) can cost a comparison but never yields a wrong or unsafe
// match: the bytes compared are the ones the distance points to.
#pragma once

#include "codec/scratch.h"
#include "codec/sliding_window.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzh {

class BlockWriter;

// How hard the finder searches.
struct MatchFinderParams {
    unsigned max_chain;  // candidates examined per search
    unsigned nice_len;   // stop searching at a match this long
    unsigned good_len;   // when the caller already holds a match this long, search a quarter as deep
    // Chain positions by their first four bytes and look for three-byte
    // matches only at the latest position with the same first three bytes:
    // the nearest one, which is also the cheapest to code. The chains then
    // hold only candidates for longer matches, which makes a search much
    // cheaper on text, full of short repeats.
    bool chain4 = false;
};

struct Match {
    unsigned len = 0;   // 0 (nothing found) or 3..256
    unsigned dist = 0;  // 1..dictionary size - 1
};

class MatchFinder : public SlidingWindow {
public:
    // `dict_bits`: matches reach back at most 2^dict_bits - 1 bytes.
    // `size_hint`: the expected input size, 0 when unknown; a small input gets
    // a small hash table (clearing the full one costs more than coding a
    // small file). The hint changes only the speed, never the correctness.
    MatchFinder(unsigned dict_bits, const MatchFinderParams& params, std::uint64_t size_hint = 0);

    // Searches the longest match at the cursor, not longer than the lookahead
    // and not reaching before the start of the stream, then enters the cursor
    // position into the chains and advances by one. `prev_len` is the length
    // of the match the caller already holds (only longer ones are of interest).
    Match find(unsigned prev_len);

    // find(0) at the cursor and the positions after it, one after another,
    // until one finds a match or `n` (at least 1) were searched; the byte of
    // each position searched before the last goes to `out` as a literal.
    // Returns the last search's match: a run of literals in one call.
    Match find_literals(std::size_t n, BlockWriter& out);

    // Enters the next `n` positions into the chains and advances past them.
    void skip(std::size_t n);

    // Advances past the next `n` positions like skip(), but enters only those
    // that a search at stream position `next_search` or later can reach; the
    // caller searches nowhere before `next_search`. The searches give what
    // they would after skip(n).
    void pass(std::size_t n, std::uint64_t next_search);

private:
    Match search(unsigned prev_len);
    void insert(std::size_t pos);
    std::uint32_t hash3(const std::uint8_t* p) const;
    std::uint32_t hash_chain(const std::uint8_t* p) const;

    std::uint32_t max_dist_;
    MatchFinderParams params_;
    unsigned hash_bits_;
    // prev_ is not cleared: no link is read before it is written (see
    // find()), so its first contents cannot reach the output.
    Scratch<std::uint32_t> head_;   // hash -> latest position (of the chains)
    Scratch<std::uint32_t> head3_;  // with chain4: hash of 3 bytes -> latest position
    unsigned hash3_bits_ = 0;
    Scratch<std::uint32_t> prev_;  // position mod dict -> previous position with the same hash
};

/*
 * A cheap estimate of how much LZ coding can find in the data: the bytes that
 * the matches found by trying only the latest earlier position with the same
 * four bytes would cover. The positions seen are kept from one call to the
 * next, so data is measured against everything before it within the
 * dictionary, not only against itself.
 */
class MatchProbe {
public:
    // `dict_bits` and `size_hint` as for MatchFinder.
    MatchProbe(unsigned dict_bits, std::uint64_t size_hint);

    // A match found, at stream position `pos`.
    struct Found {
        std::uint64_t pos;
        Match m;
    };

    // Bytes of data[0, n), stream positions [pos, pos + n), that such matches
    // cover; stops at `enough` (the positions after that stay unseen). The
    // stream's bytes before `data`, back to the dictionary size or to the
    // start of the stream, must be in memory before it, unchanged since they
    // were measured. With `found`, the matches (in order, none overlapping
    // another, none past data[n)) are appended to it.
    std::size_t coverage(const std::uint8_t* data, std::uint64_t pos, std::size_t n,
                         std::size_t enough = SIZE_MAX, std::vector<Found>* found = nullptr);

private:
    std::uint32_t max_dist_;
    unsigned bits_;
    Scratch<std::uint32_t> latest_;  // hash of 4 bytes -> stream position + 1 mod 2^32 (0: none)
};

}  // namespace lzh
