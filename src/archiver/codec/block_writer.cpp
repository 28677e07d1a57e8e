// block_writer.cpp - codes the parser's record of literals and matches as
// -lh5-/-lh6-/-lh7- blocks.
//
// When the record holds kTailCodes more codes than a block takes, the block
// writer codes the first block_codes of them, halved (down to
// min_block_codes) while smaller blocks fit the data better: it counts the
// symbols, builds the C, T and P tables and writes the block. Best effort
// instead cuts its blocks where the statistics change (block_splitter.cpp),
// the final record too, into blocks of at least kTailCodes codes. At least
// kTailCodes codes always stay behind, so the final block of a stream with
// several blocks holds at least that many.
//
// Final-block rule: some readers fail when the last block of a stream is
// shorter than 64 bits. That can only happen with single-symbol tables, whose
// codes cost no bits (a long run of one byte is one match symbol repeated).
// The final block is then written with a normal-form C table, where every code
// costs at least one bit, and kTailCodes >= 64 codes make it long enough.
// Another reader drops a last match whose position takes no bits when the
// stream ends right after its C code; write_block() avoids that ending too.
#include "codec/block_writer.h"

#include "codec/block_splitter.h"
#include "codec/huffman.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

namespace lzh {

namespace {

constexpr unsigned kTBits = 5;  // width of the T count field
constexpr unsigned kCBits = 9;  // width of the C count field
constexpr std::uint64_t kMinFinalBlockBits = 64;

// Counts bits instead of writing them (sizes a block before it is written).
struct BitCounter {
    std::uint64_t n = 0;
    void put(std::uint32_t, unsigned bits) { n += bits; }
};

// A code length in the T and P table encoding: 0..6 in three bits, longer as
// `111`, one 1-bit per step above 7, and a closing 0.
template <class Out>
void put_length(Out& out, unsigned len)
{
    if (len <= 6) {
        out.put(len, 3);
    } else {
        const unsigned ones = len - 7;  // <= 9
        out.put(((0x7u << ones | ((1u << ones) - 1)) << 1), len - 3);
    }
}

// Symbols of a table up to its last with a code (0: no symbol has one).
unsigned coded_count(const std::uint8_t* len, unsigned n)
{
    while (n > 0 && len[n - 1] == 0)
        --n;
    return n;
}

}  // namespace

BlockWriter::BlockWriter(const Method& m, ByteSink& out, std::size_t block_codes_,
                         std::size_t min_block_codes_, bool choose_lengths_)
    : method(m),
      block_codes(block_codes_),
      min_block_codes(min_block_codes_),
      choose_lengths(choose_lengths_),
      bits(out),
      capacity(block_codes_ + kTailCodes),
      sym(make_scratch<std::uint16_t>(capacity)),
      pos(make_scratch<std::uint16_t>(capacity))
{
    assert(m.coded && m.np <= kMaxNP && capacity <= kMaxBlockCodes);
    if (choose_lengths)
        splitter = std::make_unique<BlockSplitter>(std::max(min_block_codes, kTailCodes),
                                                   std::max(min_block_codes, kTailCodes) / 2);
}

BlockWriter::~BlockWriter() = default;

void BlockWriter::finish()
{
    std::size_t first = 0;
    if (splitter) {
        // The record may end in several blocks, each cut where it pays.
        while (count - first > 0) {
            const std::size_t n = splitter->first_block(
                sym.get() + first, pos.get() + first, count - first,
                [&](std::size_t a, std::size_t k) { return sized_block_bits(first + a, k); });
            write_block(first, n, first + n == count);
            first += n;
        }
    } else if (count > 0) {
        write_block(0, count, true);
    }
    count = 0;
    bits.flush();
}

/*
 * Writes a block from the front of the full record and moves the rest down.
 * The block is halved while two halves would take fewer bits than the whole
 * (the data changed character inside it); what is not written stays for the
 * next block, which is sized the same way.
 */
void BlockWriter::flush_full()
{
    std::size_t n = block_codes;
    if (splitter) {
        n = splitter->first_block(sym.get(), pos.get(), n,
                                  [&](std::size_t a, std::size_t k) { return sized_block_bits(a, k); });
    } else if (min_block_codes < n) {
        // Sizes from symbol counts: the halves are counted, the whole is their sum.
        auto size = [&](const Counts& f) {
            build_tables(f, false, false);
            return block_bits(f);
        };
        Counts front, back;
        count_codes(0, n / 2, front);
        count_codes(n / 2, n / 2, back);
        Counts whole = front;
        whole += back;
        std::uint64_t whole_bits = size(whole);
        while (n / 2 >= min_block_codes) {
            const std::uint64_t front_bits = size(front);
            if (front_bits + size(back) >= whole_bits)
                break;
            n /= 2;
            if (n / 2 < min_block_codes)
                break;
            whole = front;
            whole_bits = front_bits;
            front = Counts{};
            back = Counts{};
            count_codes(0, n / 2, front);
            count_codes(n / 2, n / 2, back);
        }
    }
    write_block(0, n, false);
    std::memmove(sym.get(), sym.get() + n, (count - n) * sizeof sym[0]);
    std::memmove(pos.get(), pos.get() + n, (count - n) * sizeof pos[0]);
    count -= n;
}

// literals() for a run that fills the record at least once.
void BlockWriter::literals_filling(const std::uint8_t* b, std::size_t n)
{
    while (n > 0) {
        const std::size_t k = std::min(n, capacity - count);
        std::uint16_t* const out = sym.get() + count;
        for (std::size_t i = 0; i < k; ++i)
            out[i] = b[i];
        b += k;
        n -= k;
        count += k;
        if (count == capacity)
            flush_full();
    }
}

// Adds the symbols of codes [first, first + n) to `f`.
void BlockWriter::count_codes(std::size_t first, std::size_t n, Counts& f) const
{
    const std::uint16_t* const s = sym.get() + first;
    const std::uint16_t* const p = pos.get() + first;
    auto one = [&](std::size_t i) {
        ++f.c[s[i]];
        if (s[i] >= 256)
            ++f.p[p_symbol(p[i])];
    };
    // Four codes at a time; their positions only when one of them is a match.
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const unsigned a = s[i], b = s[i + 1], c = s[i + 2], d = s[i + 3];
        ++f.c[a];
        ++f.c[b];
        ++f.c[c];
        ++f.c[d];
        if ((a | b | c | d) >= 256) {
            for (std::size_t k = i; k < i + 4; ++k)
                if (s[k] >= 256)
                    ++f.p[p_symbol(p[k])];
        }
    }
    for (; i < n; ++i)
        one(i);
}

namespace {

// Bits a length takes in the T and P table encoding (put_length()).
inline unsigned length_bits(unsigned len)
{
    return len <= 6 ? 3 : len - 3;
}

// Bits of a normal-form T table with lengths `tl` and count `n`.
unsigned t_table_bits(const std::uint8_t* tl, unsigned n)
{
    unsigned bits = kTBits;
    for (unsigned i = 0; i < n;) {
        bits += length_bits(tl[i]);
        ++i;
        if (i == 3) {
            unsigned k = 0;
            while (k < 3 && i + k < n && tl[i + k] == 0)
                ++k;
            bits += 2;
            i += k;
        }
    }
    return bits;
}

// How many T items of each zero-run kind (0: single zeros, 1: short runs,
// 2: long runs) the first `n` C lengths `c_len` take.
std::array<std::uint32_t, 3> zero_run_items(const std::uint8_t* c_len, unsigned n)
{
    std::array<std::uint32_t, 3> items{};
    for (unsigned i = 0; i < n;) {
        if (c_len[i] != 0) {
            ++i;
            continue;
        }
        unsigned run = 1;
        while (i + run < n && c_len[i + run] == 0)
            ++run;
        i += run;
        if (run <= 2) {
            items[0] += run;
        } else if (run <= 18) {
            ++items[1];
        } else if (run == 19) {
            ++items[0];
            ++items[1];
        } else {
            ++items[2];
        }
    }
    return items;
}

/*
 * Best effort: replaces the Huffman lengths `len` for `freq[0..n)` by
 * lengths limited to fewer bits when that makes the table (sized by
 * `table_bits(len, count)`, count = last used symbol + 1) and the codes it
 * sends smaller: a length over 6 bits costs the table more bits the longer
 * it is.
 */
template <class TableBits>
void limit_lengths(const std::uint32_t* freq, unsigned n, std::uint8_t* len, TableBits table_bits)
{
    unsigned used = 0, last = 0, longest = 0;
    for (unsigned i = 0; i < n; ++i)
        if (len[i]) {
            ++used;
            last = i + 1;
            longest = std::max<unsigned>(longest, len[i]);
        }
    if (used < 2 || longest <= 6)
        return;
    auto size = [&](const std::uint8_t* l) {
        std::uint64_t bits = table_bits(l, last);
        for (unsigned i = 0; i < last; ++i)
            bits += std::uint64_t(freq[i]) * l[i];
        return bits;
    };
    std::uint64_t best = size(len);
    std::array<std::uint8_t, 32> cand{};
    const unsigned floor = std::max(2u, unsigned(std::bit_width(used - 1)));
    for (unsigned max_bits = longest - 1; max_bits >= floor; --max_bits) {
        huffman_lengths(freq, n, max_bits, cand.data());
        const std::uint64_t cost = size(cand.data());
        if (cost >= best)
            break;
        best = cost;
        std::copy(cand.begin(), cand.begin() + n, len);
    }
}

}  // namespace

// Codes the C lengths of `b` as T items, zero runs the usual way, and builds
// the T table that codes them. With `refine` (best effort) the zero runs are
// then split again into the items that cost fewest bits under that T code,
// and the T code rebuilt for them, when that makes the table smaller.
void BlockWriter::code_c_lengths(BlockTables& b, bool refine) const
{
    std::array<std::uint32_t, kNT> t_freq{};
    auto add = [&](unsigned s, unsigned extra) {
        b.items[b.n_items++] = {static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(extra)};
        ++t_freq[s];
    };
    // Items for a zero run of `run` lengths, the usual way.
    auto usual_run = [&](unsigned run) {
        if (run <= 2) {
            for (unsigned k = 0; k < run; ++k)
                add(0, 0);
        } else if (run <= 18) {
            add(1, run - 3);
        } else if (run == 19) {
            add(0, 0);
            add(1, 15);
        } else {
            add(2, run - 20);
        }
    };
    // `b.c_len` as items, each zero run by `zero_run(run)`.
    auto code = [&](auto zero_run) {
        t_freq.fill(0);
        b.n_items = 0;
        for (unsigned i = 0; i < b.c_n;) {
            if (b.c_len[i] != 0) {
                add(b.c_len[i] + 2u, 0);
                ++i;
                continue;
            }
            unsigned run = 1;
            while (i + run < b.c_n && b.c_len[i + run] == 0)
                ++run;
            i += run;
            zero_run(run);
        }
        huffman_lengths(t_freq.data(), kNT, kMaxCodeBits, b.t_len.data());
        if (choose_lengths)
            limit_lengths(t_freq.data(), kNT, b.t_len.data(),
                          [](const std::uint8_t* len, unsigned n) { return t_table_bits(len, n); });
    };
    code(usual_run);

    unsigned longest_run = 0;
    for (unsigned i = 0; i < b.c_n;) {
        unsigned run = 0;
        while (i + run < b.c_n && b.c_len[i + run] == 0)
            ++run;
        longest_run = std::max(longest_run, run);
        i += run + 1;
    }
    unsigned used_t = 0;
    for (unsigned s = 0; s < kNT; ++s)
        used_t += b.t_len[s] != 0;
    if (refine && longest_run >= 3 && used_t >= 2) {
        // Bits of the T and C tables as coded now.
        auto table_size = [&]() {
            std::uint64_t table = t_table_bits(b.t_len.data(), coded_count(b.t_len.data(), kNT));
            for (unsigned i = 0; i < b.n_items; ++i) {
                const unsigned s = b.items[i].sym;
                table += b.t_len[s] + (s == 1 ? 4 : s == 2 ? 9 : 0);
            }
            return table;
        };
        const std::uint64_t usual_bits = table_size();
        // Cheapest items for each run length under the usual T code: the
        // last item of the cheapest way to code a run of r zeros.
        constexpr std::uint32_t kNo = ~std::uint32_t(0) / 2;
        const std::uint32_t cost0 = b.t_len[0] ? b.t_len[0] : kNo;
        const std::uint32_t cost1 = b.t_len[1] ? b.t_len[1] + 4u : kNo;
        const std::uint32_t cost2 = b.t_len[2] ? b.t_len[2] + 9u : kNo;
        std::vector<std::uint32_t> best(longest_run + 1, kNo);
        std::vector<std::uint16_t> step(longest_run + 1, 0);
        best[0] = 0;
        unsigned prefix_min = 0;
        for (unsigned r = 1; r <= longest_run; ++r) {
            if (best[r - 1] + cost0 < best[r]) {
                best[r] = best[r - 1] + cost0;
                step[r] = 1;
            }
            for (unsigned k = 3; k <= std::min(r, 18u); ++k)
                if (best[r - k] + cost1 < best[r]) {
                    best[r] = best[r - k] + cost1;
                    step[r] = std::uint16_t(k);
                }
            // A long run item: the cheapest start up to r - 20 (runs are
            // shorter than kNC, so every start is in its reach).
            if (r >= 20) {
                if (best[r - 20] < best[prefix_min])
                    prefix_min = r - 20;
                if (best[prefix_min] + cost2 < best[r]) {
                    best[r] = best[prefix_min] + cost2;
                    step[r] = std::uint16_t(r - prefix_min);
                }
            }
        }
        const auto usual_items = b.items;
        const unsigned usual_n = b.n_items;
        const auto usual_t_len = b.t_len;
        const auto usual_freq = t_freq;
        code([&](unsigned run) {
            for (unsigned r = run; r > 0; r -= step[r]) {
                const unsigned k = step[r];
                if (k == 1)
                    add(0, 0);
                else if (k <= 18)
                    add(1, k - 3);
                else
                    add(2, k - 20);
            }
        });
        if (table_size() >= usual_bits) {
            b.items = usual_items;
            b.n_items = usual_n;
            b.t_len = usual_t_len;
            t_freq = usual_freq;
        }
    }
    b.t_single = -1;
    b.t_n = coded_count(b.t_len.data(), kNT);
    if (b.t_n == 0) {
        unsigned s = 0;
        while (t_freq[s] == 0)
            ++s;
        b.t_single = static_cast<int>(s);
    }
}

/*
 * Best effort: replaces the C lengths in `t` (plain Huffman lengths for
 * `c_freq`) by the set that makes the block smallest, tables included, among
 * codes limited to fewer bits (fewer distinct lengths, each cheap to send as
 * a T code) and a flatter code (every count raised by one).
 *
 * A candidate is priced without building its tables: the zero runs, and so
 * their T items, are the same for all of them (the same symbols are used),
 * and the T code follows from how many symbols get each length.
 */
void BlockWriter::choose_c_lengths(const std::array<std::uint32_t, kNC>& c_freq)
{
    std::array<std::uint16_t, kNC> order;
    const unsigned m = huffman_order(c_freq.data(), kNC, order.data());

    // T items of the zero runs, and their extra bits.
    const std::array<std::uint32_t, 3> zero_items = zero_run_items(t.c_len.data(), t.c_n);
    const std::uint64_t fixed_bits = kCBits + 4 * zero_items[1] + 9 * zero_items[2];

    // Bits of the T table, the C table and the codes for lengths `len`.
    auto size = [&](const std::array<std::uint8_t, kNC>& len) {
        std::array<std::uint32_t, kNT> t_freq{};
        std::copy(zero_items.begin(), zero_items.end(), t_freq.begin());
        std::uint64_t cost = fixed_bits;
        for (unsigned k = 0; k < m; ++k) {
            const unsigned s = order[k];
            ++t_freq[len[s] + 2u];
            cost += std::uint64_t(c_freq[s]) * len[s];
        }
        std::array<std::uint8_t, kNT> t_len;
        huffman_lengths(t_freq.data(), kNT, kMaxCodeBits, t_len.data());
        const unsigned t_n = coded_count(t_len.data(), kNT);
        if (t_n == 0)
            return cost + 2 * kTBits;  // one T symbol: its codes take no bits
        cost += t_table_bits(t_len.data(), t_n);
        for (unsigned i = 0; i < kNT; ++i)
            cost += std::uint64_t(t_freq[i]) * t_len[i];
        return cost;
    };

    std::uint64_t best = size(t.c_len);
    std::array<std::uint8_t, kNC> len{};
    auto try_code = [&](unsigned bias, unsigned max_bits) {
        huffman_lengths_ordered(c_freq.data(), order.data(), m, bias, max_bits, len.data());
        const std::uint64_t cost = size(len);
        if (cost < best) {
            best = cost;
            t.c_len = len;
        }
        return cost;
    };
    // Limits from 12 bits down while they gain, then the flatter codes.
    const unsigned floor = std::max(8u, unsigned(std::bit_width(m - 1)));
    unsigned best_max = 16;
    std::uint64_t prev = ~std::uint64_t(0);
    for (unsigned max_bits = 12; max_bits >= floor; --max_bits) {
        const std::uint64_t cost = try_code(0, max_bits);
        if (cost > prev)
            break;
        if (cost <= best)
            best_max = max_bits;
        prev = cost;
    }
    try_code(1, 16);
    try_code(2, 16);
    if (best_max < 16)
        try_code(1, best_max);
}

/*
 * Builds the three tables for a block with counts `f`. With `force_c`
 * (`force_p`) a C (P) alphabet with a single used symbol gets a normal-form
 * table anyway: the used symbol and a neighbour get one-bit codes. Best
 * effort weighs the C lengths against the size of the tables they need
 * (choose_c_lengths()).
 */
void BlockWriter::build_tables(const Counts& f, bool force_c, bool force_p, bool refine)
{
    const auto& c_freq = f.c;
    const auto& p_freq = f.p;

    // C table.
    huffman_lengths(c_freq.data(), kNC, kMaxCodeBits, t.c_len.data());
    t.c_single = -1;
    t.c_n = coded_count(t.c_len.data(), kNC);
    if (t.c_n == 0) {
        // One symbol used (a block is never empty).
        unsigned s = 0;
        while (c_freq[s] == 0)
            ++s;
        if (force_c) {
            t.c_len[s] = 1;
            t.c_len[s == 0 ? 1 : s - 1] = 1;
            t.c_n = std::max(s + 1, 2u);
        } else {
            t.c_single = static_cast<int>(s);
        }
    } else if (choose_lengths) {
        choose_c_lengths(c_freq);
    }
    if (t.c_single >= 0) {
        t.n_items = 0;
        t.t_len.fill(0);
        t.t_n = 0;
        t.t_single = 0;
    } else {
        code_c_lengths(t, refine);
    }
    canonical_codes(t.c_len.data(), kNC, t.c_code.data());
    canonical_codes(t.t_len.data(), kNT, t.t_code.data());

    // P table.
    const unsigned np = method.np;
    huffman_lengths(p_freq.data(), np, kMaxCodeBits, t.p_len.data());
    if (choose_lengths)
        limit_lengths(p_freq.data(), np, t.p_len.data(), [&](const std::uint8_t* len, unsigned n) {
            unsigned table = method.pbit;
            for (unsigned i = 0; i < n; ++i)
                table += length_bits(len[i]);
            return table;
        });
    t.p_single = -1;
    t.p_n = coded_count(t.p_len.data(), np);
    if (t.p_n == 0) {
        unsigned s = 0;
        while (s < np && p_freq[s] == 0)
            ++s;
        if (s == np) {
            t.p_single = 0;  // no match in the block
        } else if (force_p) {
            t.p_len[s] = 1;
            t.p_len[s == 0 ? 1 : s - 1] = 1;
            t.p_n = std::max(s + 1, 2u);
        } else {
            t.p_single = static_cast<int>(s);
        }
    }
    canonical_codes(t.p_len.data(), np, t.p_code.data());
}

// Writes the T, C and P tables of `t` (everything of a block between its
// size field and its codes).
template <class Out>
void BlockWriter::put_tables(Out& out) const
{
    // T table.
    if (t.t_single >= 0) {
        out.put(0, kTBits);
        out.put(static_cast<unsigned>(t.t_single), kTBits);
    } else {
        out.put(t.t_n, kTBits);
        for (unsigned i = 0; i < t.t_n;) {
            put_length(out, t.t_len[i]);
            ++i;
            if (i == 3) {
                // Skip field: zero lengths among symbols 3..5 are not sent.
                unsigned k = 0;
                while (k < 3 && i + k < t.t_n && t.t_len[i + k] == 0)
                    ++k;
                out.put(k, 2);
                i += k;
            }
        }
    }
    // C table.
    if (t.c_single >= 0) {
        out.put(0, kCBits);
        out.put(static_cast<unsigned>(t.c_single), kCBits);
    } else {
        out.put(t.c_n, kCBits);
        for (unsigned i = 0; i < t.n_items; ++i) {
            const unsigned s = t.items[i].sym;
            out.put(t.t_code[s], t.t_len[s]);
            if (s == 1)
                out.put(t.items[i].extra, 4);
            else if (s == 2)
                out.put(t.items[i].extra, 9);
        }
    }
    // P table.
    const unsigned pbit = method.pbit;
    if (t.p_single >= 0) {
        out.put(0, pbit);
        out.put(static_cast<unsigned>(t.p_single), pbit);
    } else {
        out.put(t.p_n, pbit);
        for (unsigned i = 0; i < t.p_n; ++i)
            put_length(out, t.p_len[i]);
    }
}

// Bits of codes [first, first + n) written as one block (tables built for them).
std::uint64_t BlockWriter::sized_block_bits(std::size_t first, std::size_t n)
{
    Counts f;
    count_codes(first, n, f);
    build_tables(f, false, false);
    return block_bits(f);
}

// Bits of a whole block with counts `f`, coded with the current tables.
std::uint64_t BlockWriter::block_bits(const Counts& f) const
{
    BitCounter size;
    size.put(0, 16);
    put_tables(size);
    for (unsigned i = 0; i < kNC; ++i)
        size.n += std::uint64_t(f.c[i]) * t.c_len[i];
    for (unsigned i = 0; i < method.np; ++i)
        size.n += std::uint64_t(f.p[i]) * (t.p_len[i] + (i >= 2 ? i - 1 : 0));
    return size.n;
}

/*
 * Writes codes [first, first + n) as one block. The final block gets two
 * adjustments that cost a few bits and keep every reader happy:
 * - in a stream of several blocks, a final block under 64 bits gets a
 *   normal-form C table (see the top of this file);
 * - a stream must not end right after the C code of a match whose position
 *   takes no bits (single-symbol P table, distance 1 or 2): one reader then
 *   drops that last match. The P table is then written in normal form, which
 *   gives the position a one-bit code.
 */
void BlockWriter::write_block(std::size_t first, std::size_t n, bool final_block)
{
    assert(n >= 1 && n <= kMaxBlockCodes);
    Counts f;
    count_codes(first, n, f);
    build_tables(f, false, false, choose_lengths);
    if (final_block) {
        bool force_c = false;
        std::uint64_t size = block_bits(f);
        if (blocks > 0 && size < kMinFinalBlockBits) {
            force_c = true;
            build_tables(f, true, false, choose_lengths);
            size = block_bits(f);
        }
        const std::size_t last = first + n - 1;
        const bool bare_position = sym[last] >= 256 && t.p_single >= 0 && p_symbol(pos[last]) <= 1;
        if (bare_position && (bits.bits() + size) % 8 == 0)
            build_tables(f, force_c, true, choose_lengths);
    }

    const std::uint64_t block_start = bits.bits();
    bits.put(static_cast<std::uint32_t>(n), 16);
    put_tables(bits);
    // Each C symbol's code and length in one word: code << 8 | length.
    std::array<std::uint32_t, kNC> c_packed;
    for (unsigned i = 0; i < kNC; ++i)
        c_packed[i] = std::uint32_t(t.c_code[i]) << 8 | t.c_len[i];
    std::uint64_t covered = n;
    {
        BitWriter::Run out(bits);
        const std::uint16_t* const s_at = sym.get();
        const std::uint16_t* const p_at = pos.get();
        for (std::size_t i = first; i < first + n; ++i) {
            const unsigned s = s_at[i];
            const std::uint32_t c_code = c_packed[s];
            out.put(c_code >> 8, c_code & 0xFF);
            if (s >= 256) {
                covered += s - 256 + kMinMatch - 1;
                // The P code and the extra bits in one field (at most 16 + 15 bits).
                const unsigned p = p_at[i];
                const unsigned c = p_symbol(p);
                const unsigned extra = c >= 2 ? c - 1 : 0;
                out.put(std::uint32_t(t.p_code[c]) << extra | (p & ((1u << extra) - 1)), t.p_len[c] + extra);
            }
        }
    }
    ++blocks;
    coded_bytes += covered;
    last_block_bits = bits.bits() - block_start;
}

}  // namespace lzh
