// old_decoder.cpp - the -lh1-, -lzs- and -lz5- decoders.
//
// All three copy matches out of a ring buffer that holds the window. The
// writers primed that buffer before the first byte and let matches reach into
// it, so the decoder primes it the same way: spaces for -lh1- and -lzs-, and
// for -lz5- a fixed pattern (13 copies of every byte value, the values
// ascending, then descending, 128 zeros and spaces up to the end).
//
//   -lzs-: bits, most significant first. 1 and 8 bits: a literal; 0, 11 bits
//          of ring position and 4 bits of length - 2: a match. Writing starts
//          at ring position 2048 - 17.
//   -lz5-: a flag byte, read from its lowest bit, for every eight codes. 1: a
//          literal byte; 0: two bytes b1 b2, ring position b1 | (b2 & 0xF0) << 4,
//          length (b2 & 0x0F) + 3. Writing starts at 4096 - 18.
//   -lh1-: the code is an adaptive Huffman code over 314 symbols (256
//          literals, match lengths 3 to 60), every symbol starting with
//          weight 1 and the tree kept ordered by weight as each symbol is
//          counted; the weights are halved when the root's reaches 0x8000. A
//          match is followed by its distance - 1 (12 bits): the upper 6 bits
//          in a fixed prefix code (one code of 3 bits, 3 of 4, 8 of 5, 12 of
//          6, 24 of 7 and 16 of 8, assigned in order), then the lower 6 bits.
#include "codec/old_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace lzh {

namespace {

enum class Kind { lh1, lzs, lz5 };

constexpr std::size_t kInChunk = 1 << 14;

// The adaptive code of -lh1-.
constexpr unsigned kSymbols = 314;             // 256 literals + lengths 3..60
constexpr unsigned kNodes = 2 * kSymbols - 1;  // leaves and inner nodes
constexpr unsigned kRoot = kNodes - 1;
constexpr unsigned kMaxWeight = 0x8000;

class AdaptiveCode {
public:
    AdaptiveCode()
    {
        for (unsigned i = 0; i < kSymbols; ++i) {
            weight_[i] = 1;
            child_[i] = i + kNodes;
            parent_[i + kNodes] = i;
        }
        for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            weight_[j] = weight_[i] + weight_[i + 1];
            child_[j] = i;
            parent_[i] = parent_[i + 1] = j;
        }
        weight_[kNodes] = 0xFFFF;  // a sentinel above every weight
        parent_[kRoot] = 0;
    }

    // Decodes one symbol with `bit()` giving the next bit, and counts it.
    template <class Bit>
    unsigned decode(Bit bit)
    {
        unsigned c = child_[kRoot];
        while (c < kNodes)
            c = child_[c + bit()];
        c -= kNodes;
        count(c);
        return c;
    }

private:
    // Rebuilds the tree with every leaf weight halved (rounded up).
    void rebuild()
    {
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i)
            if (child_[i] >= kNodes) {
                weight_[j] = (weight_[i] + 1) / 2;
                child_[j] = child_[i];
                ++j;
            }
        for (unsigned i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const unsigned w = weight_[i] + weight_[i + 1];
            unsigned k = n;
            while (w < weight_[k - 1])
                --k;
            // Insert the new inner node at k, keeping the weights in order.
            std::memmove(&weight_[k + 1], &weight_[k], (n - k) * sizeof weight_[0]);
            std::memmove(&child_[k + 1], &child_[k], (n - k) * sizeof child_[0]);
            weight_[k] = w;
            child_[k] = i;
        }
        for (unsigned i = 0; i < kNodes; ++i) {
            const unsigned k = child_[i];
            if (k >= kNodes)
                parent_[k] = i;
            else
                parent_[k] = parent_[k + 1] = i;
        }
    }

    // Adds one to the weight of symbol `sym` and of its ancestors, moving each
    // node past the nodes it now outweighs.
    void count(unsigned sym)
    {
        if (weight_[kRoot] == kMaxWeight)
            rebuild();
        unsigned c = parent_[sym + kNodes];
        do {
            const unsigned w = ++weight_[c];
            unsigned l = c + 1;
            if (w > weight_[l]) {
                while (w > weight_[++l]) {
                }
                --l;
                weight_[c] = weight_[l];
                weight_[l] = w;
                const unsigned i = child_[c];
                parent_[i] = l;
                if (i < kNodes)
                    parent_[i + 1] = l;
                const unsigned j = child_[l];
                child_[l] = i;
                parent_[j] = c;
                if (j < kNodes)
                    parent_[j + 1] = c;
                child_[c] = j;
                c = l;
            }
            c = parent_[c];
        } while (c != 0);
    }

    std::array<unsigned, kNodes + 1> weight_{};
    std::array<unsigned, kNodes + kSymbols> parent_{};
    std::array<unsigned, kNodes> child_{};
};

Kind kind_of(const Method& m)
{
    const std::string_view id = m.id;
    return id == "-lzs-" ? Kind::lzs : id == "-lz5-" ? Kind::lz5 : Kind::lh1;
}

}  // namespace

bool is_old_method(const Method& method)
{
    return method.coded && (std::string_view(method.id) == "-lh1-" ||
                            std::string_view(method.id) == "-lzs-" || std::string_view(method.id) == "-lz5-");
}

struct OldDecoder::Impl {
    Impl(const Method& m, ByteSource& src, std::uint64_t packed, std::uint64_t original)
        : kind(kind_of(m)),
          in(src),
          packed_left(packed),
          left(original),
          ring(m.dict_size()),
          mask(m.dict_size() - 1),
          inbuf(kInChunk)
    {
        switch (kind) {
        case Kind::lh1:
            std::fill(ring.begin(), ring.end(), ' ');
            pos = ring.size() - 60;
            break;
        case Kind::lzs:
            std::fill(ring.begin(), ring.end(), ' ');
            pos = ring.size() - 17;
            break;
        case Kind::lz5: {
            std::uint8_t* p = ring.data() + 18;
            for (unsigned i = 0; i < 256; ++i, p += 13)
                std::memset(p, int(i), 13);
            for (unsigned i = 0; i < 256; ++i)
                *p++ = std::uint8_t(i);
            for (unsigned i = 0; i < 256; ++i)
                *p++ = std::uint8_t(255 - i);
            std::memset(p, 0, 128);
            std::memset(p + 128, ' ', 128 - 18);
            pos = ring.size() - 18;
            break;
        }
        }
    }

    std::uint8_t byte()
    {
        if (in_next == in_end) {
            const std::size_t want = std::size_t(std::min<std::uint64_t>(packed_left, kInChunk));
            const std::size_t got = want ? in.read(inbuf.data(), want) : 0;
            if (got == 0)
                throw DataError(Message::data_ends_early);
            packed_left -= got;
            in_next = 0;
            in_end = got;
        }
        return inbuf[in_next++];
    }

    unsigned bit()
    {
        if (bitcount == 0) {
            bitbuf = byte();
            bitcount = 8;
        }
        return (bitbuf >> --bitcount) & 1;
    }

    unsigned bits(unsigned n)
    {
        unsigned v = 0;
        while (n--)
            v = (v << 1) | bit();
        return v;
    }

    // The upper 6 bits of an -lh1- distance: the fixed prefix code.
    unsigned position_high()
    {
        static constexpr unsigned kCount[9] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
        unsigned prefix = 0, first = 0, symbol = 0;
        for (unsigned len = 1; len <= 8; ++len) {
            prefix = (prefix << 1) | bit();
            if (prefix - first < kCount[len])
                return symbol + (prefix - first);
            symbol += kCount[len];
            first = (first + kCount[len]) << 1;
        }
        return 0;  // not reached: the code is complete
    }

    // Reads the next code: a literal goes to `pending`, a match to `from`/`copy`.
    void next_code()
    {
        switch (kind) {
        case Kind::lzs:
            if (bit()) {
                literal(std::uint8_t(bits(8)));
            } else {
                from = bits(11);
                copy = bits(4) + 2;
            }
            break;
        case Kind::lz5: {
            if (flag_count == 0) {
                flags = byte();
                flag_count = 8;
            }
            const bool is_literal = flags & 1;
            flags >>= 1;
            --flag_count;
            if (is_literal) {
                literal(byte());
            } else {
                const unsigned b1 = byte(), b2 = byte();
                from = b1 | ((b2 & 0xF0) << 4);
                copy = (b2 & 0x0F) + 3;
            }
            break;
        }
        case Kind::lh1: {
            const unsigned s = code.decode([this] { return bit(); });
            if (s < 256) {
                literal(std::uint8_t(s));
            } else {
                const unsigned high = position_high();
                const unsigned distance = ((high << 6) | bits(6)) + 1;
                from = (pos - distance) & mask;
                copy = s - 256 + 3;
            }
            break;
        }
        }
    }

    void literal(std::uint8_t b)
    {
        from = pos;  // copying one byte from where it is written: set it first
        ring[pos] = b;
        copy = 1;
        is_pending_literal = true;
    }

    std::size_t read(std::uint8_t* out, std::size_t size)
    {
        std::size_t n = 0;
        while (n < size && left > 0) {
            if (copy == 0)
                next_code();
            while (copy > 0 && n < size && left > 0) {
                const std::uint8_t b = ring[from];
                if (is_pending_literal)
                    is_pending_literal = false;
                else
                    ring[pos] = b;
                from = (from + 1) & mask;
                pos = (pos + 1) & mask;
                out[n++] = b;
                --left;
                --copy;
            }
        }
        if (left == 0)
            copy = 0;  // a match running past the original size ends with it
        return n;
    }

    Kind kind;
    ByteSource& in;
    std::uint64_t packed_left;
    std::uint64_t left;
    std::vector<std::uint8_t> ring;
    std::size_t mask;
    std::size_t pos = 0;   // next ring position to write
    std::size_t from = 0;  // next ring position to copy from
    unsigned copy = 0;     // bytes of the current code still to produce
    bool is_pending_literal = false;
    std::vector<std::uint8_t> inbuf;
    std::size_t in_next = 0, in_end = 0;
    unsigned bitbuf = 0, bitcount = 0;
    unsigned flags = 0, flag_count = 0;
    AdaptiveCode code;
};

OldDecoder::OldDecoder(const Method& method, ByteSource& in, std::uint64_t packed_size,
                       std::uint64_t original_size)
    : impl_(std::make_unique<Impl>(method, in, packed_size, original_size))
{}

OldDecoder::~OldDecoder() = default;

std::size_t OldDecoder::read(std::uint8_t* out, std::size_t size)
{
    return impl_->read(out, size);
}

}  // namespace lzh
