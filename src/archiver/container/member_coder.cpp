// member_coder.cpp - codes small file members ahead of the archive writer on worker threads.
#include "container/member_coder.h"

#include "container/crc16.h"
#include "fs/file_io.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <system_error>

namespace lzh {

namespace {

// Results held ahead of the writer at most (many tiny files cost more in
// bookkeeping than in bytes). Far enough for a large file near the end of a
// list of small ones to be started while there is other work left to run
// beside it.
constexpr std::size_t kMaxAhead = 1024;
// Members this large are started largest first: shorter ones end soon
// enough whenever they start.
constexpr std::uint64_t kLargeTask = std::uint64_t(256) << 10;
// Bytes asked of one read(), so a large file is read in steps as on the
// streaming path.
constexpr std::size_t kReadPiece = std::size_t(1) << 20;

std::mutex g_thread_fault_mutex;
std::optional<unsigned> g_thread_fault;  // worker threads that may still start

}  // namespace

void set_thread_fault(std::optional<unsigned> threads_that_start)
{
    std::lock_guard lock(g_thread_fault_mutex);
    g_thread_fault = threads_that_start;
}

bool feed_member(Encoder& enc, const std::uint8_t* data, std::size_t n, std::uint64_t before,
                 std::uint64_t expected)
{
    enc.write(data, n);
    return enc.bytes_out() <= std::max(expected, before + n);
}

MemberCoder::MemberCoder(const WriteOptions& options, unsigned threads,
                         const std::vector<const NewEntry*>& entries, std::vector<EntryStat> own_files)
    : options_(options), own_files_(std::move(own_files))
{
    std::uint64_t end = 0;
    for (const NewEntry* e : entries)
        if (e->kind == NewEntry::Kind::file && e->st.size <= kMaxPrecoded) {
            end += e->st.size;
            tasks_.push_back({e, e->st.size, end, State::waiting, nullptr, nullptr});
            large_waiting_ += e->st.size >= kLargeTask;
        }
    if (tasks_.empty() || threads < 2)
        return;
    threads = unsigned(std::min<std::size_t>(threads - 1, tasks_.size()));
    try {
        for (unsigned i = 0; i < threads; ++i) {
            {
                std::lock_guard fault(g_thread_fault_mutex);
                if (g_thread_fault && *g_thread_fault == 0)
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                if (g_thread_fault)
                    --*g_thread_fault;
            }
            workers_.emplace_back([this] { work(); });
        }
    } catch (const std::system_error&) {
        // No more threads (a process limit, say): the workers there are, if
        // any, and the writer's thread code everything, to the same bytes.
    }
}

MemberCoder::~MemberCoder()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    room_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

/*
 * Whether task `index` is within reach of the writer: the first kMaxAhead
 * tasks whose sizes add up to at most kPrecodeBudget, and always the writer's
 * next member. Whatever the order in which the coders pick within reach,
 * what they hold ahead of the writer stays bounded.
 */
bool MemberCoder::in_reach(std::size_t index) const
{
    if (index >= tasks_.size() || index >= kMaxAhead)
        return false;
    const Task& front = tasks_.front();
    return index == 0 || tasks_[index].end - (front.end - front.size) <= kPrecodeBudget;
}

/*
 * The index in tasks_ of a waiting task within reach, kNone if there is
 * none: the first one, or with `largest` the largest one of kLargeTask bytes
 * or more if there is such (the first of equals).
 */
std::size_t MemberCoder::pick(bool largest)
{
    while (first_waiting_ < tasks_.size() && tasks_[first_waiting_].state != State::waiting)
        ++first_waiting_;
    if (!in_reach(first_waiting_))
        return kNone;
    std::size_t found = first_waiting_;
    if (largest && large_waiting_ > 0)
        for (std::size_t i = first_waiting_ + 1; in_reach(i); ++i) {
            const Task& t = tasks_[i];
            if (t.state == State::waiting && t.size >= kLargeTask && t.size > tasks_[found].size)
                found = i;
        }
    return found;
}

/*
 * Codes the waiting task `t` with the lock released and marks it done. Only
 * done tasks are taken off the front of tasks_, so `t` stays in place.
 */
void MemberCoder::run(Task& t, std::unique_lock<std::mutex>& lock)
{
    t.state = State::running;
    large_waiting_ -= t.size >= kLargeTask;
    lock.unlock();
    std::unique_ptr<Result> r;
    std::exception_ptr error;
    try {
        r = std::make_unique<Result>();
        code(*t.entry, *r);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    t.result = std::move(r);
    t.error = error;
    t.state = State::done;
    if (writer_waits_ && &t == &tasks_.front())
        done_.notify_one();
}

// A worker: codes the largest member within reach until there are none left.
void MemberCoder::work()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::size_t i = pick(true);
        if (i == kNone) {
            ++idle_;
            room_.wait(lock);
            --idle_;
            continue;
        }
        run(tasks_[i], lock);
    }
}

std::unique_ptr<MemberCoder::Result> MemberCoder::take(const NewEntry* e)
{
    std::unique_lock lock(mutex_);
    if (tasks_.empty() || tasks_.front().entry != e)
        return nullptr;
    // Code rather than wait: the member itself, or one that comes soon after.
    while (tasks_.front().state != State::done) {
        const std::size_t i = tasks_.front().state == State::waiting ? 0 : pick(false);
        if (i != kNone) {
            run(tasks_[i], lock);
            continue;
        }
        writer_waits_ = true;
        done_.wait(lock, [&] { return tasks_.front().state == State::done; });
        writer_waits_ = false;
    }
    Task t = std::move(tasks_.front());
    tasks_.pop_front();
    if (first_waiting_ > 0)
        --first_waiting_;
    // The reach moved on: idle workers may find work in it.
    const bool wake = idle_ > 0;
    lock.unlock();
    if (wake)
        room_.notify_all();
    if (t.error)
        std::rethrow_exception(t.error);
    return std::move(t.result);
}

/*
 * Reads the whole file and codes it, or keeps its bytes when coding does not
 * pay; the same decisions as the writer's streaming path.
 */
void MemberCoder::code(const NewEntry& e, Result& r) const
{
    FileSource src(e.source_path(), e.root, e.follow_link);
    for (const EntryStat& own : own_files_)
        if (same_file(src.status(), own)) {
            r.own = true;
            return;
        }
    const std::uint64_t expected = std::uint64_t(src.status().st_size);
    if (expected > kMaxPrecoded) {
        r.too_large = true;
        return;
    }
    // One byte more than expected, to see a file that grew. A short read
    // that ends at the expected size is the end of the file: no read for the
    // zero that would confirm it.
    std::vector<std::uint8_t> bytes(std::size_t(expected) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > kMaxPrecoded) {
                r.too_large = true;  // grew since the walk: the writer streams it
                return;
            }
            bytes.resize(std::min<std::size_t>(2 * size, kMaxPrecoded + 1));
        }
        const std::size_t want = std::min(bytes.size() - size, kReadPiece);
        const std::size_t n = src.read(bytes.data() + size, want);
        size += n;
        if (n == 0 || (n < want && size == expected))
            break;
    }
    bytes.resize(size);
    r.size = size;
    r.crc = crc16_update(0, bytes.data(), size);
    if (options_.method->coded && size > 0) {
        std::vector<std::uint8_t> out;
        out.reserve(size / 2 + 64);
        VectorSink sink(out);
        Encoder enc(*options_.method, options_.effort, sink, expected);
        if (feed_member(enc, bytes.data(), size, 0, expected)) {
            enc.finish();
            if (coding_pays(out.size(), size)) {
                r.coded = true;
                r.data = std::move(out);
                return;
            }
        }
    }
    r.data = std::move(bytes);
}

}  // namespace lzh
