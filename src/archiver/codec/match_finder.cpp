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
// head_ and prev_ hold positions plus the dictionary size (a multiple of it,
// so that the slot of a link is the same): their cleared entries, 0, stand
// for a position a dictionary before the stream, out of reach of any search.
// Every link is one of those or a position that was entered, older than the
// one it leaves, and a walk reads the link of a candidate only when the
// candidate is within reach, which means entered and not yet overwritten; so
// a walk reads only prev_ slots that were written, and distances grow along
// it. (Only past 4 GiB can a stale entry look near; such a walk is still
// bounded by the depth, and its candidates are checked like any other.)
// head3_ holds plain positions, cleared to 0 (position 0). Reads of the window stop at the
// end of the data, except a three-byte hash of the last position, whose
// fourth byte is masked. Any candidate, however stale, addresses bytes inside
// the window: its distance is checked against the history the window holds.
#include "codec/match_finder.h"

#include "codec/block_writer.h"
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
    // A slot for every two positions of a small input: the chains sort out
    // the collisions for less than clearing a larger table costs.
    if (size_hint > 0)
        hash_bits_ = std::clamp(unsigned(std::bit_width(size_hint >> 1)), 10u, hash_bits_);
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
    head_[h] = abs + max_dist_ + 1;
}

[[gnu::always_inline]] inline Match MatchFinder::search(unsigned prev_len)
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
        const std::uint32_t cur_key = cur32 + max_dist_ + 1;
        std::uint16_t end16 = load16(s + best_len - 1);
        while (chain-- != 0) {
            const std::uint32_t dist = cur_key - cand;
            // Out of reach (or the cursor itself, only from a stale entry).
            if (dist - 1 >= limit)
                break;
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
    head_[h] = cur32 + max_dist_ + 1;
    ++cur_;
    return best;
}

Match MatchFinder::find(unsigned prev_len)
{
    return search(prev_len);
}

Match MatchFinder::find_literals(std::size_t n, BlockWriter& out)
{
    for (;;) {
        const Match m = search(0);
        if (m.len != 0 || --n == 0)
            return m;
        out.literal(buf_[cur_ - 1]);
    }
}

void MatchFinder::skip(std::size_t n)
{
    // Only positions with three bytes ahead can start a match. Those with
    // four go into both tables without a check each.
    const std::size_t stop = cur_ + n;
    const std::size_t hashable = end_ >= 2 ? std::min(stop, end_ - 2) : cur_;
    std::size_t p = cur_;
    if (params_.chain4) {
        const std::size_t four = end_ >= 3 ? std::min(hashable, end_ - 3) : p;
        // Locals, which the stores into the tables cannot change.
        std::uint32_t* const head = head_.get();
        std::uint32_t* const head3 = head3_.get();
        std::uint32_t* const prev = prev_.get();
        const std::uint32_t mask = max_dist_;
        const unsigned shift = 32 - hash_bits_, shift3 = 32 - hash3_bits_;
        const std::uint8_t* b = &buf_[p];
        std::uint32_t abs = static_cast<std::uint32_t>(base_ + p);
        for (; p < four; ++p, ++b, ++abs) {
            const std::uint32_t key = load32(b);
            head3[((key & 0xFFFFFF) * 0x9E3779B1u) >> shift3] = abs;
            const std::uint32_t h = (key * 0x9E3779B1u) >> shift;
            prev[abs & mask] = head[h];
            head[h] = abs + mask + 1;
        }
    }
    for (; p < hashable; ++p)
        insert(p);
    cur_ = stop;
}

/*
 * A search reaches back at most max_dist_ bytes, so positions before
 * next_search - max_dist_ can never be a candidate again; whatever the chains
 * would link through them is older still, out of reach too. One position more
 * than that is entered, a whole dictionary's worth: every slot of prev_ is
 * then written before the next search, as with skip(), which keeps a stale
 * link (a position 4 GiB back) reading only slots that were written.
 */
void MatchFinder::pass(std::size_t n, std::uint64_t next_search)
{
    const std::uint64_t at = base_ + cur_;
    const std::uint64_t dict = std::uint64_t(max_dist_) + 1;
    if (next_search > at + dict) {
        const std::size_t jump = std::size_t(std::min<std::uint64_t>(n, next_search - dict - at));
        cur_ += jump;
        n -= jump;
    }
    skip(n);
}

MatchProbe::MatchProbe(unsigned dict_bits, std::uint64_t size_hint)
    : max_dist_((std::uint32_t(1) << dict_bits) - 1), bits_(std::min(dict_bits + 1, 16u))
{
    // A slot for every four positions of a small input: enough to see
    // whether matches are there.
    if (size_hint > 0)
        bits_ = std::clamp(unsigned(std::bit_width(size_hint >> 2)), 10u, bits_);
    latest_ = make_scratch<std::uint32_t>(std::size_t(1) << bits_);
    std::memset(latest_.get(), 0, sizeof(std::uint32_t) << bits_);
}

/*
 * A stale slot (a position left by an early stop, or 4 GiB back) gives a
 * distance that is checked against the dictionary and the stream start like
 * any other, so it costs a comparison of bytes that are there, never more.
 */
std::size_t MatchProbe::coverage(const std::uint8_t* data, std::uint64_t pos, std::size_t n,
                                 std::size_t enough, std::vector<Found>* found)
{
    std::size_t covered = 0;
    for (std::size_t i = 0; i + 4 <= n;) {
        const std::uint32_t key = load32(data + i);
        std::uint32_t& slot = latest_[(key * 0x9E3779B1u) >> (32 - bits_)];
        const std::uint64_t here = pos + i;
        const std::uint32_t dist = std::uint32_t(here + 1) - slot;  // slot - 1 is the candidate's position
        slot = std::uint32_t(here + 1);
        // Within the dictionary and not before the stream start (an empty slot
        // gives here + 1).
        if (dist - 1 < max_dist_ && dist <= here && load32(data + i - dist) == key) {
            const unsigned len =
                match_length(data + i, data + i - dist, unsigned(std::min<std::size_t>(n - i, kMaxMatch)));
            covered += len;
            if (found)
                found->push_back({here, Match{len, dist}});
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
