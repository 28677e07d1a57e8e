// encoder.cpp - the -lh5-/-lh6-/-lh7- encoder: parser and block writer.
//
// The parser walks the match finder's window and records one code per literal
// or match (C symbol and position value, four bytes a code). When the record
// holds kTailCodes more codes than a block takes, the block writer codes the
// first block_codes of them, halved (down to min_block_codes) while smaller
// blocks fit the data better: it counts the symbols, builds the C, T and P
// tables and writes the block. At least kTailCodes codes always stay behind,
// so the final block of a stream with several blocks holds at least that many.
//
// Final-block rule: some readers fail when the last block of a stream is
// shorter than 64 bits. That can only happen with single-symbol tables, whose
// codes cost no bits (a long run of one byte is one match symbol repeated).
// The final block is then written with a normal-form C table, where every code
// costs at least one bit, and kTailCodes >= 64 codes make it long enough.
// Another reader drops a last match whose position takes no bits when the
// stream ends right after its C code; write_block() avoids that ending too.
#include "codec/encoder.h"

#include "codec/bit_writer.h"
#include "codec/bt_match_finder.h"
#include "codec/huffman.h"
#include "codec/match_finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <deque>

namespace lzh {

namespace {

constexpr unsigned kNC = 510;         // literal/length alphabet
constexpr unsigned kNT = 19;          // code-length alphabet
constexpr unsigned kTBits = 5;        // width of the T count field
constexpr unsigned kCBits = 9;        // width of the C count field
constexpr unsigned kMaxNP = 17;       // largest position alphabet (-lh7-)
constexpr std::size_t kTailCodes = 64;
constexpr std::size_t kMaxBlockCodes = 65535;
constexpr std::uint64_t kMinFinalBlockBits = 64;
constexpr std::size_t kProbeChunk = std::size_t(64) << 10;
constexpr std::size_t kSparseShare = 1024;   // a chunk is sparse when quick matches cover under 1/1024 of it
// In sparse data a short match costs about what its bytes cost as literals.
constexpr unsigned kSparseMinMatch = 8;

// One row per effort level.
struct EffortParams {
    bool lazy;                   // look one byte ahead before taking a match
    bool optimal;                // choose the cheapest parse of each segment by its bit prices
    MatchFinderParams finder;
    std::size_t block_codes;     // codes a block holds at most (the final block up to kTailCodes more)
    std::size_t min_block_codes; // a block may be halved down to this many codes when that pays
};

constexpr EffortParams kEfforts[] = {
    //  lazy  optimal chain nice good chain4   block  min block
    {false, false, {8, 32, 8, true}, 16384, 16384},      // fast
    {true, false, {64, 128, 8, true}, 16384, 2048},     // normal
    {true, true, {32, 96, 256}, 16384, 2048},           // best: chain = tree depth of the binary-tree finder
};
static_assert(16384 + kTailCodes <= kMaxBlockCodes);

const EffortParams& effort_params(Effort e)
{
    return kEfforts[static_cast<int>(e)];
}

// P symbol of position value p: the number of significant bits of p.
inline unsigned p_symbol(unsigned p)
{
    return static_cast<unsigned>(std::bit_width(p));
}

// A match kept for the optimal parse; plain data, so that the (large)
// segment arrays need no clearing.
struct SegMatch {
    std::uint16_t len;
    std::uint16_t dist;   // < 2^16 (the largest dictionary is 2^16 bytes, distances stop one short)
};

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

}  // namespace

// Symbol counts of a run of codes.
struct Counts {
    std::array<std::uint32_t, kNC> c{};
    std::array<std::uint32_t, kMaxNP> p{};

    Counts& operator+=(const Counts& o)
    {
        for (unsigned i = 0; i < kNC; ++i)
            c[i] += o.c[i];
        for (unsigned i = 0; i < kMaxNP; ++i)
            p[i] += o.p[i];
        return *this;
    }
};

/*
 * The tables of one block. Each table is either in normal form (lengths, and
 * the count n of transmitted lengths) or in single-symbol form (`single` >= 0,
 * every code zero bits long).
 */
struct BlockTables {
    std::array<std::uint8_t, kNC> c_len{};
    std::array<std::uint16_t, kNC> c_code{};
    int c_single = -1;
    unsigned c_n = 0;
    std::array<std::uint8_t, kNT> t_len{};
    std::array<std::uint16_t, kNT> t_code{};
    int t_single = -1;
    unsigned t_n = 0;
    std::array<std::uint8_t, kMaxNP> p_len{};
    std::array<std::uint16_t, kMaxNP> p_code{};
    int p_single = -1;
    unsigned p_n = 0;
    // The C lengths as T items: T symbol and its extra field (zero runs).
    struct Item {
        std::uint8_t sym;
        std::uint16_t extra;
    };
    std::array<Item, 2 * kNC> items;
    unsigned n_items = 0;
};

struct Encoder::Impl {
    Impl(const Method& m, Effort e, ByteSink& out, std::uint64_t size_hint)
        : method(m), params(effort_params(e)), bits(out),
          // Best effort leaves this finder unused; the smallest hint keeps it small.
          finder(m.dict_bits, params.finder, params.optimal ? 1 : size_hint),
          probe(m.dict_bits, params.optimal ? 1 : size_hint)
    {
        assert(m.coded && m.np <= kMaxNP);
        capacity = params.block_codes + kTailCodes;
        sym = make_scratch<std::uint16_t>(capacity);
        pos = make_scratch<std::uint16_t>(capacity);
        if (params.optimal) {
            bt = std::make_unique<BtMatchFinder>(m.dict_bits, params.finder.max_chain, size_hint);
            // A small input gets segment arrays its size; they grow should it be longer.
            seg_room(size_hint > 0 && size_hint < kSegment ? std::size_t(size_hint) : kSegment);
        }
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void parse(bool finishing);
    void parse_optimal(bool finishing);
    void decide_chunks(bool finishing, bool force = false);
    bool judged();
    void sparse_step(std::size_t need);
    void seg_room(std::size_t positions);
    void choose_path(std::size_t n);
    void set_prices(const Counts& f);
    void initial_prices(std::size_t n);
    std::uint32_t dist_price(unsigned dist) const
    {
        const unsigned ps = p_symbol(dist - 1);
        return price_p[ps] + 16 * (ps >= 2 ? ps - 1 : 0);
    }
    void emit_literal(std::uint8_t b)
    {
        sym[count] = b;
        if (++count == capacity)
            flush_full();
    }
    void emit_match(const Match& m)
    {
        sym[count] = static_cast<std::uint16_t>(256 + m.len - kMinMatch);
        pos[count] = static_cast<std::uint16_t>(m.dist - 1);
        if (++count == capacity)
            flush_full();
    }
    void flush_full();
    void write_block(std::size_t first, std::size_t n, bool final_block);
    void count_codes(std::size_t first, std::size_t n, Counts& f) const;
    void build_tables(const Counts& f, bool force_c, bool force_p);
    void code_c_lengths(BlockTables& b) const;
    void choose_c_lengths(const std::array<std::uint32_t, kNC>& c_freq);
    std::uint64_t block_bits(const Counts& f) const;
    template <class Out>
    void put_tables(Out& out) const;

    const Method& method;
    const EffortParams& params;
    BitWriter bits;
    MatchFinder finder;               // greedy and lazy parsing
    std::unique_ptr<BtMatchFinder> bt;     // optimal parsing
    MatchProbe probe;                 // judges chunks (greedy and lazy parsing)
    std::size_t capacity;             // codes the record holds
    Scratch<std::uint16_t> sym;       // C symbol of each recorded code
    Scratch<std::uint16_t> pos;       // position value (distance - 1) of each match
    std::size_t count = 0;            // codes recorded
    std::uint64_t blocks = 0;         // blocks written
    std::uint64_t last_block_bits = 0;
    std::uint64_t in_bytes = 0;
    std::uint64_t coded_bytes = 0;    // input covered by the blocks written
    bool pending = false;             // lazy: `held` was found one byte back
    Match held;
    // Sparse chunks (not with optimal parsing, whose binary-tree finder holds
    // the input instead): input is judged chunk by chunk, before it is
    // parsed, by a quick estimate of what matches can cover; where they are
    // rare (already-compressed data), the parse takes the few matches the
    // estimate found that are long enough to pay and codes the rest as
    // literals, which codes such data faster and no larger.
    struct Chunk {
        std::uint64_t end;
        bool sparse;
    };
    std::deque<Chunk> chunks;         // decided and not yet passed by the parse
    std::deque<MatchProbe::Found> sparse_matches;   // in sparse chunks, not yet passed
    std::vector<MatchProbe::Found> probe_found;     // the judge's matches in one chunk
    std::uint64_t decided_end = 0;
    bool sparse = false;              // the parse is in a sparse chunk
    std::uint64_t judged_end = 0;     // the end of that chunk
    bool all_sparse = true;           // every chunk decided so far was sparse
    bool finished = false;
    BlockTables t;

    // Optimal parsing (best effort): a segment of positions with their bytes
    // and the longest matches found there, prices in 1/16 bit.
    static constexpr std::size_t kSegment = 16384;
    static constexpr unsigned kKeep = 8;            // matches kept per position (the longest)
    static constexpr unsigned kDense = 32;          // lengths tried one by one past the previous match's
    std::size_t seg_n = 0;                          // positions gathered
    std::size_t seg_max = 0;                        // positions the arrays hold before one more match
    Scratch<std::uint8_t> seg_lit;
    Scratch<std::uint8_t> seg_nmatch;
    Scratch<SegMatch> seg_match;
    // Cheapest way into each position: cost << 32 | (511 - len) << 16 | dist of
    // the last step (len 1: a literal). One word, so that keeping the cheaper
    // of two ways is a plain minimum (equal costs: the longer step, then the
    // nearer match).
    Scratch<std::uint64_t> dp;
    std::vector<std::uint32_t> path;
    std::array<std::uint32_t, kNC> price_c{};
    std::array<std::uint32_t, kMaxNP> price_p{};
    bool priced = false;
};

/*
 * Codes input from the cursor on. While more input may follow, it stops where
 * less than a full match plus one byte is left ahead (the lazy look-ahead must
 * see a whole match); with `finishing` it runs to the end.
 */
void Encoder::Impl::parse(bool finishing)
{
    if (params.optimal) {
        parse_optimal(finishing);
        return;
    }
    const std::size_t need = finishing ? 1 : kMaxMatch + 2;
    const unsigned nice = params.finder.nice_len;
    while (finder.lookahead() >= need) {
        if (!pending && !judged())
            break;
        if (sparse) {
            sparse_step(need);
            continue;
        }
        if (!params.lazy) {
            const Match m = finder.find(0);
            if (m.len >= kMinMatch) {
                emit_match(m);
                finder.skip(m.len - 1);
            } else {
                emit_literal(finder.byte_at(-1));
            }
            continue;
        }
        if (!pending) {
            const Match m = finder.find(0);
            if (m.len < kMinMatch) {
                emit_literal(finder.byte_at(-1));
            } else if (m.len >= nice) {
                emit_match(m);
                finder.skip(m.len - 1);
            } else {
                pending = true;
                held = m;
            }
            continue;
        }
        // `held` starts one byte back; take it unless the cursor has a longer
        // one (one byte longer but over eight times as far does not pay: the
        // position's extra bits cost about what the byte saves).
        const Match m = finder.find(held.len);
        if (m.len > held.len && !(m.len == held.len + 1 && (m.dist >> 3) > held.dist)) {
            emit_literal(finder.byte_at(-2));
            held = m;
            if (m.len >= nice) {
                emit_match(m);
                finder.skip(m.len - 1);
                pending = false;
            }
        } else {
            emit_match(held);
            finder.skip(held.len - 2);
            pending = false;
        }
    }
    if (finishing && pending) {
        // Not reached in practice (a held match always has bytes ahead), kept for safety.
        emit_match(held);
        finder.skip(std::min<std::size_t>(held.len - 1, finder.lookahead()));
        pending = false;
    }
}

// Sizes the segment arrays for `positions` positions plus one match; what
// was gathered is kept.
void Encoder::Impl::seg_room(std::size_t positions)
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

/*
 * Judges the input appended to the finder in chunks of kProbeChunk bytes, as
 * each is complete; with `finishing`, also the shorter last one; with
 * `force`, whatever is there (the window is full: the parse must move on).
 * A chunk is sparse when quick matches, into the chunk itself or the
 * dictionary before it, would cover under 1/kSparseShare of it.
 */
void Encoder::Impl::decide_chunks(bool finishing, bool force)
{
    const std::uint64_t have = finder.stream_end();
    while (decided_end < have) {
        std::uint64_t end = decided_end + kProbeChunk;
        if (end > have) {
            if (!finishing && !force)
                break;
            end = have;
        }
        const std::size_t n = std::size_t(end - decided_end);
        const std::size_t enough = n / kSparseShare + 1;
        probe_found.clear();
        const bool is_sparse = probe.coverage(finder.data_at(decided_end), decided_end, n, enough, &probe_found) < enough;
        if (is_sparse)
            for (const MatchProbe::Found& f : probe_found)
                if (f.m.len >= kSparseMinMatch)
                    sparse_matches.push_back(f);
        all_sparse = all_sparse && is_sparse;
        chunks.push_back({end, is_sparse});
        decided_end = end;
    }
}

// Whether the input at the cursor is judged; sets `sparse` for it.
bool Encoder::Impl::judged()
{
    const std::uint64_t at = finder.position();
    if (at < judged_end)
        return true;
    while (!chunks.empty() && at >= chunks.front().end)
        chunks.pop_front();
    if (chunks.empty())
        return false;
    sparse = chunks.front().sparse;
    judged_end = chunks.front().end;
    return true;
}

/*
 * One step through a sparse chunk: the judge's match at the cursor, or the
 * literals up to its next match, the end of the chunk or where less than
 * `need` bytes would be left ahead. Every position passed is entered into the
 * finder, so that later input can match this data.
 */
void Encoder::Impl::sparse_step(std::size_t need)
{
    const std::uint64_t at = finder.position();
    while (!sparse_matches.empty() && sparse_matches.front().pos < at)
        sparse_matches.pop_front();
    std::uint64_t stop = std::min(chunks.front().end, finder.stream_end() + 1 - need);
    if (!sparse_matches.empty()) {
        const MatchProbe::Found& f = sparse_matches.front();
        if (f.pos == at) {
            const Match m = f.m;
            sparse_matches.pop_front();
            emit_match(m);
            finder.skip(m.len);
            return;
        }
        stop = std::min(stop, f.pos);
    }
    const std::size_t n = std::size_t(stop - at);
    for (std::size_t i = 0; i < n; ++i)
        emit_literal(finder.byte_at(std::ptrdiff_t(i)));
    finder.skip(n);
}

/*
 * Optimal parsing: gathers the matches of every position of a segment from
 * the binary-tree finder (a match of nice length or more is taken as it is,
 * and the positions it covers are skipped), then finds the cheapest way
 * through the segment twice: with the prices of the previous segment, then
 * with prices from the first path's own symbol counts. A segment spans
 * write() calls, so the parse does not depend on how the input was cut into
 * pieces.
 */
void Encoder::Impl::parse_optimal(bool finishing)
{
    const std::size_t need = finishing ? 1 : kMaxMatch + 2;
    const unsigned nice = params.finder.nice_len;
    Match found[kMaxMatch];
    while (bt->lookahead() >= need) {
        if (seg_n >= seg_max) [[unlikely]]
            seg_room(kSegment);
        const std::size_t i = seg_n;
        seg_lit[i] = bt->byte_at(0);
        unsigned n_found = 0;
        bt->find(found, &n_found);
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
                seg_lit[seg_n] = bt->byte_at(std::ptrdiff_t(k) - 1);
                seg_nmatch[seg_n++] = 0;
            }
            bt->skip(len - 1);
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

// Prices in 1/16 bit from symbol counts: the Huffman code lengths they give,
// unused symbols a little dearer than the dearest used one.
void Encoder::Impl::set_prices(const Counts& f)
{
    std::array<std::uint8_t, kNC> c_len{};
    std::array<std::uint8_t, kMaxNP> p_len{};
    huffman_lengths(f.c.data(), kNC, kMaxCodeBits, c_len.data());
    huffman_lengths(f.p.data(), method.np, kMaxCodeBits, p_len.data());
    const unsigned c_max = *std::max_element(c_len.begin(), c_len.end());
    const unsigned p_max = *std::max_element(p_len.begin(), p_len.begin() + method.np);
    for (unsigned i = 0; i < kNC; ++i)
        price_c[i] = 16 * (c_len[i] ? c_len[i] : std::max(c_max + 2, 8u));
    for (unsigned i = 0; i < method.np; ++i)
        price_p[i] = 16 * (p_len[i] ? p_len[i] : std::max(p_max + 1, 4u));
    priced = true;
}

// Prices before anything was coded: literals by their frequency in the
// segment, lengths and positions by a rough guess.
void Encoder::Impl::initial_prices(std::size_t n)
{
    Counts f;
    for (std::size_t i = 0; i < n; ++i)
        ++f.c[seg_lit[i]];
    for (unsigned len = kMinMatch; len <= kMaxMatch; ++len)
        f.c[256 + len - kMinMatch] = std::max<std::uint32_t>(1, std::uint32_t(n / (16u << std::min(unsigned(std::bit_width(len - kMinMatch)), 8u))));
    for (unsigned i = 0; i < method.np; ++i)
        f.p[i] = std::uint32_t(n / 64 + 1);
    set_prices(f);
}

/*
 * The cheapest path through positions [0, n) of the segment, emitted as
 * literals and matches. Each match is tried at every length up to kDense
 * past the previous one's length and at its full length.
 */
void Encoder::Impl::choose_path(std::size_t n)
{
    if (!priced)
        initial_prices(n);
    for (int pass = 0; pass < 2; ++pass) {
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
                const unsigned dense = std::min(top, lo + kDense);
                const std::uint32_t* pc = price_c.data() + 256 - kMinMatch;
                for (unsigned len = lo; len <= dense; ++len)
                    to[len] = std::min(to[len], std::uint64_t(base + pc[len]) << 32 | (tag - (len << 16)));
                if (top > dense)
                    to[top] = std::min(to[top], std::uint64_t(base + pc[top]) << 32 | (tag - (top << 16)));
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
        set_prices(f);
    }
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

/*
 * Writes a block from the front of the full record and moves the rest down.
 * The block is halved while two halves would take fewer bits than the whole
 * (the data changed character inside it); what is not written stays for the
 * next block, which is sized the same way.
 */
void Encoder::Impl::flush_full()
{
    std::size_t n = params.block_codes;
    if (params.min_block_codes < n) {
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
        while (n / 2 >= params.min_block_codes) {
            const std::uint64_t front_bits = size(front);
            if (front_bits + size(back) >= whole_bits)
                break;
            n /= 2;
            if (n / 2 < params.min_block_codes)
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

// Adds the symbols of codes [first, first + n) to `f`.
void Encoder::Impl::count_codes(std::size_t first, std::size_t n, Counts& f) const
{
    for (std::size_t i = first; i < first + n; ++i) {
        const unsigned s = sym[i];
        ++f.c[s];
        if (s >= 256)
            ++f.p[p_symbol(pos[i])];
    }
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

}  // namespace

// Codes the C lengths of `b` as T items, zero runs the usual way, and builds
// the T table that codes them.
void Encoder::Impl::code_c_lengths(BlockTables& b) const
{
    std::array<std::uint32_t, kNT> t_freq{};
    b.n_items = 0;
    auto add = [&](unsigned s, unsigned extra) {
        b.items[b.n_items++] = {static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(extra)};
        ++t_freq[s];
    };
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
    }
    huffman_lengths(t_freq.data(), kNT, kMaxCodeBits, b.t_len.data());
    b.t_single = -1;
    b.t_n = 0;
    for (unsigned i = 0; i < kNT; ++i)
        if (b.t_len[i])
            b.t_n = i + 1;
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
void Encoder::Impl::choose_c_lengths(const std::array<std::uint32_t, kNC>& c_freq)
{
    std::array<std::uint16_t, kNC> order;
    const unsigned m = huffman_order(c_freq.data(), kNC, order.data());

    // T items of the zero runs, and their extra bits.
    std::array<std::uint32_t, 3> zero_items{};
    for (unsigned i = 0; i < t.c_n;) {
        if (t.c_len[i] != 0) {
            ++i;
            continue;
        }
        unsigned run = 1;
        while (i + run < t.c_n && t.c_len[i + run] == 0)
            ++run;
        i += run;
        if (run <= 2) {
            zero_items[0] += run;
        } else if (run <= 18) {
            ++zero_items[1];
        } else if (run == 19) {
            ++zero_items[0];
            ++zero_items[1];
        } else {
            ++zero_items[2];
        }
    }
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
        unsigned t_n = 0;
        for (unsigned i = 0; i < kNT; ++i)
            if (t_len[i])
                t_n = i + 1;
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
void Encoder::Impl::build_tables(const Counts& f, bool force_c, bool force_p)
{
    const auto& c_freq = f.c;
    const auto& p_freq = f.p;

    // C table.
    huffman_lengths(c_freq.data(), kNC, kMaxCodeBits, t.c_len.data());
    t.c_single = -1;
    t.c_n = 0;
    for (unsigned i = 0; i < kNC; ++i)
        if (t.c_len[i])
            t.c_n = i + 1;
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
    } else if (params.optimal) {
        choose_c_lengths(c_freq);
    }
    if (t.c_single >= 0) {
        t.n_items = 0;
        t.t_len.fill(0);
        t.t_n = 0;
        t.t_single = 0;
    } else {
        code_c_lengths(t);
    }
    canonical_codes(t.c_len.data(), kNC, t.c_code.data());
    canonical_codes(t.t_len.data(), kNT, t.t_code.data());

    // P table.
    const unsigned np = method.np;
    huffman_lengths(p_freq.data(), np, kMaxCodeBits, t.p_len.data());
    t.p_single = -1;
    t.p_n = 0;
    for (unsigned i = 0; i < np; ++i)
        if (t.p_len[i])
            t.p_n = i + 1;
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
void Encoder::Impl::put_tables(Out& out) const
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

// Bits of a whole block with counts `f`, coded with the current tables.
std::uint64_t Encoder::Impl::block_bits(const Counts& f) const
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
void Encoder::Impl::write_block(std::size_t first, std::size_t n, bool final_block)
{
    assert(n >= 1 && n <= kMaxBlockCodes);
    Counts f;
    count_codes(first, n, f);
    build_tables(f, false, false);
    if (final_block) {
        bool force_c = false;
        std::uint64_t size = block_bits(f);
        if (blocks > 0 && size < kMinFinalBlockBits) {
            force_c = true;
            build_tables(f, true, false);
            size = block_bits(f);
        }
        const std::size_t last = first + n - 1;
        const bool bare_position = sym[last] >= 256 && t.p_single >= 0 && p_symbol(pos[last]) <= 1;
        if (bare_position && (bits.bits() + size) % 8 == 0)
            build_tables(f, force_c, true);
    }

    const std::uint64_t block_start = bits.bits();
    bits.put(static_cast<std::uint32_t>(n), 16);
    put_tables(bits);
    std::uint64_t covered = n;
    for (std::size_t i = first; i < first + n; ++i) {
        const unsigned s = sym[i];
        bits.put(t.c_code[s], t.c_len[s]);
        if (s >= 256) {
            covered += s - 256 + kMinMatch - 1;
            // The P code and the extra bits in one field (at most 16 + 15 bits).
            const unsigned p = pos[i];
            const unsigned c = p_symbol(p);
            const unsigned extra = c >= 2 ? c - 1 : 0;
            bits.put(std::uint32_t(t.p_code[c]) << extra | (p & ((1u << extra) - 1)), t.p_len[c] + extra);
        }
    }
    ++blocks;
    coded_bytes += covered;
    last_block_bits = bits.bits() - block_start;
}

Encoder::Encoder(const Method& method, Effort effort, ByteSink& out, std::uint64_t size_hint)
    : impl_(std::make_unique<Impl>(method, effort, out, size_hint))
{
}

Encoder::~Encoder() = default;

void Encoder::write(const std::uint8_t* data, std::size_t size)
{
    assert(!impl_->finished);
    Impl& d = *impl_;
    d.in_bytes += size;
    while (size > 0) {
        const std::size_t taken = d.bt ? d.bt->fill(data, size) : d.finder.fill(data, size);
        data += taken;
        size -= taken;
        if (!d.bt)
            d.decide_chunks(false, taken == 0);
        d.parse(false);
    }
}

void Encoder::finish()
{
    Impl& d = *impl_;
    if (d.finished)
        return;
    if (!d.bt)
        d.decide_chunks(true);
    d.parse(true);
    if (d.count > 0)
        d.write_block(0, d.count, true);
    d.count = 0;
    d.bits.flush();
    d.finished = true;
}

std::uint64_t Encoder::bytes_in() const
{
    return impl_->in_bytes;
}

std::uint64_t Encoder::bytes_out() const
{
    return impl_->bits.bytes();
}

std::uint64_t Encoder::bytes_coded() const
{
    return impl_->coded_bytes;
}

bool Encoder::sparse_only() const
{
    return impl_->decided_end > 0 && impl_->all_sparse;
}

std::uint64_t Encoder::blocks() const
{
    return impl_->blocks;
}

std::uint64_t Encoder::last_block_bits() const
{
    return impl_->last_block_bits;
}

std::vector<std::uint8_t> encode(const Method& method, Effort effort, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out;
    VectorSink sink(out);
    Encoder enc(method, effort, sink, data.size());
    enc.write(data.data(), data.size());
    enc.finish();
    return out;
}

}  // namespace lzh
