// file_io.h - byte sources and sinks over the system's files (file_io.cpp and
// one backend: file_io_posix.cpp or file_io_windows.cpp).
#pragma once

#include "codec/io.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include "fs/file_stat.h"
#include <vector>

namespace lzh {

// A system error in a few words (see Message::sys_*; strerror's text for rare ones).
std::string errno_text(int err);

/*
 * The directory that holds a path's last component, held open, so that paths
 * longer than PATH_MAX can still be reached: such a path is opened piece by
 * piece, each piece relative to the directory before it. For a shorter path
 * fd() is AT_FDCWD and leaf() the whole path. Nothing is ever cut: a path
 * that cannot be resolved throws lzh::Error naming it.
 */
class ParentDir {
public:
    explicit ParentDir(const std::string& path);
    ~ParentDir();
    ParentDir(const ParentDir&) = delete;
    ParentDir& operator=(const ParentDir&) = delete;

    int fd() const { return fd_; }
    const char* leaf() const { return leaf_.c_str(); }

private:
    int fd_;
    std::string leaf_;
};

/*
 * A directory item's own directory, held open for as long as its entries are
 * read: every entry below it is reached from this descriptor, one component
 * after the other, and never through a symbolic link, so an entry that was
 * swapped for a link after the walk saw it cannot lead outside the item.
 * `path_size` is the length of the directory's path; an entry's path below it
 * is that path, a '/' and the entry's path relative to the directory.
 */
struct SourceRoot {
    SourceRoot(int fd_, std::size_t path_size_) : fd(fd_), path_size(path_size_) {}
    ~SourceRoot();
    SourceRoot(const SourceRoot&) = delete;
    SourceRoot& operator=(const SourceRoot&) = delete;
    int fd;
    std::size_t path_size;
};

/*
 * Opens `rel` (relative, '/'-separated, no "." or "..") below directory `dir`
 * with `flags`, following no symbolic link on the way or at the end and never
 * leaving `dir`: openat2() with RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH where
 * the kernel has it, otherwise openat() with O_NOFOLLOW one component at a
 * time. Returns the descriptor, or -1 with errno set (ELOOP or ENOTDIR for a
 * link on the way).
 */
int open_beneath(int dir, std::string_view rel, int flags);

// Test hook: false makes open_beneath() work as on a kernel without openat2().
void set_openat2_allowed(bool allowed);

// stat() (following links), lstat() and readlink() for paths of any length;
// false with errno set on failure.
bool stat_file(const std::string& path, FileStat& st);
bool lstat_path(const std::string& path, FileStat& st);
bool readlink_path(const std::string& path, std::string& target, std::size_t size_hint);

// Reads a file front to back. Opening never blocks and never follows a final
// symbolic link (unless `follow_link`: a link the user named as an item);
// anything but a regular file is refused. With a `root`, `path` lies below
// the root's directory and is opened from it, through no link at all.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path, const SourceRoot* root = nullptr, bool follow_link = false);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t read(std::uint8_t* buf, std::size_t size) override;
    // Back to the first byte (for a second pass over the same file).
    void rewind();
    const FileStat& status() const { return st_; }
    const std::string& path() const { return path_; }

private:
    // One read of at most `size` bytes: how many were read, 0 at the end.
    std::size_t read_some(std::uint8_t* buf, std::size_t size);

    std::string path_;
    int fd_ = -1;
    FileStat st_{};
    std::uint64_t offset_ = 0;
};

// Reads any range of a file (the archive reader's view of an archive).
class FileRange {
public:
    explicit FileRange(const std::string& path);
    ~FileRange();
    FileRange(const FileRange&) = delete;
    FileRange& operator=(const FileRange&) = delete;

    std::uint64_t size() const { return size_; }
    const FileStat& status() const { return st_; }
    const std::string& path() const { return path_; }
    // Reads exactly `size` bytes at `offset`; a short file throws lzh::DataError.
    void read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const;

private:
    // One read of at most `size` bytes at `offset`: how many were read, 0 at the end.
    std::size_t read_some_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const;

    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    FileStat st_{};
};

// Writes a file through a large buffer. Besides appending it can patch bytes
// already written (a member's header once its data is known) and cut the file
// back (a member that is stored after all).
class FileSink : public ByteSink {
public:
    // Takes ownership of `fd`, positioned at offset 0.
    FileSink(int fd, std::string path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(const std::uint8_t* data, std::size_t size) override;
    // Logical end of what has been written so far.
    std::uint64_t offset() const { return offset_ + buffer_.size(); }
    // Overwrites bytes in [offset, offset + size), all of which were written before.
    void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    // Drops everything from `offset` on; later writes continue there.
    void truncate(std::uint64_t offset);
    // Writes the buffer out and forces the file to the disk.
    void sync();
    // Closes the file, reporting a failure of close() itself.
    void close();

private:
    void flush();
    void start_writeback();
    void pwrite_all(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    // One write of at most `size` bytes at `offset`: how many were written.
    std::size_t write_some(std::uint64_t offset, const std::uint8_t* data, std::size_t size);

    int fd_ = -1;
    std::string path_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t offset_ = 0;  // file offset where buffer_ starts
    std::optional<std::uint64_t> fail_after_;
    int fail_errno_ = 0;
    std::uint64_t physical_ = 0;      // bytes handed to pwrite so far
    std::uint64_t written_back_ = 0;  // the disk writes of [0, written_back_) are started
};

// Test hook: every FileSink created while a fault is set fails with `error`
// once it has written `after_bytes` bytes, as a full disk would.
struct WriteFault {
    std::uint64_t after_bytes = 0;
    int error = 0;
};
void set_write_fault(std::optional<WriteFault> fault);

// Test hook: called by every FileSource before each read with its path and the
// bytes it has read so far, so a test can change the file between reads.
using ReadHook = std::function<void(const std::string& path, std::uint64_t offset)>;
void set_read_hook(ReadHook hook);

}  // namespace lzh
