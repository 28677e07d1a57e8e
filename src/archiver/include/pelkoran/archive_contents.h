// archive_contents.h - what an archive holds, for listing and testing it.
#pragma once

#include "pelkoran/error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lzh {

// Where the members of an archive file lie, for readers that take what is around them.
struct ArchiveLayout {
    std::uint64_t start = 0;        // the first header; > 0 after an executable stub
    std::uint64_t trailing_at = 0;  // the first byte after the end mark
    std::uint64_t trailing = 0;     // how many bytes follow the end mark
};

// One member as a reader shows it.
struct MemberInfo {
    std::string method;       // the method ID, "-lh5-" (5 bytes as stored)
    std::string name;         // the stored path, UTF-8
    std::string link_target;  // symbolic links: the target, UTF-8
    bool is_directory = false;
    bool is_symlink = false;
    std::uint64_t original_size = 0;
    std::uint64_t packed_size = 0;
    bool mtime_known = true;  // false for a DOS time field of 0 with no other time
    std::int64_t mtime = 0;   // Unix time, UTC
};

class ArchiveContents {
public:
    /*
     * Opens `path` and reads every member header. An archive after an
     * executable stub and bytes after the end mark are read and described in
     * layout() instead of refused. Throws lzh::Error when the file cannot be
     * read, lzh::DataError naming the archive and the reason when a header is
     * damaged or truncated.
     */
    explicit ArchiveContents(const std::string& path);
    ~ArchiveContents();
    ArchiveContents(const ArchiveContents&) = delete;
    ArchiveContents& operator=(const ArchiveContents&) = delete;

    const ArchiveLayout& layout() const;
    const std::vector<MemberInfo>& members() const;

    /*
     * Decodes member `i` and checks its size and data CRC; throws
     * lzh::DataError naming the member when it is damaged. Returns false, with
     * a sentence naming it in `reason`, when its method is one this engine
     * does not decode (the member is there; it cannot be checked).
     */
    bool check(std::size_t i, std::string& reason);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lzh
