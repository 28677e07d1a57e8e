// sliding_window.h - the window of input both match finders walk through.
//
// buf_[0, cur_) is history, buf_[cur_, end_) the lookahead; base_ is the
// stream position of buf_[0]. When the buffer is full, its last `dict` bytes
// of history and the lookahead move to the front (positions in the finders'
// tables are stream positions, so they need no rewrite).
#pragma once

#include "codec/scratch.h"

#include <cstddef>
#include <cstdint>

namespace lzh {

// The shortest and the longest match the -lhN- methods code.
inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 256;

class SlidingWindow {
public:
    // Appends up to `n` bytes of input (sliding the window first when it is
    // full); returns how many were taken. Takes at least one byte whenever
    // n > 0 and lookahead() < kMaxMatch + 2.
    std::size_t fill(const std::uint8_t* data, std::size_t n);

    // Bytes appended but not yet passed by the cursor.
    std::size_t lookahead() const { return end_ - cur_; }
    // The byte at the cursor plus `offset` (a byte already passed: -1, -2).
    std::uint8_t byte_at(std::ptrdiff_t offset) const { return buf_[cur_ + offset]; }

    // Stream positions of the cursor and of the end of the appended data,
    // and the window's bytes from stream position `pos` (not yet passed out
    // of the window: at most the dictionary size behind the cursor) on.
    std::uint64_t position() const { return base_ + cur_; }
    std::uint64_t stream_end() const { return base_ + end_; }
    const std::uint8_t* data_at(std::uint64_t pos) const { return buf_.get() + (pos - base_); }

protected:
    // `size_hint`: the expected input size, 0 when unknown; a small input gets
    // a small buffer (a fresh large one costs page faults for every member).
    SlidingWindow(unsigned dict_bits, std::uint64_t size_hint);

    // The buffer is never cleared: no byte is read before it is written,
    // except up to kSlack bytes past the data by word loads whose extra bytes
    // are masked off.
    static constexpr std::size_t kSlack = 8;
    Scratch<std::uint8_t> buf_;
    std::size_t buf_limit_;   // bytes of buf_ usable for data
    std::size_t cur_ = 0;     // cursor (index in buf_)
    std::size_t end_ = 0;     // end of the appended data (index in buf_)
    std::uint64_t base_ = 0;  // stream position of buf_[0]

private:
    void slide();

    std::size_t dict_;
};

}  // namespace lzh
