// encoder.h - codes one member's data as an -lh5-, -lh6- or -lh7- stream.
//
// Pipeline: match finder (match_finder.h) -> parser, which records literals and
// matches for one block -> block writer, which builds the three Huffman tables
// from the block's counts and writes the block -> bit writer (bit_writer.h).
#pragma once

#include "codec/io.h"
#include "codec/method.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lzh {

enum class Effort { fast, normal, best };

class Encoder {
public:
    // `method` must be a coded method (-lh5-, -lh6-, -lh7-). The coded stream
    // goes to `out` as it is produced. `size_hint` is the expected input size
    // (0: unknown); it sizes the match finder's tables and must be the same
    // for the same input wherever byte-identical streams are expected.
    Encoder(const Method& method, Effort effort, ByteSink& out, std::uint64_t size_hint = 0);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Feeds the next `size` bytes of the member; may be called any number of
    // times with pieces of any size.
    void write(const std::uint8_t* data, std::size_t size);

    // Codes what is left and pads the last byte with zero bits. After this the
    // stream in `out` is complete: a final block of at least 8 bytes whenever
    // there is more than one block, nothing after the padding.
    void finish();

    std::uint64_t bytes_in() const;
    std::uint64_t bytes_out() const;
    // Input bytes covered by the blocks written so far (bytes_out() minus at
    // most 7 bits is their coded size).
    std::uint64_t bytes_coded() const;

    // Whether every part of the input judged so far had next to no matches
    // (already-compressed data), so that it was coded on the cheap path
    // (tests and measurements; false with best effort, which does not judge
    // its input).
    bool sparse_only() const;

    // Blocks written so far, and the length in bits of the latest one from
    // its size field to its last code (tests and measurements).
    std::uint64_t blocks() const;
    std::uint64_t last_block_bits() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The whole stream for `data` at once (tests, small members).
std::vector<std::uint8_t> encode(const Method& method, Effort effort, std::span<const std::uint8_t> data);

}  // namespace lzh
