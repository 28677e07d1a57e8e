// parser.h - a parse strategy: walks its match finder's window and hands
// literals and matches, in order, to a block writer.
#pragma once

#include "codec/block_writer.h"

#include <cstddef>
#include <cstdint>

namespace lzh {

class Parser {
public:
    virtual ~Parser() = default;
    // Takes up to `size` bytes of input into the window; returns how many
    // (0: the window is full until parse() moves on).
    virtual std::size_t fill(const std::uint8_t* data, std::size_t size) = 0;
    // Parses the window from the cursor on. While more input may follow, it
    // stops where less than a full match plus one byte is left ahead (a
    // look-ahead must see a whole match); with `finishing` it runs to the end.
    // `window_full`: the last fill() took nothing.
    virtual void parse(bool finishing, bool window_full) = 0;
    // Whether all the input judged so far is sparse (already-compressed data).
    virtual bool sparse_only() const { return false; }
};

}  // namespace lzh
