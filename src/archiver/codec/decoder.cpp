// decoder.cpp - the -lh5-/-lh6-/-lh7- decoder: table-driven Huffman decoding
// into a sliding output window.
//
// Input: a 64-bit bit buffer, left-aligned (the next bit is bit 63), refilled
// from a chunk of input read from the source, never more than packed_size
// bytes in all. Past the end of the input the buffer is filled with zero
// bytes; using any of them means the stream ran past its packed size, which
// is checked after every block header and at the end.
//
// Output: decoded bytes go to a linear buffer holding the dictionary's worth
// of history plus a chunk; matches copy within it without wrap-around. The
// caller's read() takes bytes from it; when the chunk is used up, the last
// dictionary bytes move to the front.
//
// Every table is checked the way strict readers check it: counts within the
// alphabet, lengths of at most 16 bits, a complete prefix code, zero runs and
// skip fields within the table; every match within the data produced so far
// and the original size. Damaged input throws DataError.
#include "codec/decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace lzh {

namespace {

constexpr unsigned kNC = 510;
constexpr unsigned kNT = 19;
constexpr unsigned kMaxNP = 17;
constexpr unsigned kMaxBits = 16;
constexpr std::size_t kInChunk = 1 << 16;
constexpr std::size_t kOutChunk = 1 << 16;
constexpr unsigned kMaxMatchLen = 256;
constexpr unsigned kMaxPhantom = 16;  // zero bytes past the end before giving up

[[noreturn]] void damaged(Message what)
{
    throw DataError(Message::damaged_data, {}, Error(what));
}

[[noreturn]] void truncated()
{
    throw DataError(Message::data_ends_early);
}

/*
 * A decoding table for one Huffman code. The first 2^root entries are indexed
 * by the next `root` bits of the stream. An entry holds the symbol in bits
 * 16..31 and the code length in bits 0..4; codes longer than `root` bits go
 * through a sub-table: the root entry then has kSub set, the sub-table's index
 * bits in 8..12 and its start in 16..31.
 */
class HuffTable {
public:
    static constexpr std::uint32_t kSub = 0x80;

    explicit HuffTable(unsigned root) : root_(root) {}

    void build_single(unsigned sym) { e_.assign(std::size_t(1) << root_, sym << 16); }

    /*
     * Builds the table for lengths `lens[0..n)` (each <= 16). Throws when the
     * lengths are all zero or do not form a complete prefix code.
     */
    void build(const std::uint8_t* lens, unsigned n)
    {
        std::array<unsigned, kMaxBits + 1> count{};
        for (unsigned i = 0; i < n; ++i)
            ++count[lens[i]];
        std::uint32_t kraft = 0;
        for (unsigned l = 1; l <= kMaxBits; ++l)
            kraft += count[l] << (kMaxBits - l);
        if (kraft == 0)
            damaged(Message::huffman_lengths_all_zero);
        if (kraft > (1u << kMaxBits))
            damaged(Message::huffman_over_subscribed);
        if (kraft < (1u << kMaxBits))
            damaged(Message::huffman_incomplete);

        // Symbols in canonical order, and their codes.
        std::array<unsigned, kMaxBits + 2> first{};
        for (unsigned l = 1; l <= kMaxBits; ++l)
            first[l + 1] = first[l] + count[l];
        std::array<std::uint16_t, 512> order;
        for (unsigned i = 0; i < n; ++i)
            if (lens[i])
                order[first[lens[i]]++] = static_cast<std::uint16_t>(i);
        const unsigned used = first[kMaxBits];  // first[] now holds the ends
        std::array<std::uint16_t, 512> code;
        unsigned next = 0, prev_len = 0;
        for (unsigned k = 0; k < used; ++k) {
            const unsigned l = lens[order[k]];
            if (k > 0)
                next = (next + 1) << (l - prev_len);
            code[k] = static_cast<std::uint16_t>(next);
            prev_len = l;
        }

        e_.assign(std::size_t(1) << root_, 0);
        unsigned sub_prefix = ~0u, sub_start = 0, sub_bits = 0;
        for (unsigned k = 0; k < used; ++k) {
            const unsigned sym = order[k], l = lens[sym], c = code[k];
            if (l <= root_) {
                const std::uint32_t v = (sym << 16) | l;
                std::fill_n(e_.begin() + (c << (root_ - l)), std::size_t(1) << (root_ - l), v);
                continue;
            }
            const unsigned prefix = c >> (l - root_);
            if (prefix != sub_prefix) {
                // The codes sharing this prefix follow in order; the last is the longest.
                unsigned j = k;
                while (j + 1 < used && (unsigned(code[j + 1]) >> (lens[order[j + 1]] - root_)) == prefix)
                    ++j;
                sub_prefix = prefix;
                sub_bits = lens[order[j]] - root_;
                sub_start = static_cast<unsigned>(e_.size());
                e_.resize(e_.size() + (std::size_t(1) << sub_bits));
                e_[prefix] = (sub_start << 16) | (sub_bits << 8) | kSub;
            }
            const unsigned low = c & ((1u << (l - root_)) - 1);
            const unsigned spread = sub_bits - (l - root_);
            std::fill_n(e_.begin() + sub_start + (low << spread), std::size_t(1) << spread, (sym << 16) | l);
        }
    }

    unsigned root() const { return root_; }
    const std::uint32_t* entries() const { return e_.data(); }

private:
    unsigned root_;
    std::vector<std::uint32_t> e_;
};

class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> s) : s_(s) {}
    std::size_t read(std::uint8_t* buf, std::size_t size) override
    {
        const std::size_t n = std::min(size, s_.size() - at_);
        std::memcpy(buf, s_.data() + at_, n);
        at_ += n;
        return n;
    }

private:
    std::span<const std::uint8_t> s_;
    std::size_t at_ = 0;
};

}  // namespace

struct Decoder::Impl {
    Impl(const Method& m, ByteSource& src, std::uint64_t packed, std::uint64_t original)
        : method(m),
          in(src),
          packed_left(packed),
          left(original),
          dict(std::size_t(1) << m.dict_bits),
          limit(dict + kOutChunk),
          win(std::make_unique_for_overwrite<std::uint8_t[]>(limit + kMaxMatchLen + 8)),
          inbuf(std::make_unique_for_overwrite<std::uint8_t[]>(kInChunk))
    {}

    // ---- bit input ----
    bool load_chunk()
    {
        if (packed_left == 0)
            return false;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(packed_left, kInChunk));
        const std::size_t got = in.read(inbuf.get(), want);
        if (got == 0) {
            packed_left = 0;  // the source ended before packed_size
            return false;
        }
        packed_left -= got;
        in_next = inbuf.get();
        in_end = in_next + got;
        return true;
    }

    // Makes at least 57 bits available.
    void refill()
    {
        if (bitcount > 56)
            return;
        if (in_end - in_next >= 8) {
            std::uint64_t v;
            std::memcpy(&v, in_next, 8);
            if constexpr (std::endian::native == std::endian::little)
                v = __builtin_bswap64(v);
            bitbuf |= v >> bitcount;
            const unsigned n = (64 - bitcount) >> 3;
            in_next += n;
            bitcount += n * 8;
            return;
        }
        bitbuf = bitcount ? bitbuf & (~std::uint64_t(0) << (64 - bitcount)) : 0;
        while (bitcount <= 56) {
            if (in_next == in_end && !load_chunk()) {
                if (++phantom > kMaxPhantom)
                    truncated();
                bitcount += 8;
                continue;
            }
            bitbuf |= std::uint64_t(*in_next++) << (56 - bitcount);
            bitcount += 8;
        }
    }

    // Next n (<= 32) bits; the caller has refilled.
    std::uint32_t bits(unsigned n)
    {
        if (n == 0)
            return 0;
        const std::uint32_t v = static_cast<std::uint32_t>(bitbuf >> (64 - n));
        bitbuf <<= n;
        bitcount -= n;
        return v;
    }

    unsigned decode(const HuffTable& t)
    {
        const std::uint32_t* e = t.entries();
        std::uint32_t v = e[bitbuf >> (64 - t.root())];
        if (v & HuffTable::kSub) {
            const unsigned sub = (v >> 8) & 31;
            v = e[(v >> 16) + ((bitbuf << t.root()) >> (64 - sub))];
        }
        const unsigned len = v & 31;
        bitbuf <<= len;
        bitcount -= len;
        return v >> 16;
    }

    // Throws when the bits used so far run past the packed size.
    void check_overrun() const
    {
        if (phantom * 8 > bitcount)
            truncated();
    }

    // Reports damage found while decoding. Bits beyond the packed size were
    // made up by the decoder, so if any were used, the stream was cut short
    // and that is the error to report.
    [[noreturn]] void fail(Message what) const
    {
        check_overrun();
        damaged(what);
    }

    void build(HuffTable& table, const std::uint8_t* lens, unsigned n) const
    {
        try {
            table.build(lens, n);
        } catch (const DataError&) {
            check_overrun();
            throw;
        }
    }

    // ---- tables ----
    void read_lengths(HuffTable& table, unsigned alphabet, unsigned count_bits, bool skip_field);
    void read_c_table();
    void read_block_header();

    // ---- output ----
    void decode_chunk();

    const Method& method;
    ByteSource& in;
    std::uint64_t packed_left;   // bytes not yet taken from the source
    std::uint64_t left;          // bytes still to produce
    std::uint64_t produced = 0;  // bytes produced so far
    std::size_t dict;
    std::size_t limit;                    // decoding pauses when wpos reaches this
    std::unique_ptr<std::uint8_t[]> win;  // only bytes already decoded are ever read
    std::size_t wpos = 0;                 // next byte to decode into
    std::size_t rpos = 0;                 // next byte to hand to the caller
    std::unique_ptr<std::uint8_t[]> inbuf;
    const std::uint8_t* in_next = nullptr;
    const std::uint8_t* in_end = nullptr;
    std::uint64_t bitbuf = 0;
    unsigned bitcount = 0;
    unsigned phantom = 0;
    unsigned block_left = 0;
    HuffTable t_table{8};
    HuffTable c_table{12};
    HuffTable p_table{8};
};

/*
 * Reads a T or P table: a count of `count_bits` bits, then either the single
 * symbol or that many lengths; with `skip_field` (the T table) a 2-bit count
 * of omitted zero lengths follows the third length.
 */
void Decoder::Impl::read_lengths(HuffTable& table, unsigned alphabet, unsigned count_bits, bool skip_field)
{
    refill();
    const unsigned n = bits(count_bits);
    if (n == 0) {
        const unsigned sym = bits(count_bits);
        if (sym >= alphabet)
            fail(Message::single_symbol_out_of_range);
        table.build_single(sym);
        return;
    }
    if (n > alphabet)
        fail(Message::length_count_out_of_range);
    std::array<std::uint8_t, kMaxNP + kNT> lens{};
    for (unsigned i = 0; i < n;) {
        refill();
        unsigned len = bits(3);
        if (len == 7) {
            while (bits(1) == 1) {
                if (++len > kMaxBits)
                    fail(Message::code_length_over_16);
            }
        }
        lens[i++] = static_cast<std::uint8_t>(len);
        if (skip_field && i == 3) {
            const unsigned k = bits(2);
            if (k > n - 3)
                fail(Message::length_skip_out_of_range);
            i += k;
        }
    }
    build(table, lens.data(), alphabet);
}

void Decoder::Impl::read_c_table()
{
    refill();
    const unsigned n = bits(9);
    if (n == 0) {
        const unsigned sym = bits(9);
        if (sym >= kNC)
            fail(Message::single_symbol_out_of_range);
        c_table.build_single(sym);
        return;
    }
    if (n > kNC)
        fail(Message::length_count_out_of_range);
    std::array<std::uint8_t, kNC> lens{};
    for (unsigned i = 0; i < n;) {
        refill();
        const unsigned s = decode(t_table);
        if (s >= 3) {
            lens[i++] = static_cast<std::uint8_t>(s - 2);
            continue;
        }
        const unsigned run = s == 0 ? 1 : s == 1 ? bits(4) + 3 : bits(9) + 20;
        if (run > n - i)
            fail(Message::zero_run_past_count);
        i += run;
    }
    build(c_table, lens.data(), kNC);
}

void Decoder::Impl::read_block_header()
{
    refill();
    block_left = bits(16);
    if (block_left == 0)
        fail(Message::block_of_no_codes);
    read_lengths(t_table, kNT, 5, true);
    read_c_table();
    read_lengths(p_table, method.np, method.pbit, false);
    check_overrun();
}

/*
 * Decodes codes into the window until the chunk is full or the original size
 * has been produced. A match is always written whole (the window has room for
 * one beyond the chunk).
 */
void Decoder::Impl::decode_chunk()
{
    if (wpos >= limit) {
        std::memmove(win.get(), win.get() + wpos - dict, dict);
        wpos = rpos = dict;
    }
    std::uint8_t* const base = win.get();
    std::size_t w = wpos;
    const std::size_t start = w;
    const std::uint64_t room = std::min<std::uint64_t>(limit - w, left);
    const std::size_t stop = w + static_cast<std::size_t>(room);
    while (w < stop) {
        if (block_left == 0) {
            read_block_header();
        }
        --block_left;
        refill();
        const unsigned s = decode(c_table);
        if (s < 256) {
            base[w++] = static_cast<std::uint8_t>(s);
            continue;
        }
        const unsigned len = s - 253;
        const unsigned c = decode(p_table);
        const std::uint32_t dist = (c <= 1 ? c : (1u << (c - 1)) | bits(c - 1)) + 1;
        const std::uint64_t done = produced + (w - start);
        if (dist > done)
            fail(Message::distance_before_start);
        if (dist > dict)
            fail(Message::distance_past_dictionary);
        if (len > left - (w - start))
            fail(Message::match_past_end);
        std::uint8_t* d = base + w;
        const std::uint8_t* src = d - dist;
        if (dist >= 8) {
            for (unsigned i = 0; i < len; i += 8)
                std::memcpy(d + i, src + i, 8);
        } else if (dist == 1) {
            std::memset(d, *src, len);
        } else {
            for (unsigned i = 0; i < len; ++i)
                d[i] = src[i];
        }
        w += len;
    }
    const std::size_t made = w - start;
    produced += made;
    left -= made;
    wpos = w;
    if (left == 0)
        check_overrun();
}

Decoder::Decoder(const Method& method, ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size)
{
    if (is_old_method(method))
        old_ = std::make_unique<OldDecoder>(method, in, packed_size, original_size);
    else
        impl_ = std::make_unique<Impl>(method, in, packed_size, original_size);
}

Decoder::~Decoder() = default;

std::size_t Decoder::read(std::uint8_t* out, std::size_t size)
{
    if (old_)
        return old_->read(out, size);
    Impl& d = *impl_;
    std::size_t total = 0;
    while (total < size) {
        if (d.rpos == d.wpos) {
            if (d.left == 0)
                break;
            d.decode_chunk();
        }
        const std::size_t n = std::min(d.wpos - d.rpos, size - total);
        std::memcpy(out + total, d.win.get() + d.rpos, n);
        d.rpos += n;
        total += n;
    }
    return total;
}

std::vector<std::uint8_t> decode(const Method& method, std::span<const std::uint8_t> packed,
                                 std::uint64_t original_size)
{
    SpanSource src(packed);
    Decoder dec(method, src, packed.size(), original_size);
    std::vector<std::uint8_t> out;
    std::uint8_t buf[1 << 15];
    while (const std::size_t n = dec.read(buf, sizeof buf))
        out.insert(out.end(), buf, buf + n);
    return out;
}

}  // namespace lzh
