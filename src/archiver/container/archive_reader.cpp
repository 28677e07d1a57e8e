// archive_reader.cpp - walks the members of an LZH archive file and decodes them.
#include "container/archive_reader.h"

#include "container/crc16.h"
#include "codec/decoder.h"
#include "codec/method.h"
#include "fs/names.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace lzh {

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;
// How far into a file the first header of a self-extracting archive is looked for.
constexpr std::uint64_t kMaxStub = std::uint64_t(1) << 20;
// Bounds on the search, so that no file makes it slow: look-alikes tried, and
// headers after one that parses read to confirm it.
constexpr unsigned kMaxStubCandidates = 4096;
constexpr unsigned kConfirmHeaders = 16;
// Bytes every header level has before anything level-specific.
constexpr std::size_t kHeaderStart = 22;
// The OS ID of the LHARK archiver, whose level-1 "-lh7-" is a different coding.
constexpr std::uint8_t kOsLhark = ' ';

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
    {}
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
    ArchiveLayout layout;
    std::vector<MemberHeader> out = read_members(layout);
    if (layout.start != 0)
        throw DataError(Message::self_extracting, {std::to_string(layout.start), path()});
    if (layout.trailing != 0)
        throw DataError(Message::bytes_after_end_mark,
                        {std::to_string(layout.trailing), std::to_string(layout.trailing_at), path()});
    return out;
}

std::vector<MemberHeader> ArchiveReader::read_members(ArchiveLayout& layout)
{
    FileBytes bytes(file_);
    const std::uint64_t size = file_.size();
    if (size == 0)
        throw DataError(Message::empty_file_not_archive, {path()});
    std::uint8_t first[kHeaderStart] = {};
    const std::size_t n = std::size_t(std::min<std::uint64_t>(size, kHeaderStart));
    file_.read_at(0, first, n);
    // A cut or damaged first header is damage; anything else before a header is a stub.
    const bool empty_archive = size == 1 && first[0] == 0;
    const bool header_first =
        n >= 7 && first[2] == '-' && first[6] == '-' && (n < kHeaderStart || looks_like_header(first));
    layout = ArchiveLayout{};
    if (!empty_archive && !header_first)
        layout.start = find_start();

    std::vector<MemberHeader> out;
    std::uint64_t offset = layout.start;
    while (std::optional<MemberHeader> h = read_header(bytes, offset, path())) {
        offset = h->end_offset();
        out.push_back(std::move(*h));
    }
    // Either the end of the file (no end mark) or one 0 byte, perhaps with more after it.
    layout.trailing_at = std::min(offset + 1, size);
    layout.trailing = size - layout.trailing_at;
    return out;
}

std::uint64_t ArchiveReader::find_start()
{
    FileBytes bytes(file_);
    const std::size_t span = std::size_t(std::min<std::uint64_t>(file_.size(), kMaxStub + kHeaderStart));
    std::vector<std::uint8_t> head(span);
    file_.read_at(0, head.data(), span);
    std::optional<std::uint64_t> first_header;
    unsigned candidates = 0;
    for (std::size_t p = 1; p + kHeaderStart <= span && candidates < kMaxStubCandidates; ++p) {
        if (head[p + 2] != '-' || head[p + 6] != '-' || !looks_like_header(&head[p]))
            continue;
        ++candidates;
        try {
            std::optional<MemberHeader> h = read_header(bytes, p, path());
            if (!h)
                continue;
            if (!first_header)
                first_header = p;
            // A stub may hold bytes that pass for one header: the next ones must read too.
            std::uint64_t offset = h->end_offset();
            for (unsigned i = 0; i < kConfirmHeaders; ++i) {
                std::optional<MemberHeader> next = read_header(bytes, offset, path());
                if (!next)
                    break;
                offset = next->end_offset();
            }
            return p;
        } catch (const DataError&) {
        }
    }
    // A header that parses followed by damage: read from there and report the damage.
    if (first_header)
        return *first_header;
    throw DataError(Message::not_an_lzh_archive, {path()});
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
    auto fail = [&](const Error& what) { throw DataError(Message::damaged_member, {path(), member}, what); };
    const Method* method = find_method(h.method);
    if (method == &kLh7 && h.level == 1 && h.os_id == kOsLhark)
        throw UnsupportedMethod(Message::unsupported_lhark, {path(), member});
    if (!method)
        throw UnsupportedMethod(Message::unsupported_method, {path(), member, std::string(h.method)});
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
            fail(Error(Message::stored_size_mismatch));
        while (std::size_t n = packed.read(buf.data(), buf.size()))
            take(n);
    } else {
        try {
            Decoder decoder(*method, packed, h.packed_size, h.original_size);
            while (std::size_t n = decoder.read(buf.data(), buf.size()))
                take(n);
        } catch (const DataError& e) {
            fail(e);
        }
    }
    if (produced != h.original_size)
        fail(Error(Message::unpacked_size_mismatch));
    if (h.has_crc && crc != h.data_crc)
        fail(Error(Message::data_crc_mismatch));
}

}  // namespace lzh
