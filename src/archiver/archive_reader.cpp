// archive_reader.cpp - walks the members of an LZH archive file and decodes them.
#include "archive_reader.h"

#include "crc16.h"
#include "decoder.h"
#include "method.h"
#include "names.h"

#include <algorithm>
#include <cstring>

namespace lzh {

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;

class FileBytes : public ArchiveBytes {
public:
    explicit FileBytes(const FileRange& file) : file_(file) {}
    std::uint64_t size() const override { return file_.size(); }
    void read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const override
    {
        file_.read_at(offset, buf, size);
    }

private:
    const FileRange& file_;
};

// The packed bytes of one member, as a source for the decoder.
class RangeSource : public ByteSource {
public:
    RangeSource(const FileRange& file, std::uint64_t offset, std::uint64_t size)
        : file_(file), next_(offset), left_(size)
    {
    }
    std::size_t read(std::uint8_t* buf, std::size_t size) override
    {
        std::size_t n = std::size_t(std::min<std::uint64_t>(size, left_));
        if (n == 0)
            return 0;
        file_.read_at(next_, buf, n);
        next_ += n;
        left_ -= n;
        return n;
    }

private:
    const FileRange& file_;
    std::uint64_t next_;
    std::uint64_t left_;
};

}  // namespace

ArchiveReader::ArchiveReader(const std::string& path) : file_(path) {}

std::vector<MemberHeader> ArchiveReader::members()
{
    FileBytes bytes(file_);
    std::vector<MemberHeader> out;
    std::uint64_t offset = 0;
    if (file_.size() == 0)
        throw DataError("LZH 書庫ではありません (空のファイルです): " + path());
    for (;;) {
        std::optional<MemberHeader> h = read_header(bytes, offset, path());
        if (!h)
            break;
        offset = h->end_offset();
        out.push_back(std::move(*h));
    }
    // Either the end of the file (no end mark) or one 0 byte and nothing after it.
    if (offset < file_.size() && offset + 1 != file_.size())
        throw DataError("書庫が壊れています: " + path() + " (位置 " + std::to_string(offset + 1) +
                        " から終端記号の後に余分なデータがあります)");
    return out;
}

void ArchiveReader::copy_raw(std::uint64_t offset, std::uint64_t size, ByteSink& out)
{
    std::vector<std::uint8_t> buf(std::size_t(std::min<std::uint64_t>(size, kChunk)));
    while (size > 0) {
        std::size_t n = std::size_t(std::min<std::uint64_t>(size, buf.size()));
        file_.read_at(offset, buf.data(), n);
        out.write(buf.data(), n);
        offset += n;
        size -= n;
    }
}

void ArchiveReader::extract(const MemberHeader& h, ByteSink& out,
                            const std::function<void(std::uint64_t)>& on_bytes)
{
    const std::string member = decode_name(h.path, h.code_page);
    auto fail = [&](const std::string& what) {
        throw DataError("書庫が壊れています: " + path() + " (メンバー「" + member + "」: " + what + ")");
    };
    const Method* method = find_method(h.method);
    if (!method)
        fail(std::string("対応していない圧縮方式です: ") + h.method);
    if (method == &kLhd)
        return;

    std::uint16_t crc = 0;
    std::uint64_t produced = 0;
    std::vector<std::uint8_t> buf(kChunk);
    RangeSource packed(file_, h.data_offset, h.packed_size);
    auto take = [&](std::size_t n) {
        crc = crc16_update(crc, buf.data(), n);
        produced += n;
        out.write(buf.data(), n);
        if (on_bytes)
            on_bytes(n);
    };
    if (!method->coded) {
        if (h.packed_size != h.original_size)
            fail("格納サイズと元のサイズが一致しません");
        while (std::size_t n = packed.read(buf.data(), buf.size()))
            take(n);
    } else {
        try {
            Decoder decoder(*method, packed, h.packed_size, h.original_size);
            while (std::size_t n = decoder.read(buf.data(), buf.size()))
                take(n);
        } catch (const DataError& e) {
            fail(e.what());
        }
    }
    if (produced != h.original_size)
        fail("展開したサイズが元のサイズと一致しません");
    if (crc != h.data_crc)
        fail("CRC が一致しません");
}

}  // namespace lzh
