// fast_parser.cpp - greedy parsing over a bucketed hash table (fast effort).
//
// Each slot of the table is one 64-bit word: the four latest positions whose
// first four bytes share a hash, as the low 16 bits of their stream
// positions. A search compares the four candidates' first eight bytes without
// a branch and takes the longest match (the nearest of equal ones); entering
// a position shifts it into its word. A candidate is addressed as
// `cursor - distance`, the distance taken modulo 2^16 and checked against the
// history the window holds, so a stale or aliased entry can cost a comparison
// but never yields a wrong match. A second table keeps the latest position of
// each three-byte hash, tried when no four bytes match, for a near
// three-byte match.
//
// Matches are taken greedily, except that a short one waits for one byte of
// look-ahead: the next position's longer match wins. Positions inside a
// match are entered into the buckets only. Where nothing matches for a while
// (already-compressed data), the search steps over more and more positions,
// coding them as literals unsearched.
#include "codec/fast_parser.h"

#include "codec/window_bytes.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzh {

namespace {

using window_bytes::load32;
using window_bytes::load64;
using window_bytes::match_length;

constexpr unsigned kSkipShift = 5;  // after 2^kSkipShift misses, search every second position, ...
constexpr std::size_t kMaxStep = 16;
// A match shorter than this is taken only when the next position has no
// longer one (one byte of look-ahead, where it pays most).
constexpr unsigned kLazyBelow = 6;
// A three-byte match farther back than this costs about what its literals do.
constexpr std::uint32_t kNearMax = 512;

}  // namespace

FastParser::FastParser(const Method& m, BlockWriter& writer, std::uint64_t size_hint)
    : SlidingWindow(m.dict_bits, size_hint),
      writer_(writer),
      max_dist_((std::uint32_t(1) << m.dict_bits) - 1),
      hash_bits_(std::min(m.dict_bits, 15u))
{
    // Four slots of a bucket for every position of a small input.
    if (size_hint > 0)
        hash_bits_ = std::clamp(unsigned(std::bit_width(size_hint >> 2)), 8u, hash_bits_);
    near_bits_ = std::min(hash_bits_ + 1, 14u);
    near_ = make_scratch<std::uint16_t>(std::size_t(1) << near_bits_);
    std::memset(near_.get(), 0, sizeof(std::uint16_t) << near_bits_);
    table_ = make_scratch<std::uint64_t>(std::size_t(1) << hash_bits_);
    std::memset(table_.get(), 0, sizeof(std::uint64_t) << hash_bits_);
}

std::size_t FastParser::fill(const std::uint8_t* data, std::size_t size)
{
    return SlidingWindow::fill(data, size);
}

namespace {

struct Found {
    unsigned len = 0;
    unsigned dist = 0;
};

// The tables and window of one parse() call, held in locals.
struct Tables {
    std::uint64_t* table;
    std::uint16_t* near;
    unsigned shift;       // 32 - hash bits of `table`
    unsigned near_shift;  // 32 - hash bits of `near`
    std::uint32_t max_dist;

    // Enters the position of `s` (4 bytes ahead), stream position `abs`, into the buckets.
    void insert(const std::uint8_t* s, std::uint64_t abs) const
    {
        std::uint64_t& slot = table[(load32(s) * 0x9E3779B1u) >> shift];
        slot = slot << 16 | std::uint16_t(abs);
    }

    // The longest match at `s` (stream position `abs`, `ahead` >= 4 bytes
    // ahead); enters the position.
    Found search(const std::uint8_t* s, std::uint64_t abs, std::size_t ahead) const
    {
        const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::uint64_t>(max_dist, abs));
        const std::uint32_t word = load32(s);
        std::uint64_t& slot = table[(word * 0x9E3779B1u) >> shift];
        std::uint16_t& near_slot = near[((word & 0xFFFFFF) * 0x9E3779B1u) >> near_shift];
        const std::uint16_t near_pos = near_slot;
        near_slot = std::uint16_t(abs);
        const std::uint64_t bucket = slot;
        slot = bucket << 16 | std::uint16_t(abs);
        const unsigned max_len = static_cast<unsigned>(std::min<std::size_t>(ahead, kMaxMatch));
        Found best;
        if (ahead >= 8 && limit > 0) {
            // Every candidate's first eight bytes at once, without a branch:
            // a distance out of reach is replaced by one in reach (which
            // matches whatever its bytes match, a true match too).
            const std::uint64_t v = load64(s);
            const std::uint32_t cur16 = std::uint16_t(abs);
            auto reach = [&](unsigned i) {
                const std::uint32_t dist = std::uint16_t(cur16 - std::uint32_t(bucket >> (16 * i)));
                return dist - 1 < limit ? dist : limit;
            };
            auto key = [&](unsigned i) {
                // Longest first, then the newest (the nearest).
                const std::uint64_t x = load64(s - reach(i)) ^ v;
                return (unsigned(std::countr_zero(x)) >> 3) << 2 | (3 - i);  // 8 bytes when x == 0
            };
            const unsigned k01 = std::max(key(0), key(1));
            const unsigned k23 = std::max(key(2), key(3));
            const unsigned best_key = std::max(k01, k23);
            unsigned len = best_key >> 2;
            if (len >= 4) {
                std::uint32_t dist = reach(3 - (best_key & 3));
                if (len == 8 && max_len > 8) {
                    len = match_length(s, s - dist, max_len, 8);
                    for (unsigned i = 4 - (best_key & 3); i < 4 && len < max_len; ++i) {
                        const std::uint8_t* c = s - reach(i);
                        if (load64(c) == v && c[len] == s[len]) {
                            const unsigned l = match_length(s, c, max_len, 8);
                            if (l > len) {
                                len = l;
                                dist = reach(i);
                            }
                        }
                    }
                }
                best.len = std::min(len, max_len);
                best.dist = dist;
            }
        } else {
            for (unsigned i = 0; i < 4; ++i) {
                const std::uint32_t dist =
                    std::uint16_t(std::uint32_t(abs) - std::uint32_t(bucket >> (16 * i)));
                const std::uint8_t* c = s - dist;
                if (dist - 1 < limit && load32(c) == word && c[best.len] == s[best.len]) {
                    const unsigned len = match_length(s, c, max_len, 4);
                    if (len > best.len) {
                        best.len = len;
                        best.dist = dist;
                        if (len == max_len)
                            break;
                    }
                }
            }
        }
        if (best.len == 0) {
            const std::uint32_t dist = std::uint16_t(std::uint32_t(abs) - near_pos);
            if (dist - 1 < std::min<std::uint32_t>(limit, kNearMax) &&
                ((load32(s - dist) ^ word) & 0xFFFFFF) == 0) {
                best.len = 3;
                best.dist = dist;
            }
        }
        return best;
    }
};

}  // namespace

void FastParser::parse(bool finishing, bool)
{
    const std::size_t need = finishing ? 1 : kMaxMatch + 1;
    const Tables t{table_.get(), near_.get(), 32 - hash_bits_, 32 - near_bits_, max_dist_};
    const std::uint8_t* const buf = buf_.get();
    const std::uint64_t base = base_;
    const std::size_t end = end_;
    std::size_t cur = cur_;
    std::size_t misses = misses_;
    BlockWriter& w = writer_;
    while (end - cur >= need) {
        const std::size_t ahead = end - cur;
        const std::uint8_t* s = buf + cur;
        if (ahead < 4) {
            w.literal(*s);
            ++cur;
            continue;
        }
        Found m = t.search(s, base + cur, ahead);
        if (m.len == 0) {
            const std::size_t step = std::min(1 + (++misses >> kSkipShift), std::min(kMaxStep, ahead));
            w.literals(s, step);
            cur += step;
            continue;
        }
        misses = 0;
        std::size_t p = cur + 1;  // the first position not yet entered
        if (m.len < kLazyBelow && ahead >= 5) {
            ++p;
            const Found next = t.search(s + 1, base + cur + 1, ahead - 1);
            if (next.len > m.len && !(next.len == m.len + 1 && (next.dist >> 3) > m.dist)) {
                w.literal(*s);
                ++cur;
                m = next;
            }
        }
        w.match(m.len, m.dist);
        const std::size_t stop = cur + m.len;
        const std::size_t hashable = std::min(stop, end - 3);
        for (; p < hashable; ++p)
            t.insert(buf + p, base + p);
        cur = stop;
    }
    cur_ = cur;
    misses_ = misses;
}

}  // namespace lzh
