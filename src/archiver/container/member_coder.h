// member_coder.h - codes small file members ahead of the archive writer on worker threads.
//
// The writer goes through its members in order; the coder takes the small
// files among them (up to kMaxPrecoded bytes each) and codes them into memory,
// a bounded number of bytes ahead of the writer. The writer then takes each
// result in its turn and writes it; larger files it codes itself, streaming.
// Everything a member's bytes depend on (its data, the method, the
// effort, the size hint) is the same on either path, so the archive is the
// same whatever the number of threads.
//
// The writer's thread is one of the coders: when the member it must write
// next is not done, it codes that member, or another one within reach, rather
// than wait. The workers start the largest member within reach first, so a
// big file near the end of the list does not leave one core coding it alone
// after the others have finished.
//
// Errors met while coding (an unreadable file) are kept and rethrown by take()
// on the writer's thread, so they surface at the member they belong to; the
// writer keeps the progress and cancel calls.
#pragma once

#include "codec/encoder.h"
#include "container/write_options.h"
#include "fs/threads.h"
#include "fs/entry.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lzh {

// Files up to this size are coded in memory by the workers.
inline constexpr std::uint64_t kMaxPrecoded = std::uint64_t(6) << 20;
// Input bytes the workers may hold ahead of the writer (the memory bound).
inline constexpr std::uint64_t kPrecodeBudget = std::uint64_t(12) << 20;
// A coded stream shorter than this trips libarchive's decoder: such a member
// is stored instead, on either path.
inline constexpr std::uint64_t kMinCodedSize = 8;

// Whether a member of `original` bytes is written coded, in `coded` bytes,
// rather than stored: the one rule of the writer and the coder alike.
inline bool coding_pays(std::uint64_t coded, std::uint64_t original)
{
    return coded < original && coded >= kMinCodedSize;
}

/*
 * Feeds `n` bytes at input offset `before` of a member of `expected` bytes to
 * `enc`. Returns false once the stream written so far is longer than the
 * member (`expected` bytes, or the bytes fed when the file grew): coding can
 * then no longer make it smaller, and it is stored. Nothing short of that
 * stores a member, so a file whose first part does not compress is still
 * coded: the encoder takes such parts on a cheap path of its own.
 */
bool feed_member(Encoder& enc, const std::uint8_t* data, std::size_t n, std::uint64_t before,
                 std::uint64_t expected);

// Test hook: with a value set, only that many more worker threads start;
// starting the next fails as it does when the process may have no more.
void set_thread_fault(std::optional<unsigned> threads_that_start);

class MemberCoder {
public:
    // One member coded in memory.
    struct Result {
        bool own = false;        // the file is the archive or its temporary file
        bool too_large = false;  // grew past kMaxPrecoded: the writer codes it itself
        bool coded = false;      // data is the coded stream (else the file's bytes)
        std::uint64_t size = 0;  // bytes read
        std::uint16_t crc = 0;   // CRC-16 of the bytes read
        std::vector<std::uint8_t> data;
    };

    // `entries`: the members in the order the writer takes them (only the
    // small files among them are coded here). `threads`: the coding threads
    // including the writer's own, so threads - 1 workers are started.
    // `own_files`: files never packed.
    MemberCoder(const WriteOptions& options, unsigned threads, const std::vector<const NewEntry*>& entries,
                std::vector<EntryStat> own_files);
    ~MemberCoder();  // stops the workers (results not taken are dropped)
    MemberCoder(const MemberCoder&) = delete;
    MemberCoder& operator=(const MemberCoder&) = delete;

    // The result for `e` when it is the next member coded here, else null:
    // the writer codes `e` itself, streaming. Codes members on this thread
    // until the result is there; rethrows the error met while coding `e`.
    std::unique_ptr<Result> take(const NewEntry* e);

private:
    enum class State : std::uint8_t { waiting, running, done };
    struct Task {
        const NewEntry* entry;
        std::uint64_t size;  // from the walk
        std::uint64_t end;   // sizes of this task and all before it
        State state = State::waiting;
        std::unique_ptr<Result> result;  // set when done, unless error is
        std::exception_ptr error;
    };
    static constexpr std::size_t kNone = std::size_t(-1);

    bool in_reach(std::size_t index) const;
    std::size_t pick(bool largest);
    void run(Task& t, std::unique_lock<std::mutex>& lock);
    void work();
    void code(const NewEntry& e, Result& r) const;

    const WriteOptions options_;
    const std::vector<EntryStat> own_files_;
    std::mutex mutex_;
    std::condition_variable done_;   // the writer's next member is done
    std::condition_variable room_;   // the writer took a result, or stop
    std::deque<Task> tasks_;         // from the writer's next member on
    std::size_t first_waiting_ = 0;  // no task before this index in tasks_ is waiting
    std::size_t large_waiting_ = 0;  // waiting tasks of kLargeTask bytes or more
    unsigned idle_ = 0;              // workers waiting in room_
    bool writer_waits_ = false;      // the writer waits in done_
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace lzh
