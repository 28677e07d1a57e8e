// match_finder.cpp - hash-chain match finder over a sliding window
// (sliding_window.h).
//
// Chains: head_[hash of 3 bytes] is the latest position with that hash and
// prev_[pos mod dict] the one before it. Entries of prev_ older than the
// dictionary are overwritten, but a walk stops at the first candidate beyond
// the dictionary anyway, so it never follows an overwritten link. With
// chain4, the chains hash 4 bytes and head3_[hash of 3 bytes] keeps only the
// latest position, the one candidate tried for a three-byte match; a position
// with only three bytes left (the last one of the stream) is entered into
// head3_ alone.
//
// Only the heads start cleared (0 = position 0). Every link is 0 or a
// position that was entered, and a walk happens only where position 0 was
// entered (it had as many bytes ahead as the walking position), so a walk
// reads only prev_ slots that were written. Reads of the window stop at the
// end of the data, except a three-byte hash of the last position, whose
// fourth byte is masked. Any candidate, however stale, addresses bytes inside
// the window: its distance is checked against the history the window holds.
#include "codec/match_finder.h"

#include "codec/window_bytes.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzh {
namespace {

using window_bytes::load16;
using window_bytes::load32;
using window_bytes::match_length;


}  // namespace

MatchFinder::MatchFinder(unsigned dict_bits, const MatchFinderParams& params, std::uint64_t size_hint)
    : SlidingWindow(dict_bits, size_hint),
      max_dist_((std::uint32_t(1) << dict_bits) - 1),
      params_(params),
      hash_bits_(std::min(dict_bits + 2, 16u))
{
    if (size_hint > 0)
        hash_bits_ = std::clamp(unsigned(std::bit_width(size_hint)), 10u, hash_bits_);
    auto cleared = [](unsigned bits) {
        auto table = make_scratch<std::uint32_t>(std::size_t(1) << bits);
        std::memset(table.get(), 0, sizeof(std::uint32_t) << bits);
        return table;
    };
    head_ = cleared(hash_bits_);
    if (params_.chain4) {
        hash3_bits_ = std::min(hash_bits_, 14u);
        head3_ = cleared(hash3_bits_);
    }
    prev_ = make_scratch<std::uint32_t>(std::size_t(1) << dict_bits);
}

inline std::uint32_t MatchFinder::hash3(const std::uint8_t* p) const
{
    return ((load32(p) & 0xFFFFFF) * 0x9E3779B1u) >> (32 - hash3_bits_);
}

// Hash of the chains: of 4 bytes with chain4 (`p` must have 4 bytes of data),
// else of 3 bytes.
inline std::uint32_t MatchFinder::hash_chain(const std::uint8_t* p) const
{
    const std::uint32_t key = params_.chain4 ? load32(p) : load32(p) & 0xFFFFFF;
    return (key * 0x9E3779B1u) >> (32 - hash_bits_);
}

// Enters position `pos`, which has at least 3 bytes of data.
inline void MatchFinder::insert(std::size_t pos)
{
    const std::uint8_t* p = &buf_[pos];
    const std::uint32_t abs = static_cast<std::uint32_t>(base_ + pos);
    if (params_.chain4) {
        head3_[hash3(p)] = abs;
        if (end_ - pos < 4)
            return;
    }
    const std::uint32_t h = hash_chain(p);
    prev_[abs & max_dist_] = head_[h];
    head_[h] = abs;
}

Match MatchFinder::find(unsigned prev_len, Match* all, unsigned* n_all)
{
    Match best;
    const unsigned max_len = static_cast<unsigned>(std::min<std::size_t>(end_ - cur_, kMaxMatch));
    if (max_len < kMinMatch) {
        ++cur_;
        return best;
    }
    const std::uint64_t abs = base_ + cur_;
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::uint64_t>(max_dist_, abs));
    const std::uint32_t cur32 = static_cast<std::uint32_t>(abs);
    const std::uint8_t* s = buf_.get() + cur_;
    const std::uint16_t s01 = load16(s);
    const unsigned nice = std::min(params_.nice_len, max_len);
    unsigned best_len = std::max(prev_len, kMinMatch - 1);
    auto take = [&](unsigned len, std::uint32_t dist) {
        best_len = len;
        best.len = len;
        best.dist = dist;
        if (all)
            all[(*n_all)++] = best;
    };

    // The next search starts one byte on: fetch its chain head early.
    if (max_len >= 5)
        __builtin_prefetch(&head_[hash_chain(s + 1)]);
    if (params_.chain4) {
        std::uint32_t& head3 = head3_[hash3(s)];
        if (best_len < 3) {
            const std::uint32_t dist = cur32 - head3;
            if (dist - 1 < limit) {
                const std::uint8_t* c = s - dist;
                if (load16(c) == s01 && c[2] == s[2])
                    take(match_length(s, c, max_len), dist);
            }
        }
        head3 = cur32;
        if (max_len < 4) {
            ++cur_;
            return best;
        }
    }

    const std::uint32_t h = hash_chain(s);
    if (best_len < nice) {
        unsigned chain = prev_len >= params_.good_len ? (params_.max_chain >> 2) + 1 : params_.max_chain;
        std::uint32_t cand = head_[h];
        std::uint32_t last_dist = 0;
        std::uint16_t end16 = load16(s + best_len - 1);
        while (chain-- != 0) {
            const std::uint32_t dist = cur32 - cand;
            // Out of reach, or not older than the previous candidate (a stale link).
            if (dist > limit || dist <= last_dist)
                break;
            last_dist = dist;
            const std::uint8_t* c = s - dist;
            if (load16(c + best_len - 1) == end16 && load16(c) == s01) {
                const unsigned len = match_length(s, c, max_len);
                if (len > best_len) {
                    take(len, dist);
                    if (len >= nice)
                        break;
                    end16 = load16(s + best_len - 1);
                }
            }
            cand = prev_[cand & max_dist_];
        }
    }
    prev_[cur32 & max_dist_] = head_[h];
    head_[h] = cur32;
    ++cur_;
    return best;
}

Match MatchFinder::find_quick(unsigned min_len)
{
    if (!params_.chain4 || end_ - cur_ < 8)
        return find(min_len - 1);
    const std::uint64_t abs = base_ + cur_;
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::uint64_t>(max_dist_, abs));
    const std::uint32_t cur32 = static_cast<std::uint32_t>(abs);
    const std::uint8_t* s = buf_.get() + cur_;
    const std::uint32_t h = hash_chain(s);
    const std::uint32_t cand = head_[h];
    prev_[cur32 & max_dist_] = cand;
    head_[h] = cur32;
    ++cur_;
    const std::uint32_t dist = cur32 - cand;
    if (dist - 1 < limit && load32(s - dist) == load32(s)) {
        const unsigned max_len = static_cast<unsigned>(std::min<std::size_t>(end_ - cur_ + 1, kMaxMatch));
        const unsigned len = match_length(s, s - dist, max_len);
        if (len >= min_len)
            return Match{len, dist};
    }
    return Match{};
}

void MatchFinder::skip(std::size_t n)
{
    // Only positions with three bytes ahead can start a match.
    const std::size_t stop = cur_ + n;
    const std::size_t hashable = end_ >= 2 ? std::min(stop, end_ - 2) : cur_;
    for (std::size_t p = cur_; p < hashable; ++p)
        insert(p);
    cur_ = stop;
}

std::size_t quick_match_coverage(const std::uint8_t* data, std::size_t n, std::uint32_t max_dist,
                                 std::size_t enough)
{
    constexpr unsigned kBits = 12;
    std::uint32_t latest[1u << kBits];   // position + 1 of the latest occurrence, 0 for none
    std::fill(std::begin(latest), std::end(latest), 0u);
    std::size_t covered = 0;
    for (std::size_t i = 0; i + 4 <= n;) {
        const std::uint32_t key = load32(data + i);
        std::uint32_t& slot = latest[(key * 0x9E3779B1u) >> (32 - kBits)];
        const std::size_t cand = slot;
        slot = std::uint32_t(i + 1);
        if (cand != 0 && i + 1 - cand <= max_dist && load32(data + cand - 1) == key) {
            const unsigned len = match_length(data + i, data + cand - 1, unsigned(std::min<std::size_t>(n - i, kMaxMatch)));
            covered += len;
            if (covered >= enough)
                break;
            i += len;
        } else {
            ++i;
        }
    }
    return covered;
}

}  // namespace lzh
