// test_decoder.cpp - the decoder refuses damaged streams with a DataError and
// never crashes, hangs or reads outside its input.
#include "archive_support.h"
#include "codec/bit_writer.h"
#include "codec/decoder.h"
#include "codec/encoder.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using test_support::Bytes;

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
        Bytes b = test_support::to_bytes(sink_.data);
        b.resize(b.size() + 4, 0);  // room to run on: only the checks may stop the decoder
        return b;
    }

private:
    test_support::StringSink sink_;
    lzh::BitWriter bits_;
};

// The DataError's code for decoding `packed` (none when it decoded).
std::optional<lzh::Message> refusal(const Bytes& packed, std::uint64_t original,
                                    const lzh::Method& m = lzh::kLh5)
{
    try {
        lzh::decode(m, packed, original);
    } catch (const lzh::DataError& e) {
        return e.code();
    }
    return std::nullopt;
}

// The code of what the decoder found wrong in `packed` (the DataError's
// detail; none when it decoded or gave no detail).
std::optional<lzh::Message> damage(const Bytes& packed, std::uint64_t original)
{
    try {
        lzh::decode(lzh::kLh5, packed, original);
    } catch (const lzh::DataError& e) {
        if (e.detail())
            return e.detail()->code();
    }
    return std::nullopt;
}

// Block 1: one literal 'a'. Block 2: one match of `len` at P symbol `psym`
// (with `extra` bits), all through single-symbol tables.
Bytes literal_then_match(unsigned len, unsigned psym, unsigned extra_bits = 0)
{
    Stream s;
    s.put(1, 16).single(0, 5).single('a', 9).single(0, 4);
    s.put(1, 16).single(0, 5).single(256 + len - 3, 9).single(psym, 4);
    return s.put(0, extra_bits).bytes();
}

TEST(Decoder, RefusesBadStreams)
{
    // Distance 1 after one byte is fine: the match cases below differ from it in one field.
    ASSERT_EQ(lzh::decode(lzh::kLh5, literal_then_match(256, 0), 257), Bytes(257, 'a'));
    using M = lzh::Message;
    struct Case {
        const char* what;
        M found;
        Bytes stream;
        std::uint64_t original = 1;
    };
    const Case cases[] = {
        {"block size 0", M::block_of_no_codes,
         Stream().put(0, 16).single(0, 5).single(0, 9).single(0, 4).bytes()},
        {"T count above 19", M::length_count_out_of_range, Stream().put(1, 16).put(20, 5).bytes()},
        {"T single symbol 19", M::single_symbol_out_of_range, Stream().put(1, 16).single(19, 5).bytes()},
        // T single symbol 3 makes every C length 1.
        {"C count above 510", M::length_count_out_of_range,
         Stream().put(1, 16).single(3, 5).put(511, 9).bytes()},
        {"C single symbol 510", M::single_symbol_out_of_range,
         Stream().put(1, 16).single(0, 5).single(510, 9).bytes()},
        {"P count above NP", M::length_count_out_of_range,
         Stream().put(1, 16).single(0, 5).single(65, 9).put(15, 4).bytes()},
        {"P single symbol NP", M::single_symbol_out_of_range,
         Stream().put(1, 16).single(0, 5).single(65, 9).single(14, 4).bytes()},
        // T lengths: 111 and ten 1-bits is a length of 17.
        {"length above 16", M::code_length_over_16,
         Stream().put(1, 16).put(4, 5).put(7, 3).put(0x3FF, 10).put(0, 1).bytes()},
        {"T skip beyond the count", M::length_skip_out_of_range,
         Stream().put(1, 16).put(3, 5).put(1, 3).put(1, 3).put(0, 3).put(1, 2).bytes()},
        {"incomplete code (lengths 2, 2)", M::huffman_incomplete,
         Stream().put(1, 16).single(4, 5).put(2, 9).bytes()},
        {"over-subscribed code (1, 1, 1)", M::huffman_over_subscribed,
         Stream().put(1, 16).single(3, 5).put(3, 9).bytes()},
        {"all lengths zero", M::huffman_lengths_all_zero, Stream().put(1, 16).single(0, 5).put(5, 9).bytes()},
        {"zero run past the count", M::zero_run_past_count,
         Stream().put(1, 16).single(1, 5).put(5, 9).put(0, 4).put(0, 4).bytes()},
        {"P table incomplete", M::huffman_incomplete,
         Stream().put(1, 16).single(0, 5).single(65, 9).put(1, 4).put(1, 3).bytes()},
        {"distance before the start", M::distance_before_start, literal_then_match(256, 1), 257},
        {"distance beyond the window", M::distance_before_start, literal_then_match(3, 13, 12), 4},
        {"match longer than the bytes to come", M::match_past_end, literal_then_match(256, 0), 100},
        {"match as the first code", M::distance_before_start,
         Stream().put(1, 16).single(0, 5).single(256, 9).single(0, 4).bytes(), 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(c.stream, c.original), M::damaged_data) << c.what;
        EXPECT_EQ(damage(c.stream, c.original), c.found) << c.what;
    }
}

// Every cut-short stream is refused as cut short, not as a table error found
// in made-up bits past the end: the decoder never reads past its packed size.
// Flipped bits are refused or decode to the right length (the data CRC
// catches the rest); nothing else may happen.
TEST(Decoder, CutOrFlippedStreamsAreRefusedSafely)
{
    const Bytes in = test_support::to_bytes(test_support::text_data(40000, 3) + test_support::noise(2000, 3));
    std::mt19937 rng(17);
    for (const auto* m : {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7}) {
        SCOPED_TRACE(m->id);
        const Bytes packed = lzh::encode(*m, lzh::Effort::normal, in);
        for (std::size_t cut = 0; cut < packed.size(); cut += (cut < 64 || packed.size() - cut < 64) ? 1 : 97)
            EXPECT_EQ(refusal(Bytes(packed.begin(), packed.begin() + cut), in.size(), *m),
                      lzh::Message::data_ends_early)
                << "cut at " << cut;
        int refused = 0;
        for (int round = 0; round < 300; ++round) {
            Bytes bad = packed;
            // Half of them in the first block header, where the tables are.
            bad[round % 2 ? rng() % 64 : rng() % bad.size()] ^= std::uint8_t(1u << (rng() % 8));
            try {
                EXPECT_EQ(lzh::decode(*m, bad, in.size()).size(), in.size());
            } catch (const lzh::DataError&) {
                ++refused;
            }
        }
        EXPECT_GT(refused, 50);
    }
}

}  // namespace
