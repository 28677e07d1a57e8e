// fuzz_archive - the member-header reader (levels 0, 1, 2) and the decoder on
// any bytes taken as an archive: every member is read and decoded, or the
// damage is reported as lzh::Error; never a crash, a hang or a stray access.
#include "codec/decoder.h"
#include "container/header.h"
#include "codec/io.h"
#include "codec/method.h"

#include <algorithm>
#include <cstring>

namespace {

class MemoryBytes : public lzh::ArchiveBytes {
public:
    MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    void read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const override
    {
        if (offset > size_ || size > size_ - offset)
            throw lzh::DataError(lzh::Message::archive_cut_short, {"(memory)"});
        std::memcpy(buf, data_ + offset, size);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

class MemorySource : public lzh::ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}
    std::size_t read(std::uint8_t* buf, std::size_t size) override
    {
        const std::size_t n = std::min(size, left_);
        std::memcpy(buf, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MemoryBytes bytes(data, size);
    std::uint64_t offset = 0;
    try {
        for (int n = 0; n < 64; ++n) {
            const auto h = lzh::read_header(bytes, offset, "fuzz.lzh");
            if (!h)
                break;
            if (h->data_offset < offset || h->end_offset() > size)
                __builtin_trap();  // the reader promised the data lies within the archive
            const lzh::Method* m = lzh::find_method(h->method);
            if (m && m->coded) {
                MemorySource src(data + h->data_offset, h->packed_size);
                // Bounded output: a header may claim any original size.
                lzh::Decoder dec(*m, src, h->packed_size, std::min<std::uint64_t>(h->original_size, 1 << 20));
                std::uint8_t buf[4096];
                while (dec.read(buf, sizeof buf) != 0) {
                }
            }
            offset = h->end_offset();
        }
    } catch (const lzh::Error&) {
    }
    return 0;
}
