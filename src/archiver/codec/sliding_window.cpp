// sliding_window.cpp - buffer sizing, appending and sliding of the input window.
#include "codec/sliding_window.h"

#include <algorithm>
#include <cstring>

namespace lzh {

SlidingWindow::SlidingWindow(unsigned dict_bits, std::uint64_t size_hint) : dict_(std::size_t(1) << dict_bits)
{
    buf_limit_ = 2 * dict_ + (std::size_t(1) << 17);
    // A small input gets a window just large enough to hold it. It stays more
    // than the dictionary plus a match larger, so that a slide always makes
    // room should the input turn out longer than its hint.
    if (size_hint > 0 && size_hint < buf_limit_)
        buf_limit_ = std::max<std::size_t>(std::size_t(size_hint) + kMaxMatch + 8, dict_ + 4 * kMaxMatch);
    buf_ = make_scratch<std::uint8_t>(buf_limit_ + kSlack);
}

std::size_t SlidingWindow::fill(const std::uint8_t* data, std::size_t n)
{
    if (end_ == buf_limit_)
        slide();
    const std::size_t take = std::min(n, buf_limit_ - end_);
    std::memcpy(buf_.get() + end_, data, take);
    end_ += take;
    return take;
}

void SlidingWindow::slide()
{
    if (cur_ <= dict_)
        return;
    const std::size_t shift = cur_ - dict_;
    std::memmove(buf_.get(), buf_.get() + shift, end_ - shift);
    cur_ -= shift;
    end_ -= shift;
    base_ += shift;
}

}  // namespace lzh
