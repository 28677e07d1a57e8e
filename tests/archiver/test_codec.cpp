// test_codec.cpp - encoder and decoder together: the worked example, round trips
// for every method and effort over inputs at the window, match and block
// limits, and the two rules for how a stream may end.
#include "archive_support.h"
#include "codec/decoder.h"
#include "codec/encoder.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace {

using test_support::Bytes;
using test_support::to_bytes;

const lzh::Method* const kMethods[] = {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7};
const lzh::Effort kEfforts[] = {lzh::Effort::fast, lzh::Effort::normal, lzh::Effort::best};

Bytes random_bytes(std::size_t n, unsigned seed)
{
    return to_bytes(test_support::noise(n, seed));
}
Bytes text(std::size_t n, unsigned seed)
{
    return to_bytes(test_support::text_data(n, seed));
}

// Encodes `in` fed in pieces of `piece` bytes, the encoder told to expect `hint` bytes.
Bytes encode_in_pieces(const lzh::Method& m, lzh::Effort e, const Bytes& in, std::size_t piece,
                       std::size_t hint = 0)
{
    test_support::StringSink sink;
    lzh::Encoder enc(m, e, sink, hint);
    for (std::size_t at = 0; at < in.size(); at += piece)
        enc.write(in.data() + at, std::min(piece, in.size() - at));
    enc.finish();
    EXPECT_EQ(enc.bytes_out(), sink.data.size());
    return to_bytes(sink.data);
}

/*
 * An independent, slow walk through a stream (bit by bit, codes looked up in
 * a map) that records where each block and the last code lie: the stream's
 * layout, which a round trip through our own decoder cannot see.
 */
struct Layout {
    std::vector<std::uint64_t> block_starts;  // bit offset of each block-size field
    std::vector<unsigned> block_codes;        // codes of each block
    bool last_is_match = false;
    std::uint64_t last_c_end = 0;  // bit offset just after the last code's C code
    std::uint64_t total_bits = 0;
    unsigned max_distance = 0;  // the longest match distance used
};

class Walker {
public:
    explicit Walker(const Bytes& d) : d_(d) {}

    Layout walk(const lzh::Method& m, std::uint64_t original)
    {
        Layout out;
        out.total_bits = d_.size() * 8;
        for (std::uint64_t produced = 0; produced < original;) {
            out.block_starts.push_back(at_);
            const unsigned n = bits(16);
            out.block_codes.push_back(n);
            const Code t = lengths(19, 5, true);
            Code c;
            if (const unsigned cn = bits(9); cn == 0) {
                c.single = int(bits(9));
            } else {
                std::vector<std::uint8_t> lens(510, 0);
                for (unsigned i = 0; i < cn;) {
                    const unsigned x = decode(t);
                    if (x >= 3)
                        lens[i++] = std::uint8_t(x - 2);
                    else
                        i += x == 0 ? 1 : x == 1 ? bits(4) + 3 : bits(9) + 20;
                }
                c = canonical(lens);
            }
            const Code p = lengths(m.np, m.pbit, false);
            for (unsigned k = 0; k < n && produced < original; ++k) {
                const unsigned x = decode(c);
                out.last_c_end = at_;
                out.last_is_match = x >= 256;
                if (x < 256) {
                    ++produced;
                    continue;
                }
                const unsigned ps = decode(p);
                const unsigned pv = ps < 2 ? ps : (1u << (ps - 1)) | bits(ps - 1);
                out.max_distance = std::max(out.max_distance, pv + 1);
                produced += x - 253;
            }
        }
        return out;
    }

private:
    struct Code {
        int single = -1;
        std::map<std::pair<unsigned, unsigned>, unsigned> sym;  // (length, code) -> symbol
    };

    unsigned bits(unsigned n)
    {
        unsigned v = 0;
        for (unsigned i = 0; i < n; ++i, ++at_)
            v = (v << 1) | ((at_ / 8 < d_.size() ? d_[at_ / 8] >> (7 - at_ % 8) : 0) & 1);
        return v;
    }
    static Code canonical(const std::vector<std::uint8_t>& lens)
    {
        Code c;
        unsigned code = 0;
        for (unsigned l = 1; l <= 16; ++l, code <<= 1)
            for (unsigned s = 0; s < lens.size(); ++s)
                if (lens[s] == l)
                    c.sym[{l, code++}] = s;
        return c;
    }
    unsigned decode(const Code& c)
    {
        if (c.single >= 0)
            return unsigned(c.single);
        for (unsigned l = 1, v = bits(1); l <= 16; ++l, v = (v << 1) | bits(1))
            if (auto it = c.sym.find({l, v}); it != c.sym.end())
                return it->second;
        ADD_FAILURE() << "no code at bit " << at_;
        return 0;
    }
    Code lengths(unsigned alphabet, unsigned count_bits, bool skip_field)
    {
        const unsigned n = bits(count_bits);
        if (n == 0)
            return Code{int(bits(count_bits)), {}};
        std::vector<std::uint8_t> lens(alphabet, 0);
        for (unsigned i = 0; i < n;) {
            unsigned l = bits(3);
            if (l == 7)
                while (bits(1))
                    ++l;
            lens[i++] = std::uint8_t(l);
            if (skip_field && i == 3)
                i += bits(2);
        }
        return canonical(lens);
    }

    const Bytes& d_;
    std::uint64_t at_ = 0;
};

TEST(Codec, WorkedExampleDecodesAndIsWhatTheEncoderWrites)
{
    const Bytes stream = {0x00, 0x04, 0x28, 0x05, 0x31, 0x31, 0x37, 0x93, 0x50, 0x21, 0xb0};
    const Bytes abc8 = to_bytes("abcabcabcabcabcabcabcabc");
    EXPECT_EQ(lzh::decode(lzh::kLh5, stream, 24), abc8);
    EXPECT_EQ(lzh::encode(lzh::kLh5, lzh::Effort::normal, abc8), stream);
}

TEST(Codec, RoundTripsEveryMethodAndEffort)
{
    for (const auto* m : kMethods) {
        const std::size_t dict = m->dict_size();
        // The same 64 random bytes again exactly dict - 1 bytes later: the
        // longest distance the encoder may use.
        Bytes far = random_bytes(dict + 63, 5);
        std::copy(far.begin(), far.begin() + 64, far.end() - 64);
        Bytes runs(3000, 'x');
        runs.insert(runs.end(), 700, 'y');
        runs.push_back('x');
        // Text, then random bytes over a whole 64 KiB chunk (coded as sparse
        // data), then text again.
        Bytes mixed = text(150000, 2);
        const Bytes r = random_bytes(140000, 3);
        mixed.insert(mixed.begin() + 70000, r.begin(), r.end());
        Bytes every_value;
        for (int i = 0; i < 1024; ++i)
            every_value.push_back(std::uint8_t(i * 37 + i / 256));
        const std::pair<const char*, Bytes> inputs[] = {
            {"empty", {}},
            {"one byte", {0x41}},
            {"two bytes", {0x00, 0xFF}},
            {"window - 1", text(dict - 1, 1)},
            {"one window", text(dict, 1)},
            {"window + 1", text(dict + 1, 1)},
            {"runs longer than 256", runs},
            {"match at the largest distance", far},
            {"random", random_bytes(3 * dict + 5, 4)},
            // Random bytes are one literal each: blocks of 16384 codes end at these sizes.
            {"two full blocks", random_bytes(2 * 16384, 12)},
            {"two blocks and 64", random_bytes(2 * 16384 + 64, 12)},
            {"text and random", mixed},
            {"every byte value", every_value},
        };
        for (const auto e : kEfforts) {
            for (const auto& [what, in] : inputs) {
                SCOPED_TRACE(std::string(m->id) + " effort " + std::to_string(int(e)) + ": " + what);
                const Bytes packed = lzh::encode(*m, e, in);
                EXPECT_EQ(packed.empty(), in.empty());
                ASSERT_EQ(lzh::decode(*m, packed, in.size()), in);
            }
            // The far copy is found, and nothing reaches further.
            EXPECT_EQ(Walker(lzh::encode(*m, e, far)).walk(*m, far.size()).max_distance, dict - 1) << m->id;
            // Pieces of any size give the same stream as one piece.
            for (std::size_t piece : {1u, 4097u})
                EXPECT_EQ(encode_in_pieces(*m, e, mixed, piece), lzh::encode(*m, e, mixed))
                    << "piece " << piece;
            // A size hint far below the real size (a file that grew after its
            // stat): the window made for the hint slides, the stream stays
            // sound and still does not depend on the pieces.
            const Bytes grown = encode_in_pieces(*m, e, mixed, 7000, 100);
            EXPECT_EQ(lzh::decode(*m, grown, mixed.size()), mixed);
            EXPECT_EQ(encode_in_pieces(*m, e, mixed, 1, 100), grown);
        }
    }
}

// A finished encoder's buffers serve the next one on the same thread: nothing
// they held may show in the next stream.
TEST(Codec, StreamDoesNotDependOnWhatTheThreadCodedBefore)
{
    const Bytes small = text(5000, 8);
    Bytes large = text(90000, 9);
    const Bytes r = random_bytes(30000, 9);
    large.insert(large.begin() + 20000, r.begin(), r.end());
    for (const auto e : kEfforts) {
        SCOPED_TRACE("effort " + std::to_string(int(e)));
        Bytes fresh_small, fresh_large;
        std::thread([&] {
            fresh_small = lzh::encode(lzh::kLh7, e, small);
            fresh_large = encode_in_pieces(lzh::kLh5, e, large, 5000, 1000);
        }).join();
        lzh::encode(lzh::kLh7, e, random_bytes(200000, 10));
        EXPECT_EQ(lzh::encode(lzh::kLh7, e, small), fresh_small);
        EXPECT_EQ(encode_in_pieces(lzh::kLh5, e, large, 5000, 1000), fresh_large);
        EXPECT_EQ(lzh::encode(lzh::kLh7, e, small), fresh_small);
    }
}

/*
 * Fast effort compares its candidates' first eight bytes at once and steps
 * over positions where nothing matches. A match that runs into the end of
 * the input (fewer than eight bytes left, or just eight) must stop there; a
 * repeat after a long stretch of random bytes must still be found; random
 * bytes must not grow beyond their literals.
 */
TEST(Codec, FastEffortMatchesUpToTheEndAndAfterNoise)
{
    const Bytes t = text(2000, 21);
    for (std::size_t tail : {4u, 5u, 7u, 8u, 9u, 300u}) {
        Bytes in = t;
        in.insert(in.end(), t.begin() + 100, t.begin() + 100 + tail);
        for (const auto* m : kMethods) {
            SCOPED_TRACE(std::string(m->id) + " tail " + std::to_string(tail));
            const Bytes packed = lzh::encode(*m, lzh::Effort::fast, in);
            ASSERT_EQ(lzh::decode(*m, packed, in.size()), in);
            EXPECT_TRUE(Walker(packed).walk(*m, in.size()).last_is_match);
        }
    }
    // 40000 random bytes twice: the copy lies within -lh7-'s reach only.
    const Bytes half = random_bytes(40000, 22);
    Bytes twice = half;
    twice.insert(twice.end(), half.begin(), half.end());
    const Bytes packed = lzh::encode(lzh::kLh7, lzh::Effort::fast, twice);
    EXPECT_EQ(lzh::decode(lzh::kLh7, packed, twice.size()), twice);
    EXPECT_LT(packed.size(), half.size() + half.size() / 20);
    for (const auto* m : kMethods)
        EXPECT_LT(lzh::encode(*m, lzh::Effort::fast, half).size(), half.size() + half.size() / 50) << m->id;
}

TEST(Codec, CompressesTextAndDoesNotBlowUpRandomData)
{
    const Bytes t = text(100000, 6);
    const Bytes r = random_bytes(100000, 6);
    auto judged_sparse = [](const lzh::Method& m, const Bytes& in) {
        std::vector<std::uint8_t> out;
        lzh::VectorSink sink(out);
        lzh::Encoder enc(m, lzh::Effort::normal, sink, in.size());
        enc.write(in.data(), in.size());
        enc.finish();
        return enc.sparse_only();
    };
    for (const auto* m : kMethods) {
        EXPECT_LT(lzh::encode(*m, lzh::Effort::normal, t).size(), t.size() / 3) << m->id;
        // Random bytes: literals of about 8 bits plus the tables of each block.
        EXPECT_LT(lzh::encode(*m, lzh::Effort::normal, r).size(), r.size() + r.size() / 50) << m->id;
        EXPECT_TRUE(judged_sparse(*m, r)) << m->id;
        EXPECT_FALSE(judged_sparse(*m, t)) << m->id;
        // Random bytes written twice, one dictionary size - 1 apart: the copy
        // lies in a chunk of its own and matches only the one before it.
        const Bytes half = random_bytes(m->dict_size() - 1, 7);
        Bytes twice = half;
        twice.insert(twice.end(), half.begin(), half.end());
        EXPECT_FALSE(judged_sparse(*m, twice)) << m->id;
    }
}

// The end of a sparse chunk (random bytes, coded without searching) stays
// within reach of the searches after it: a copy of its last half dictionary
// codes as matches.
TEST(Codec, TailOfASparseChunkIsMatchedByWhatFollows)
{
    const Bytes r = random_bytes(4 * 65536, 11);  // four whole sparse chunks
    for (const auto* m : kMethods) {
        const std::size_t half = m->dict_size() / 2;
        Bytes again = r;
        again.insert(again.end(), r.end() - half, r.end());
        for (const auto e : {lzh::Effort::fast, lzh::Effort::normal}) {
            SCOPED_TRACE(std::string(m->id) + " effort " + std::to_string(int(e)));
            const Bytes packed = lzh::encode(*m, e, again);
            EXPECT_LT(packed.size(), lzh::encode(*m, e, r).size() + half / 16);
            EXPECT_EQ(lzh::decode(*m, packed, again.size()), again);
        }
    }
}

/*
 * A long run of one byte codes as one match symbol over and over, which
 * single-symbol tables make zero bits each. The final block of such a stream
 * must still come out at least 64 bits long. Zero bytes code as one literal
 * and then matches of 256: the sizes below give 16448 (the first moment a
 * block is written), 16449 and 16500 codes, with a shorter last match or not.
 */
TEST(Codec, FinalBlockOfLongZeroRunIsAtLeast64Bits)
{
    for (std::size_t size :
         {1 + 256u * 16447, 1 + 256u * 16447 + 3, 1 + 256u * 16448, 1 + 256u * 16499 + 200}) {
        const Bytes zeros(size, 0);
        for (const auto* m : kMethods)
            for (const auto e : kEfforts) {
                SCOPED_TRACE(std::string(m->id) + " effort " + std::to_string(int(e)) + " size " +
                             std::to_string(size));
                const Bytes packed = lzh::encode(*m, e, zeros);
                const Layout layout = Walker(packed).walk(*m, zeros.size());
                ASSERT_GE(layout.block_starts.size(), 2u);
                EXPECT_GE(layout.total_bits - layout.block_starts.back(), 64u);
                EXPECT_EQ(lzh::decode(*m, packed, zeros.size()), zeros);
            }
    }
}

/*
 * Best effort cuts a block where the data changes character, in the last
 * record of a stream too (here the whole input): every block still holds at
 * least 64 codes, the final one at least 64 bits even when it is one run of
 * matches, and the stream does not end right after a match code.
 */
TEST(Codec, BestEffortCutsBlocksWhereTheDataChanges)
{
    Bytes digits;
    for (unsigned i = 0; i < 6000; ++i)
        digits.push_back(std::uint8_t('0' + (i * 7 + i / 13) % 10));
    Bytes text_digits = text(6000, 11);
    text_digits.insert(text_digits.end(), digits.begin(), digits.end());
    Bytes text_zeros = text(6000, 12);
    text_zeros.insert(text_zeros.end(), 256 * 200 + 5, 0);
    Bytes text_digits_text = text_digits;
    const Bytes more = text(40000, 13);
    text_digits_text.insert(text_digits_text.end(), more.begin(), more.end());
    for (const auto* m : kMethods)
        for (const Bytes* in : {&text_digits, &text_zeros, &text_digits_text}) {
            SCOPED_TRACE(std::string(m->id) + " size " + std::to_string(in->size()));
            const Bytes packed = lzh::encode(*m, lzh::Effort::best, *in);
            ASSERT_EQ(lzh::decode(*m, packed, in->size()), *in);
            const Layout layout = Walker(packed).walk(*m, in->size());
            ASSERT_GE(layout.block_starts.size(), 2u);
            for (const unsigned n : layout.block_codes)
                EXPECT_GE(n, 64u);
            EXPECT_GE(layout.total_bits - layout.block_starts.back(), 64u);
            if (layout.last_is_match) {
                EXPECT_LT(layout.last_c_end, layout.total_bits);
            }
            // One block over all of it would be larger.
            EXPECT_LT(packed.size(), lzh::encode(*m, lzh::Effort::normal, *in).size());
        }
}

// Best effort codes the zero runs between used C symbols as whichever run
// items cost least (runs of three as single zeros when those are common, say):
// byte sets with gaps of many sizes still decode, by our decoder and by the
// independent walk.
TEST(Codec, BestEffortCodesZeroRunsOfAnyLength)
{
    std::uint32_t state = 7;
    auto next = [&] { return state = state * 1103515245u + 12345u, state >> 16; };
    for (unsigned round = 0; round < 40; ++round) {
        std::vector<std::uint8_t> values;
        // Mostly single unused values between used ones, some longer gaps.
        for (unsigned v = next() % 8; v < 256; v += next() % 5 ? 2 : 4 + next() % (round < 20 ? 20 : 250))
            values.push_back(std::uint8_t(v));
        Bytes in(1500 + next() % 3000);
        for (auto& b : in)
            b = values[next() % values.size()];
        for (const auto* m : {&lzh::kLh5, &lzh::kLh7}) {
            SCOPED_TRACE(std::string(m->id) + " round " + std::to_string(round));
            const Bytes packed = lzh::encode(*m, lzh::Effort::best, in);
            Walker(packed).walk(*m, in.size());
            ASSERT_EQ(lzh::decode(*m, packed, in.size()), in);
        }
    }
}

/*
 * One reader drops the last match when the stream ends right after that
 * match's C code (its position taking no bits, no padding after it). Runs of
 * one byte, whose matches have distance 1, hit that in about one of eight
 * sizes; the encoder must avoid it in all of them.
 */
TEST(Codec, StreamNeverEndsRightAfterAMatchCode)
{
    for (const auto* m : kMethods)
        for (std::size_t size = 200; size < 6000; size += 37)
            for (unsigned tail = 0; tail < 4; ++tail) {
                Bytes in(size, 0);
                in.insert(in.end(), tail, std::uint8_t(0xA2));
                const Bytes packed = lzh::encode(*m, lzh::Effort::normal, in);
                const Layout layout = Walker(packed).walk(*m, in.size());
                if (layout.last_is_match) {
                    EXPECT_LT(layout.last_c_end, layout.total_bits)
                        << m->id << " size " << size << " tail " << tail;
                }
            }
}

}  // namespace
