// bit_writer.h - MSB-first bit output for the coded stream, buffered in chunks.
#pragma once

#include "codec/io.h"

#include <cassert>
#include <cstdint>
#include <memory>

namespace lzh {

// Packs fields most significant bit first: the first bit written becomes bit 7
// of the first byte. Invariant: `acc_` holds `count_` (< 32) pending bits in its
// low end (higher bits are stale and ignored); whole bytes go to `buf_`, which
// is handed to the sink when it fills and on flush().
class BitWriter {
public:
    explicit BitWriter(ByteSink& sink, std::size_t chunk = 1 << 16)
        : sink_(sink), buf_(std::make_unique_for_overwrite<std::uint8_t[]>(chunk + 8)), size_(chunk + 8)
    {}

    // Appends the low `n` bits of `value` (n <= 32; value must not have bits above n).
    void put(std::uint32_t value, unsigned n)
    {
        if (append(acc_, count_, buf_.get(), used_, value, n) && used_ + 4 > size_ - 8)
            drain();
    }

    /*
     * The writer's state in locals for a long run of put() calls: the stores
     * of whole bytes cannot change the bits pending or the write position,
     * so they stay in registers. While a Run is open the BitWriter itself
     * must not be used; close() (or the destructor) hands the state back.
     */
    class Run {
    public:
        explicit Run(BitWriter& w)
            : w_(w), buf_(w.buf_.get()), limit_(w.size_ - 8), acc_(w.acc_), count_(w.count_), used_(w.used_)
        {}
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        ~Run() { close(); }

        // As BitWriter::put().
        void put(std::uint32_t value, unsigned n)
        {
            if (append(acc_, count_, buf_, used_, value, n) && used_ + 4 > limit_) {
                close();
                w_.drain();
                used_ = 0;
            }
        }

        void close()
        {
            w_.acc_ = acc_;
            w_.count_ = count_;
            w_.used_ = used_;
        }

    private:
        BitWriter& w_;
        std::uint8_t* const buf_;
        const std::size_t limit_;
        std::uint64_t acc_;
        unsigned count_;
        std::size_t used_;
    };

    // Pads the pending bits with zero bits to a byte boundary and hands every
    // byte to the sink.
    void flush()
    {
        while (count_ >= 8) {
            count_ -= 8;
            buf_[used_++] = static_cast<std::uint8_t>(acc_ >> count_);
        }
        if (count_ > 0) {
            buf_[used_++] = static_cast<std::uint8_t>(acc_ << (8 - count_));
            count_ = 0;
        }
        drain();
    }

    // Bits written so far, including those not yet handed to the sink.
    std::uint64_t bits() const { return (written_ + used_) * 8 + count_; }
    // Whole bytes produced so far (after flush(): the length of the stream).
    std::uint64_t bytes() const { return written_ + used_ + (count_ + 7) / 8; }

private:
    // Adds `n` bits to the pending ones; once 32 or more are pending, stores
    // the oldest 32 at buf[used] and returns true.
    static bool append(std::uint64_t& acc, unsigned& count, std::uint8_t* buf, std::size_t& used,
                       std::uint32_t value, unsigned n)
    {
        assert(n <= 32 && (n == 32 || (value >> n) == 0));
        acc = (acc << n) | value;
        count += n;
        if (count < 32)
            return false;
        count -= 32;
        const std::uint32_t w = static_cast<std::uint32_t>(acc >> count);
        std::uint8_t* o = buf + used;
        o[0] = static_cast<std::uint8_t>(w >> 24);
        o[1] = static_cast<std::uint8_t>(w >> 16);
        o[2] = static_cast<std::uint8_t>(w >> 8);
        o[3] = static_cast<std::uint8_t>(w);
        used += 4;
        return true;
    }

    void drain()
    {
        if (used_ == 0)
            return;
        sink_.write(buf_.get(), used_);
        written_ += used_;
        used_ = 0;
    }

    ByteSink& sink_;
    std::unique_ptr<std::uint8_t[]> buf_;
    std::size_t size_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t acc_ = 0;
    unsigned count_ = 0;
};

}  // namespace lzh
