// file_io_posix.cpp - byte sources and sinks over POSIX file descriptors.
#include "fs/file_io.h"

#include "fs/names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <atomic>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lzh {

namespace {

// Written bytes between two starts of their write-back to the disk.
constexpr std::uint64_t kWritebackStep = std::uint64_t(1) << 20;

}  // namespace

/**************************************************************************
 * Paths of any length
 **************************************************************************/

/*
 * Walks down a long path in pieces shorter than PATH_MAX, each cut at a '/',
 * opening every piece as a directory relative to the one before (intermediate
 * links are followed, as open() would). What remains is the leaf.
 */
ParentDir::ParentDir(const std::string& path) : fd_(AT_FDCWD)
{
    std::size_t pos = 0;
    while (path.size() - pos >= PATH_MAX) {
        const std::size_t slash = path.rfind('/', pos + PATH_MAX - 2);
        if (slash == std::string::npos || slash < pos || (slash == pos && pos > 0)) {
            if (fd_ >= 0)
                ::close(fd_);
            throw Error(Message::cannot_follow_path, {shown_path(path)}, ENAMETOOLONG);
        }
        const std::string piece = slash == pos ? "/" : path.substr(pos, slash - pos);
        const int next = ::openat(fd_, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int err = errno;
        if (fd_ >= 0)
            ::close(fd_);
        if (next < 0)
            throw Error(Message::cannot_follow_path, {shown_path(path)}, err);
        fd_ = next;
        pos = slash + 1;
    }
    leaf_ = path.substr(pos);
}

ParentDir::~ParentDir()
{
    if (fd_ >= 0)
        ::close(fd_);
}

SourceRoot::~SourceRoot()
{
    if (fd >= 0)
        ::close(fd);
}

namespace {

// Cleared when the kernel has no openat2() (or a filter forbids it).
std::atomic<bool> g_have_openat2{true};

// One openat2() call; -1 with errno ENOSYS when it cannot be made.
int openat2_beneath(int dir, const std::string& rel, int flags)
{
#ifdef SYS_openat2
    if (g_have_openat2.load(std::memory_order_relaxed)) {
        struct open_how how {};
        how.flags = std::uint64_t(flags);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = ::syscall(SYS_openat2, dir, rel.c_str(), &how, sizeof how);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return int(fd);
        g_have_openat2.store(false, std::memory_order_relaxed);
    }
#endif
    errno = ENOSYS;
    return -1;
}

}  // namespace

void set_openat2_allowed(bool allowed)
{
    g_have_openat2.store(allowed, std::memory_order_relaxed);
}

/*
 * Pieces shorter than PATH_MAX, each cut at a '/', go to openat2(); the
 * pieces before the last are opened as directories (O_PATH) to go on from.
 * Without openat2() every component is a piece of its own, opened with
 * O_NOFOLLOW, which refuses a link as the last component and, with
 * O_DIRECTORY, as any component before it.
 */
int open_beneath(int dir, std::string_view rel, int flags)
{
    const int step_flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = dir;
    std::size_t pos = 0;
    const auto close_step = [&] {
        if (fd != dir) {
            const int err = errno;
            ::close(fd);
            errno = err;
        }
    };
    for (;;) {
        std::size_t end;
        if (g_have_openat2.load(std::memory_order_relaxed)) {
            end = rel.size() - pos < PATH_MAX ? rel.size() : rel.rfind('/', pos + PATH_MAX - 2);
            if (end == std::string_view::npos || end <= pos) {
                close_step();
                errno = ENAMETOOLONG;
                return -1;
            }
        } else {
            end = rel.find('/', pos);
            if (end == std::string_view::npos)
                end = rel.size();
        }
        const bool last = end == rel.size();
        const std::string piece(rel.substr(pos, end - pos));
        int next = openat2_beneath(fd, piece, last ? flags : step_flags);
        if (next < 0 && errno == ENOSYS) {
            if (piece.find('/') != std::string::npos)
                continue;  // the same piece again, component by component
            next = ::openat(fd, piece.c_str(), (last ? flags : step_flags) | O_NOFOLLOW);
        }
        close_step();
        if (next < 0 || last)
            return next;
        fd = next;
        pos = end + 1;
    }
}

namespace {

// fstatat() with `flags` for paths of any length; false with errno set.
bool path_status(const std::string& path, struct stat& st, int flags)
{
    if (path.size() < PATH_MAX)
        return ::fstatat(AT_FDCWD, path.c_str(), &st, flags) == 0;
    int err = 0;
    {
        ParentDir parent(path);
        if (::fstatat(parent.fd(), parent.leaf(), &st, flags) != 0)
            err = errno;
    }
    errno = err;  // closing the parent must not change it
    return err == 0;
}

}  // namespace

bool stat_file(const std::string& path, struct stat& st)
{
    return path_status(path, st, 0);
}

bool lstat_path(const std::string& path, struct stat& st)
{
    return path_status(path, st, AT_SYMLINK_NOFOLLOW);
}

bool readlink_path(const std::string& path, std::string& target, std::size_t size_hint)
{
    int err = 0;
    {
        ParentDir parent(path);
        target.assign(std::max<std::size_t>(size_hint, 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlinkat(parent.fd(), parent.leaf(), target.data(), target.size());
            if (n < 0) {
                err = errno;
                break;
            }
            if (std::size_t(n) < target.size()) {
                target.resize(std::size_t(n));
                break;
            }
            target.resize(target.size() * 2);  // the link changed meanwhile; read it again
        }
    }
    errno = err;  // closing the parent must not change it
    return err == 0;
}

/**************************************************************************
 * FileSource
 **************************************************************************/

FileSource::FileSource(const std::string& path, const SourceRoot* root, bool follow_link) : path_(path)
{
    // O_NONBLOCK: a FIFO that slipped in must not hang the open; O_NOFOLLOW:
    // a link swapped in after the walk is not followed.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (root && path.size() > root->path_size + 1) {
        fd_ = open_beneath(root->fd, std::string_view(path).substr(root->path_size + 1), flags);
    } else {
        ParentDir parent(path);
        fd_ = ::openat(parent.fd(), parent.leaf(), flags | (follow_link ? 0 : O_NOFOLLOW));
    }
    if (fd_ < 0)
        throw Error(Message::cannot_open_file, {shown_path(path)}, errno);
    if (::fstat(fd_, &st_) != 0) {
        int err = errno;
        ::close(fd_);
        throw Error(Message::cannot_stat_file, {shown_path(path)}, err);
    }
    if (!S_ISREG(st_.st_mode)) {
        ::close(fd_);
        throw Error(Message::not_a_regular_file_to_read, {shown_path(path)});
    }
    // Reads may block from here on. F_SETFL sets only the file status
    // flags, and O_NONBLOCK is the one of them the open above set.
    ::fcntl(fd_, F_SETFL, 0);
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FileSource::read_some(std::uint8_t* buf, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd_, buf, size);
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            throw Error(Message::cannot_read_file, {shown_path(path_)}, errno);
    }
}

void FileSource::rewind()
{
    if (::lseek(fd_, 0, SEEK_SET) < 0)
        throw Error(Message::cannot_reread_file, {shown_path(path_)}, errno);
    offset_ = 0;
}

/**************************************************************************
 * FileRange
 **************************************************************************/

FileRange::FileRange(const std::string& path) : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        throw Error(Message::cannot_open_archive, {shown_path(path)}, errno);
    if (::fstat(fd_, &st_) != 0) {
        int err = errno;
        ::close(fd_);
        throw Error(Message::cannot_stat_archive, {shown_path(path)}, err);
    }
    if (!S_ISREG(st_.st_mode)) {
        ::close(fd_);
        throw Error(Message::not_a_regular_file, {path});
    }
    size_ = std::uint64_t(st_.st_size);
}

FileRange::~FileRange()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FileRange::read_some_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const
{
    for (;;) {
        const ssize_t n = ::pread(fd_, buf, size, off_t(offset));
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            throw Error(Message::cannot_read_archive, {shown_path(path_)}, errno);
    }
}

/**************************************************************************
 * FileSink
 **************************************************************************/

FileSink::~FileSink()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FileSink::write_some(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::pwrite(fd_, data, size, off_t(offset));
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            throw Error(Message::cannot_write, {shown_path(path_)}, errno);
    }
}

/*
 * Starts the disk writes of what was written since the last start, once that
 * is a MiB or more, without waiting for them: the final fsync then finds most
 * of the file on its way to the disk instead of doing it all at the end, when
 * nothing else is left to do. A failure here is no failure: fsync reports it.
 */
void FileSink::start_writeback()
{
    if (offset_ < written_back_ + kWritebackStep)
        return;
    ::sync_file_range(fd_, off_t(written_back_), off_t(offset_ - written_back_), SYNC_FILE_RANGE_WRITE);
    written_back_ = offset_;
}

void FileSink::truncate(std::uint64_t offset)
{
    flush();
    if (::ftruncate(fd_, off_t(offset)) != 0)
        throw Error(Message::cannot_write, {shown_path(path_)}, errno);
    offset_ = offset;
    written_back_ = std::min(written_back_, offset);
}

void FileSink::sync()
{
    flush();
    if (::fsync(fd_) != 0)
        throw Error(Message::cannot_write_to_disk, {shown_path(path_)}, errno);
}

void FileSink::close()
{
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw Error(Message::cannot_write, {shown_path(path_)}, errno);
}

}  // namespace lzh
