// io.h - byte sources and sinks the engine reads from and writes to.
//
// The archive writer streams: a member is read, coded and written in pieces,
// so a large file is never held whole in memory. The member coder is the one
// stage that holds whole files: those up to its in-memory limit
// (kMaxPrecoded), read and coded into memory ahead of the writer within its
// budget (kPrecodeBudget; container/member_coder.h).
#pragma once

#include "pelkoran/error.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

// Where bytes come from. read() returns the number of bytes placed in `buf`
// (at most `size`); 0 means the end. Failures throw lzh::Error.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t read(std::uint8_t* buf, std::size_t size) = 0;
};

// Where bytes go. write() takes all `size` bytes or throws lzh::Error.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;
};

// A sink that appends to a vector (a member coded in memory).
class VectorSink : public ByteSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& v) : v_(v) {}
    void write(const std::uint8_t* data, std::size_t size) override
    {
        v_.insert(v_.end(), data, data + size);
    }

private:
    std::vector<std::uint8_t>& v_;
};

}  // namespace lzh
