// archive_reader.h - walks the members of an LZH archive file and decodes them.
#pragma once

#include "file_io.h"
#include "header.h"
#include "io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lzh {

class ArchiveReader {
public:
    // Opens `path`; throws lzh::Error when it cannot be read.
    explicit ArchiveReader(const std::string& path);

    /*
     * Reads every member header, front to back. Throws lzh::DataError naming
     * the archive and the damage when a header is damaged or truncated, when the
     * file holds no member header at all and is not an empty archive (a single
     * end mark), or when bytes follow the end mark.
     */
    std::vector<MemberHeader> members();

    /*
     * Decodes member `h` into `out` (nothing for a directory or link) and checks
     * its size and data CRC; throws lzh::DataError naming the member otherwise.
     * `on_bytes`, when set, gets each count of decoded bytes as it goes.
     */
    void extract(const MemberHeader& h, ByteSink& out,
                 const std::function<void(std::uint64_t)>& on_bytes = {});

    // Copies the raw bytes [offset, offset + size) of the archive to `out`.
    void copy_raw(std::uint64_t offset, std::uint64_t size, ByteSink& out);

    const std::string& path() const { return file_.path(); }
    const struct stat& status() const { return file_.status(); }

private:
    FileRange file_;
};

// A sink that checks and counts, and throws the bytes away (for `test`).
class NullSink : public ByteSink {
public:
    void write(const std::uint8_t*, std::size_t size) override { bytes += size; }
    std::uint64_t bytes = 0;
};

}  // namespace lzh
