// decoder.h - decodes an -lh4-, -lh5-, -lh6- or -lh7- stream (and, through
// OldDecoder, -lh1-, -lzs- and -lz5-).
#pragma once

#include "codec/io.h"
#include "codec/method.h"
#include "codec/old_decoder.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lzh {

class Decoder {
public:
    // Reads at most `packed_size` bytes from `in` and produces exactly
    // `original_size` bytes. Damaged data (bad tables, a distance before the
    // start, a stream shorter than it claims) throws lzh::DataError; it never
    // reads past `packed_size` nor writes past the caller's buffer.
    Decoder(const Method& method, ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Places up to `size` decoded bytes in `out`; returns how many. 0 means
    // all `original_size` bytes have been produced.
    std::size_t read(std::uint8_t* out, std::size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<OldDecoder> old_;
};

// The whole member at once (tests, fuzzing).
std::vector<std::uint8_t> decode(const Method& method, std::span<const std::uint8_t> packed,
                                 std::uint64_t original_size);

}  // namespace lzh
