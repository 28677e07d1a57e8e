// test_codec.cpp - encoder and decoder together: round trips for every method
// and effort over the inputs that exercise the window, match and block limits.
#include "decoder.h"
#include "encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const lzh::Method* const kMethods[] = {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7};
const lzh::Effort kEfforts[] = {lzh::Effort::fast, lzh::Effort::normal, lzh::Effort::best};

Bytes random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// Words drawn with a skewed distribution, lines of varying length: compresses
// like prose.
Bytes text(std::size_t n, unsigned seed)
{
    static const char* const words[] = {"the", "archive", "of", "files", "and", "a", "window", "Huffman",
                                        "code", "is", "to", "compress", "data", "block", "match", "in",
                                        "distance", "length", "table", "symbol", "stream", "reader"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const unsigned r = rng() % 1000;
        const char* w = words[(r * r / 1000) * std::size(words) / 1000];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
        b.push_back(rng() % 9 == 0 ? '\n' : ' ');
    }
    b.resize(n);
    return b;
}

struct Sink : lzh::ByteSink {
    Bytes data;
    void write(const std::uint8_t* p, std::size_t n) override { data.insert(data.end(), p, p + n); }
};

// Encodes `in` fed in pieces of `piece` bytes (0: one piece).
Bytes encode_in_pieces(const lzh::Method& m, lzh::Effort e, const Bytes& in, std::size_t piece)
{
    Sink sink;
    lzh::Encoder enc(m, e, sink);
    if (piece == 0)
        piece = in.size() + 1;
    for (std::size_t at = 0; at < in.size(); at += piece)
        enc.write(in.data() + at, std::min(piece, in.size() - at));
    enc.finish();
    EXPECT_EQ(enc.bytes_in(), in.size());
    EXPECT_EQ(enc.bytes_out(), sink.data.size());
    return sink.data;
}

void expect_round_trip(const lzh::Method& m, lzh::Effort e, const Bytes& in, const std::string& what)
{
    const Bytes packed = lzh::encode(m, e, in);
    Bytes back;
    ASSERT_NO_THROW(back = lzh::decode(m, packed, in.size())) << what;
    ASSERT_EQ(back.size(), in.size()) << what;
    EXPECT_TRUE(back == in) << what << ": decoded bytes differ";
}

TEST(Codec, WorkedExampleDecodesAndIsWhatTheEncoderWrites)
{
    const Bytes stream = {0x00, 0x04, 0x28, 0x05, 0x31, 0x31, 0x37, 0x93, 0x50, 0x21, 0xb0};
    const std::string abc8 = "abcabcabcabcabcabcabcabc";
    const Bytes expected(abc8.begin(), abc8.end());
    EXPECT_EQ(lzh::decode(lzh::kLh5, stream, 24), expected);
    EXPECT_EQ(lzh::encode(lzh::kLh5, lzh::Effort::normal, expected), stream);
}

TEST(Codec, EmptyInputGivesEmptyStream)
{
    for (const auto* m : kMethods)
        EXPECT_TRUE(lzh::encode(*m, lzh::Effort::normal, {}).empty());
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
        const Bytes mixed = [&] {
            Bytes b = text(150000, 2);
            const Bytes r = random_bytes(40000, 3);
            b.insert(b.begin() + 70000, r.begin(), r.end());
            return b;
        }();
        const std::vector<std::pair<std::string, Bytes>> inputs = {
            {"one byte", {0x41}},
            {"two bytes", {0x00, 0xFF}},
            {"one window", text(dict, 1)},
            {"window - 1", text(dict - 1, 1)},
            {"window + 1", text(dict + 1, 1)},
            {"runs longer than 256", runs},
            {"match at the largest distance", far},
            {"random", random_bytes(3 * dict + 5, 4)},
            {"text and random", mixed},
            {"every byte value", [] { Bytes b; for (int r = 0; r < 4; ++r) for (int i = 0; i < 256; ++i) b.push_back(std::uint8_t(i * 37 + r)); return b; }()},
        };
        for (const auto e : kEfforts)
            for (const auto& [what, in] : inputs)
                expect_round_trip(*m, e, in, std::string(m->id) + " effort " + std::to_string(int(e)) + ": " + what);
    }
}

// Pieces of any size give the same stream as one piece.
TEST(Codec, PieceSizesDoNotChangeTheStream)
{
    Bytes in = text(200000, 9);
    const Bytes r = random_bytes(30000, 10);
    in.insert(in.begin() + 50000, r.begin(), r.end());
    for (const auto* m : kMethods)
        for (const auto e : kEfforts) {
            const Bytes whole = encode_in_pieces(*m, e, in, 0);
            for (std::size_t piece : {1u, 7u, 4097u})
                EXPECT_TRUE(encode_in_pieces(*m, e, in, piece) == whole)
                    << m->id << " effort " << int(e) << " piece " << piece;
            EXPECT_EQ(lzh::decode(*m, whole, in.size()), in);
        }
}

TEST(Codec, CompressesTextAndDoesNotBlowUpRandomData)
{
    const Bytes t = text(100000, 6);
    const Bytes r = random_bytes(100000, 6);
    for (const auto* m : kMethods) {
        EXPECT_LT(lzh::encode(*m, lzh::Effort::normal, t).size(), t.size() / 3) << m->id;
        // Random bytes: literals of about 8 bits plus the tables of each block.
        EXPECT_LT(lzh::encode(*m, lzh::Effort::normal, r).size(), r.size() + r.size() / 50) << m->id;
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
    for (std::size_t size : {1 + 256u * 16447, 1 + 256u * 16447 + 3, 1 + 256u * 16448, 1 + 256u * 16499 + 200}) {
        const Bytes zeros(size, 0);
        const std::size_t extra = size;
        for (const auto* m : kMethods)
            for (const auto e : kEfforts) {
                Sink sink;
                lzh::Encoder enc(*m, e, sink);
                enc.write(zeros.data(), zeros.size());
                enc.finish();
                const std::string what = std::string(m->id) + " effort " + std::to_string(int(e)) +
                                         " size " + std::to_string(extra);
                EXPECT_GE(enc.blocks(), 2u) << what;
                EXPECT_GE(enc.last_block_bits(), 64u) << what;
                EXPECT_TRUE(lzh::decode(*m, sink.data, zeros.size()) == zeros) << what;
            }
    }
}

// A stream of several blocks that ends right after a block boundary still
// decodes (the final block is never empty).
TEST(Codec, ManyBlocksRoundTrip)
{
    const Bytes r = random_bytes(16384 * 3 + 64, 12);  // random bytes: one literal per byte
    for (std::size_t n : {16384u * 2, 16384u * 2 + 63, 16384u * 2 + 64, 16384u * 2 + 65, 16384u * 3 + 64}) {
        const Bytes in(r.begin(), r.begin() + n);
        Sink sink;
        lzh::Encoder enc(lzh::kLh5, lzh::Effort::fast, sink);
        enc.write(in.data(), in.size());
        enc.finish();
        EXPECT_GE(enc.blocks(), 2u) << n;
        EXPECT_TRUE(lzh::decode(lzh::kLh5, sink.data, in.size()) == in) << n;
    }
}

}  // namespace
