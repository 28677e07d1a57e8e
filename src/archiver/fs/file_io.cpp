// file_io.cpp - the parts of the byte sources and sinks that both
// file-system backends share: the buffering, the loops over partial reads
// and writes, and the test hooks. Each backend supplies the single calls
// (read_some, read_some_at, write_some) and everything that opens a file.
#include "fs/file_io.h"

#include "fs/names.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace lzh {

namespace {

// Each page of the buffer costs a page fault the first time it is filled,
// which weighs more than a few more write calls.
constexpr std::size_t kSinkBuffer = std::size_t(256) << 10;
// The most one call reads or writes (a Windows call counts in 32 bits).
constexpr std::size_t kMaxCall = std::size_t(1) << 30;

std::mutex g_fault_mutex;
std::optional<WriteFault> g_fault;
ReadHook g_read_hook;

}  // namespace

void set_write_fault(std::optional<WriteFault> fault)
{
    std::lock_guard lock(g_fault_mutex);
    g_fault = fault;
}

void set_read_hook(ReadHook hook)
{
    g_read_hook = std::move(hook);
}

std::size_t FileSource::read(std::uint8_t* buf, std::size_t size)
{
    if (g_read_hook)
        g_read_hook(path_, offset_);
    const std::size_t n = read_some(buf, std::min(size, kMaxCall));
    offset_ += n;
    return n;
}

void FileRange::read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t size) const
{
    while (size > 0) {
        const std::size_t n = read_some_at(offset, buf, std::min(size, kMaxCall));
        if (n == 0)
            throw DataError(Message::archive_cut_short, {path_});
        buf += n;
        offset += n;
        size -= n;
    }
}

FileSink::FileSink(int fd, std::string path) : fd_(fd), path_(std::move(path))
{
    buffer_.reserve(kSinkBuffer);
    std::lock_guard lock(g_fault_mutex);
    if (g_fault) {
        fail_after_ = g_fault->after_bytes;
        fail_errno_ = g_fault->error;
    }
}

void FileSink::pwrite_all(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        std::size_t chunk = std::min(size, kMaxCall);
        if (fail_after_) {
            std::uint64_t room = physical_ < *fail_after_ ? *fail_after_ - physical_ : 0;
            if (room == 0)
                throw Error(Message::cannot_write, {shown_path(path_)}, fail_errno_);
            chunk = std::size_t(std::min<std::uint64_t>(chunk, room));
        }
        const std::size_t n = write_some(offset, data, chunk);
        if (n == 0)
            throw Error(Message::cannot_write, {shown_path(path_)}, ENOSPC);
        data += n;
        offset += n;
        size -= n;
        physical_ += n;
    }
}

void FileSink::flush()
{
    if (buffer_.empty())
        return;
    pwrite_all(offset_, buffer_.data(), buffer_.size());
    offset_ += buffer_.size();
    buffer_.clear();
    start_writeback();
}

void FileSink::write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        if (buffer_.empty() && size >= kSinkBuffer) {
            // Large pieces go straight to the file.
            pwrite_all(offset_, data, size);
            offset_ += size;
            start_writeback();
            return;
        }
        std::size_t n = std::min(size, kSinkBuffer - buffer_.size());
        buffer_.insert(buffer_.end(), data, data + n);
        data += n;
        size -= n;
        if (buffer_.size() == kSinkBuffer)
            flush();
    }
}

void FileSink::write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    flush();
    pwrite_all(offset, data, size);
}

}  // namespace lzh
