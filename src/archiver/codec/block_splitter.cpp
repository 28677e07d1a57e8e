// block_splitter.cpp - chooses where best-effort blocks end.
//
// A cut is located by an estimate: the entropy of each side's C and P
// symbols plus a rough price for its tables (a block's fixed fields and a
// few bits per symbol it uses). Moving the cut by `step` codes changes the
// statistics of only those codes, so one scan over the run rates every cut.
// The cut found is then kept only when the two blocks, sized exactly by the
// block writer, take fewer bits than the whole.
#include "codec/block_splitter.h"

#include <bit>

namespace lzh {

namespace {

// Estimates are in 1/65536 bit, in integers, so that they come out the same
// on every platform.
constexpr int kFrac = 16;
constexpr std::int64_t kOne = std::int64_t(1) << kFrac;

// Rough table price of a block: the count fields, the T and P tables.
constexpr std::int64_t kBlockBits = 100 * kOne;
constexpr std::int64_t kUsedCBits = 5 * kOne;  // a used C symbol: its T code, the zero run it breaks
constexpr std::int64_t kUsedPBits = 3 * kOne;  // a used P symbol: its length field
// The table price is rough: a cut the estimate rates up to this many bits
// worse than the whole run is still sized exactly.
constexpr std::int64_t kDoubtBits = 300 * kOne;

// log2 x in 1/65536 units, by repeated squaring of the mantissa.
std::int64_t fixed_log2(std::uint32_t x)
{
    const unsigned e = unsigned(std::bit_width(x)) - 1;
    std::uint64_t y = std::uint64_t(x) << (31 - e) >> 1;  // x / 2^e in [1, 2), 30 fraction bits
    std::int64_t r = std::int64_t(e) << kFrac;
    for (int b = kFrac - 1; b >= 0; --b) {
        y = (y * y) >> 30;
        if (y >= (std::uint64_t(2) << 30)) {
            y >>= 1;
            r |= std::int64_t(1) << b;
        }
    }
    return r;
}

// x log2 x for the counts a record can hold.
const std::int64_t* xlogx()
{
    static const std::vector<std::int64_t> table = [] {
        std::vector<std::int64_t> t(kMaxBlockCodes + 1);
        for (std::uint32_t x = 1; x < t.size(); ++x)
            t[x] = std::int64_t(x) * fixed_log2(x);
        return t;
    }();
    return table.data();
}

}  // namespace

BlockSplitter::BlockSplitter(std::size_t min_codes, std::size_t step) : min_codes_(min_codes), step_(step)
{
    xlogx();
}

void BlockSplitter::Side::add(unsigned s, unsigned ps, int sign)
{
    static const std::int64_t* const t = xlogx();
    std::uint32_t& f = c[s];
    if (f == 0)
        ++used_c;
    c_sum += t[f + sign] - t[f];
    f += sign;
    if (f == 0)
        --used_c;
    nc += sign;
    if (s >= 256) {
        std::uint32_t& g = p[ps];
        if (g == 0)
            ++used_p;
        p_sum += t[g + sign] - t[g];
        g += sign;
        if (g == 0)
            --used_p;
        np += sign;
    }
}

std::int64_t BlockSplitter::Side::bits() const
{
    static const std::int64_t* const t = xlogx();
    return t[nc] - c_sum + t[np] - p_sum + kBlockBits + kUsedCBits * used_c + kUsedPBits * used_p;
}

std::int64_t BlockSplitter::Side::bits_with(const Side& o) const
{
    static const std::int64_t* const t = xlogx();
    std::int64_t sum = 0;
    unsigned uc = 0, up = 0;
    for (unsigned i = 0; i < kNC; ++i) {
        const std::uint32_t f = c[i] + o.c[i];
        sum += t[f];
        uc += f != 0;
    }
    for (unsigned i = 0; i < kMaxNP; ++i) {
        const std::uint32_t f = p[i] + o.p[i];
        sum += t[f];
        up += f != 0;
    }
    return t[nc + o.nc] + t[np + o.np] - sum + kBlockBits + kUsedCBits * uc + kUsedPBits * up;
}

// The cut of codes [0, n) with the smallest estimate, both sides at least
// min_codes_ long; 0 when there is no room for one or when the estimate
// rates every cut clearly worse than none.
std::size_t BlockSplitter::best_cut(const std::uint16_t* sym, const std::uint16_t* pos, std::size_t n)
{
    if (n < 2 * min_codes_)
        return 0;
    left_ = Side{};
    right_ = Side{};
    std::size_t i = 0;
    for (; i < min_codes_; ++i)
        left_.add(sym[i], sym[i] >= 256 ? p_symbol(pos[i]) : 0, 1);
    for (std::size_t j = i; j < n; ++j)
        right_.add(sym[j], sym[j] >= 256 ? p_symbol(pos[j]) : 0, 1);
    const std::int64_t whole = left_.bits_with(right_);
    std::size_t best = 0;
    std::int64_t best_bits = 0;
    while (n - i >= min_codes_) {
        const std::int64_t b = left_.bits() + right_.bits();
        if (best == 0 || b < best_bits) {
            best = i;
            best_bits = b;
        }
        for (const std::size_t end = i + step_; i < end && i < n; ++i) {
            const unsigned ps = sym[i] >= 256 ? p_symbol(pos[i]) : 0;
            left_.add(sym[i], ps, 1);
            right_.add(sym[i], ps, -1);
        }
    }
    return best_bits < whole + kDoubtBits ? best : 0;
}

std::size_t BlockSplitter::first_block(const std::uint16_t* sym, const std::uint16_t* pos, std::size_t n,
                                       const BlockBits& bits)
{
    std::uint64_t whole = 0;
    bool sized = false;
    for (;;) {
        const std::size_t cut = best_cut(sym, pos, n);
        if (cut == 0)
            return n;
        if (!sized)
            whole = bits(0, n);
        const std::uint64_t front = bits(0, cut);
        if (front + bits(cut, n - cut) >= whole)
            return n;
        n = cut;
        whole = front;
        sized = true;
    }
}

}  // namespace lzh
