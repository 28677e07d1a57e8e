// test_decoder.cpp - the decoder refuses damaged streams with a DataError and
// never crashes, hangs or reads outside its input.
#include "bit_writer.h"
#include "decoder.h"
#include "encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Sink : lzh::ByteSink {
    Bytes data;
    void write(const std::uint8_t* p, std::size_t n) override { data.insert(data.end(), p, p + n); }
};

// Builds a stream field by field.
class Stream {
public:
    Stream() : bits_(sink_) {}
    Stream& put(std::uint32_t v, unsigned n)
    {
        bits_.put(v, n);
        return *this;
    }
    // A table in single-symbol form: count 0, then the symbol.
    Stream& single(unsigned sym, unsigned width) { return put(0, width).put(sym, width); }
    Bytes bytes()
    {
        bits_.flush();
        Bytes b = sink_.data;
        b.resize(b.size() + 4, 0);  // room to run on: only the checks may stop the decoder
        return b;
    }

private:
    Sink sink_;
    lzh::BitWriter bits_;
};

// Decodes and returns the DataError message ("" when decoding succeeded).
std::string refusal(const Bytes& packed, std::uint64_t original, const lzh::Method& m = lzh::kLh5)
{
    try {
        lzh::decode(m, packed, original);
    } catch (const lzh::DataError& e) {
        return e.what();
    }
    return "";
}

const std::string kDamaged = "圧縮データが壊れています";

TEST(Decoder, RefusesBadBlockHeaders)
{
    struct Case {
        const char* what;
        Bytes stream;
    };
    const Case cases[] = {
        {"block size 0", Stream().put(0, 16).single(0, 5).single(0, 9).single(0, 4).bytes()},
        {"T count above 19", Stream().put(1, 16).put(20, 5).bytes()},
        {"T single symbol 19", Stream().put(1, 16).single(19, 5).bytes()},
        // T single symbol 3 makes every C length 1.
        {"C count above 510", Stream().put(1, 16).single(3, 5).put(511, 9).bytes()},
        {"C single symbol 510", Stream().put(1, 16).single(0, 5).single(510, 9).bytes()},
        {"P count above NP", Stream().put(1, 16).single(0, 5).single(65, 9).put(15, 4).bytes()},
        {"P single symbol NP", Stream().put(1, 16).single(0, 5).single(65, 9).single(14, 4).bytes()},
        // T lengths: 111 and ten 1-bits is a length of 17.
        {"length above 16", Stream().put(1, 16).put(4, 5).put(7, 3).put(0x3FF, 10).put(0, 1).bytes()},
        {"T skip beyond the count", Stream().put(1, 16).put(3, 5).put(1, 3).put(1, 3).put(0, 3).put(1, 2).bytes()},
        {"incomplete code (lengths 2, 2)", Stream().put(1, 16).single(4, 5).put(2, 9).bytes()},
        {"over-subscribed code (lengths 1, 1, 1)", Stream().put(1, 16).single(3, 5).put(3, 9).bytes()},
        {"all lengths zero", Stream().put(1, 16).single(0, 5).put(5, 9).bytes()},
        {"zero run past the count", Stream().put(1, 16).single(1, 5).put(5, 9).put(0, 4).put(0, 4).bytes()},
        {"P table incomplete", Stream().put(1, 16).single(0, 5).single(65, 9).put(1, 4).put(1, 3).bytes()},
    };
    for (const auto& c : cases) {
        const std::string msg = refusal(c.stream, 1);
        EXPECT_EQ(msg.rfind(kDamaged, 0), 0u) << c.what << ": " << msg;
    }
}

// Block 1: one literal 'a'. Block 2: one match of `len` at P symbol `psym`
// (with `extra` bits), all through single-symbol tables.
Bytes literal_then_match(unsigned len, unsigned psym, unsigned extra_bits = 0, unsigned extra = 0)
{
    Stream s;
    s.put(1, 16).single(0, 5).single('a', 9).single(0, 4);
    s.put(1, 16).single(0, 5).single(256 + len - 3, 9).single(psym, 4);
    if (extra_bits)
        s.put(extra, extra_bits);
    return s.bytes();
}

TEST(Decoder, ChecksMatchesAgainstStartAndEnd)
{
    // Distance 1 after one byte: fine.
    EXPECT_EQ(lzh::decode(lzh::kLh5, literal_then_match(256, 0), 257), Bytes(257, 'a'));
    // Distance 2 (P symbol 1) after one byte reaches before the start.
    EXPECT_EQ(refusal(literal_then_match(256, 1), 257).rfind(kDamaged, 0), 0u);
    // P symbol 13 with 12 extra bits: a distance of 4097 or more.
    EXPECT_EQ(refusal(literal_then_match(3, 13, 12, 0), 4).rfind(kDamaged, 0), 0u);
    // A match longer than the bytes still to come.
    EXPECT_EQ(refusal(literal_then_match(256, 0), 100).rfind(kDamaged, 0), 0u);
    // A first code that is a match.
    const Bytes match_first = Stream().put(1, 16).single(0, 5).single(256, 9).single(0, 4).bytes();
    EXPECT_EQ(refusal(match_first, 3).rfind(kDamaged, 0), 0u);
}

Bytes sample()
{
    std::mt19937 rng(3);
    Bytes b;
    const std::string words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta "};
    while (b.size() < 60000) {
        if (rng() % 50 == 0)
            for (int i = 0; i < 40; ++i)
                b.push_back(static_cast<std::uint8_t>(rng()));
        const std::string& w = words[rng() % 6];
        b.insert(b.end(), w.begin(), w.end());
    }
    return b;
}

// Every cut-short stream is refused as cut short (not as some table error
// found in the made-up bits past the end): the decoder never reads past the
// packed size it is given.
TEST(Decoder, RefusesEveryTruncation)
{
    const Bytes in = sample();
    for (const auto* m : {&lzh::kLh5, &lzh::kLh7}) {
        const Bytes packed = lzh::encode(*m, lzh::Effort::normal, in);
        ASSERT_EQ(lzh::decode(*m, packed, in.size()), in);
        for (std::size_t cut = 0; cut < packed.size(); cut += (cut < 64 || packed.size() - cut < 64) ? 1 : 97) {
            const Bytes shorter(packed.begin(), packed.begin() + cut);
            EXPECT_NE(refusal(shorter, in.size(), *m).find("途中で終わっています"), std::string::npos)
                << m->id << " cut at " << cut;
        }
    }
}

// Flipped bits either are refused or decode to the right number of bytes
// (the data CRC catches the rest); nothing else may happen.
TEST(Decoder, SurvivesFlippedBits)
{
    const Bytes in = sample();
    std::mt19937 rng(17);
    for (const auto* m : {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7}) {
        const Bytes packed = lzh::encode(*m, lzh::Effort::normal, in);
        int refused = 0;
        for (int round = 0; round < 300; ++round) {
            Bytes bad = packed;
            // Mostly the block header, where the tables are.
            const std::size_t at = round % 2 ? rng() % std::min<std::size_t>(bad.size(), 64) : rng() % bad.size();
            bad[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            try {
                EXPECT_EQ(lzh::decode(*m, bad, in.size()).size(), in.size());
            } catch (const lzh::DataError&) {
                ++refused;
            }
        }
        EXPECT_GT(refused, 50) << m->id;
    }
}

}  // namespace
