// bt_match_finder.cpp - binary-tree match finder over a sliding window
// (sliding_window.h).
//
// Trees: head_[hash of 3 bytes] is the root, the latest position with that
// hash. son_[2 * (pos mod dict)] links to the tree of older positions whose
// bytes sort before pos's, son_[2 * (pos mod dict) + 1] to those sorting after.
// Entering the cursor walks down from the root; the cursor becomes the new
// root, and the nodes passed are split between its two subtrees (each step
// goes to the side the cursor sorts on, so the order is kept). The bytes both
// sides of the walk already share with the cursor need not be compared again.
#include "codec/bt_match_finder.h"

#include "codec/window_bytes.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzh {

namespace {

using window_bytes::load32;

}  // namespace

BtMatchFinder::BtMatchFinder(unsigned dict_bits, unsigned depth, std::uint64_t size_hint)
    : SlidingWindow(dict_bits, size_hint),
      dict_bits_(dict_bits),
      max_dist_((std::uint32_t(1) << dict_bits) - 1),
      depth_(depth),
      hash_bits_(std::min(dict_bits + 2, 16u))
{
    if (size_hint > 0)
        hash_bits_ = std::clamp(unsigned(std::bit_width(size_hint)), 10u, hash_bits_);
    const std::size_t dict = std::size_t(1) << dict_bits;
    head_ = make_scratch<std::uint32_t>(std::size_t(1) << hash_bits_);
    std::memset(head_.get(), 0, sizeof(std::uint32_t) << hash_bits_);
    // The links of positions [0, son_positions_) fit before the tree grows to
    // the whole dictionary; a small input never needs more (fresh memory
    // costs a page fault per page, for every member).
    son_positions_ = dict;
    if (size_hint > 0 && size_hint < dict)
        son_positions_ = std::max<std::size_t>(std::bit_ceil(std::size_t(size_hint)), 4096);
    son_ = make_scratch<std::uint32_t>(2 * son_positions_);
}

BtMatchFinder::~BtMatchFinder() = default;

// Makes room for the links of every position of the dictionary. The links
// already entered (positions below son_positions_) keep their slots.
void BtMatchFinder::grow()
{
    const std::size_t dict = std::size_t(1) << dict_bits_;
    auto son = make_scratch<std::uint32_t>(2 * dict);
    std::copy(son_.get(), son_.get() + 2 * son_positions_, son.get());
    son_ = std::move(son);
    son_positions_ = dict;
}

/*
 * Enters the cursor into its tree and advances. The walk keeps two open links:
 * `smaller` (where the next node sorting before the cursor goes) and `larger`;
 * len_s and len_l are the bytes the cursor shares with every node on each side
 * so far, so a comparison starts at the shorter of the two. The walk ends at
 * an empty link, a node out of reach, after depth_ nodes, or at a node equal
 * to the cursor over the whole lookahead, whose subtrees the cursor takes over.
 */
template <bool kReport>
void BtMatchFinder::step(Match* all, unsigned* n_all)
{
    if (base_ + cur_ >= son_positions_ && son_positions_ < (std::size_t(1) << dict_bits_)) [[unlikely]]
        grow();
    const unsigned max_len = static_cast<unsigned>(std::min<std::size_t>(end_ - cur_, kMaxMatch));
    if (max_len < kMinMatch) {
        ++cur_;
        return;
    }
    const std::uint64_t abs = base_ + cur_;
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::uint64_t>(max_dist_, abs));
    const std::uint32_t cur32 = static_cast<std::uint32_t>(abs);
    const std::uint8_t* s = buf_.get() + cur_;
    const std::uint32_t h = ((load32(s) & 0xFFFFFF) * 0x9E3779B1u) >> (32 - hash_bits_);

    if (max_len > 4) {
        // The next position's root, fetched ahead: the walks go one position
        // after another, and the hash table is larger than the nearest cache.
        __builtin_prefetch(&head_[((load32(s + 1) & 0xFFFFFF) * 0x9E3779B1u) >> (32 - hash_bits_)]);
    }
    std::uint32_t link = head_[h];
    head_[h] = cur32 + 1;
    std::uint32_t* smaller = &son_[2 * (cur32 & max_dist_)];
    std::uint32_t* larger = smaller + 1;
    unsigned len_s = 0, len_l = 0;
    unsigned best_len = kMinMatch - 1;
    std::uint32_t last_dist = 0;
    for (unsigned steps = depth_;; --steps) {
        const std::uint32_t dist = cur32 - (link - 1);
        if (link == 0 || steps == 0 || dist > limit || dist <= last_dist) {
            *smaller = 0;
            *larger = 0;
            break;
        }
        last_dist = dist;
        const std::uint8_t* c = s - dist;
        std::uint32_t* node = &son_[2 * ((link - 1) & max_dist_)];
        const unsigned len = window_bytes::match_length(s, c, max_len, std::min(len_s, len_l));
        if (kReport && len > best_len) {
            best_len = len;
            all[(*n_all)++] = Match{len, dist};
        }
        if (len == max_len) {
            *smaller = node[0];
            *larger = node[1];
            break;
        }
        // A node sorting before the cursor goes to the cursor's smaller
        // subtree, and the walk continues in its larger one; and vice versa.
        if (c[len] < s[len]) {
            *smaller = link;
            smaller = node + 1;
            link = *smaller;
            len_s = len;
        } else {
            *larger = link;
            larger = node;
            link = *larger;
            len_l = len;
        }
    }
    ++cur_;
}

void BtMatchFinder::find(Match* all, unsigned* n_all)
{
    step<true>(all, n_all);
}

void BtMatchFinder::skip(std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        step<false>(nullptr, nullptr);
}

}  // namespace lzh
