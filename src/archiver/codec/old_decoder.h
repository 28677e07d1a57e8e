// old_decoder.h - decoders of the methods LHarc and LArc wrote before -lh5-:
// -lh1- (LZSS with an adaptive Huffman code, 4 KiB window), -lzs- (LZSS,
// 2 KiB window, bit-packed) and -lz5- (LZSS, 4 KiB window, byte-packed).
#pragma once

#include "codec/io.h"
#include "codec/method.h"

#include <cstdint>
#include <memory>

namespace lzh {

// True for the methods OldDecoder decodes.
bool is_old_method(const Method& method);

class OldDecoder {
public:
    // Reads at most `packed_size` bytes from `in` and produces exactly
    // `original_size` bytes; a stream that ends early throws lzh::DataError.
    OldDecoder(const Method& method, ByteSource& in, std::uint64_t packed_size, std::uint64_t original_size);
    ~OldDecoder();
    OldDecoder(const OldDecoder&) = delete;
    OldDecoder& operator=(const OldDecoder&) = delete;

    // Places up to `size` decoded bytes in `out`; returns how many, 0 at the end.
    std::size_t read(std::uint8_t* out, std::size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lzh
