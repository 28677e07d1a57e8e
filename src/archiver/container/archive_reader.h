// archive_reader.h - walks the members of an LZH archive file and decodes them.
#pragma once

#include "pelkoran/archive_contents.h"
#include "fs/file_io.h"
#include "container/header.h"
#include "codec/io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lzh {

// A member whose method this engine does not decode; the archive is not damaged.
class UnsupportedMethod : public Error {
public:
    using Error::Error;
};

class ArchiveReader {
public:
    // Opens `path`; throws lzh::Error when it cannot be read.
    explicit ArchiveReader(const std::string& path);

    /*
     * Reads every member header, front to back, for an update that copies the
     * archive's bytes. Throws lzh::DataError naming the archive and the reason
     * when a header is damaged or truncated, when the file holds no member
     * header at all and is not an empty archive (a single end mark), when bytes
     * follow the end mark, or when the archive starts after other bytes (a
     * self-extracting archive): an update could not keep those bytes.
     */
    std::vector<MemberHeader> members();

    /*
     * The same for `test` and `list`: an archive after an executable stub (the
     * first header past the file's first bytes that parses, with a sound
     * checksum or CRC, within the first MiB) and bytes after the end mark are
     * read and described in `layout` instead of refused. Damage throws as above.
     */
    std::vector<MemberHeader> read_members(ArchiveLayout& layout);

    /*
     * Decodes member `h` into `out` (nothing for a directory or link) and checks
     * its size and data CRC (when the header has one); throws lzh::DataError
     * naming the member otherwise, lzh::UnsupportedMethod for a method this
     * engine does not decode.
     * `on_bytes`, when set, gets each count of decoded bytes as it goes.
     */
    void extract(const MemberHeader& h, ByteSink& out,
                 const std::function<void(std::uint64_t)>& on_bytes = {});

    // Copies the raw bytes [offset, offset + size) of the archive to `out`.
    void copy_raw(std::uint64_t offset, std::uint64_t size, ByteSink& out);

    const std::string& path() const { return file_.path(); }
    const FileStat& status() const { return file_.status(); }

private:
    // Where the first member header lies when it is not at offset 0; throws
    // when the file is not an LZH archive.
    std::uint64_t find_start();

    FileRange file_;
};

// A sink that checks and counts, and throws the bytes away (for `test`).
class NullSink : public ByteSink {
public:
    void write(const std::uint8_t*, std::size_t size) override { bytes += size; }
    std::uint64_t bytes = 0;
};

}  // namespace lzh
