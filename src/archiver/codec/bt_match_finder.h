// bt_match_finder.h - binary-tree match finder for the best effort.
//
// Same walk as MatchFinder (fill(), then find() or skip() one position after
// another), but the positions sharing a hash are kept in a binary search tree
// ordered by the bytes that follow them, newest at the root. One walk from the
// root passes the lexicographic neighbours of the cursor, so it finds, for each
// length, the nearest match at least that long, and the tree stays sorted up
// to full match length (256) at a bounded number of steps per position.
//
// Positions are absolute stream positions modulo 2^32, as in MatchFinder; every
// step of a walk goes to an older position, and a candidate out of reach ends
// the walk, so stale links can cost a search but never yield a wrong match.
#pragma once

#include "codec/match_finder.h"
#include "codec/scratch.h"
#include "codec/sliding_window.h"

#include <cstddef>
#include <cstdint>

namespace lzh {

class BtMatchFinder : public SlidingWindow {
public:
    // `dict_bits`: matches reach back at most 2^dict_bits - 1 bytes.
    // `depth`: tree nodes visited per position at most.
    // `size_hint`: the expected input size (0: unknown); sizes the tables only.
    BtMatchFinder(unsigned dict_bits, unsigned depth, std::uint64_t size_hint = 0);
    ~BtMatchFinder();
    BtMatchFinder(const BtMatchFinder&) = delete;
    BtMatchFinder& operator=(const BtMatchFinder&) = delete;

    // Enters the cursor position into its tree and advances by one. Every
    // match found on the way that is longer than all before it (increasing
    // lengths from 3, each at the nearest distance found) goes to
    // all[*n_all]; `all` needs room for kMaxMatch entries.
    void find(Match* all, unsigned* n_all);

    // Enters the next `n` positions and advances past them.
    void skip(std::size_t n);

private:
    template <bool kReport>
    void step(Match* all, unsigned* n_all);
    void grow();

    unsigned dict_bits_;
    std::uint32_t max_dist_;
    unsigned depth_;
    unsigned hash_bits_;
    // son_ is not cleared: a node's two links are written when it is entered,
    // before any walk can reach it.
    Scratch<std::uint32_t> head_;  // hash -> root (latest position), + 1; 0: empty
    Scratch<std::uint32_t> son_;   // 2 links per position mod dict: smaller, larger (+ 1; 0: none)
    std::size_t son_positions_;    // positions son_ has room for (the dictionary, or fewer at first)
};

}  // namespace lzh
