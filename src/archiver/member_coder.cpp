// member_coder.cpp - codes small file members ahead of the archive writer on worker threads.
#include "member_coder.h"

#include "crc16.h"
#include "file_io.h"

#include <algorithm>
#include <cstdlib>
#include <sched.h>

namespace lzh {

namespace {

// Results held ahead of the writer at most (many tiny files cost more in
// bookkeeping than in bytes).
constexpr std::size_t kMaxAhead = 256;


}  // namespace

bool feed_member(Encoder& enc, const std::uint8_t* data, std::size_t n, std::uint64_t before,
                 std::uint64_t expected)
{
    if (expected > kSampleBytes && before < kSampleBytes && before + n >= kSampleBytes) {
        const std::size_t head = std::size_t(kSampleBytes - before);
        enc.write(data, head);
        const std::uint64_t coded = enc.bytes_coded();
        // Sparse data (next to no matches) codes fast: it goes on while it
        // saves anything at all.
        const std::uint64_t margin = 0;
        if (coded > 0 && enc.bytes_out() + margin >= coded)
            return false;
        data += head;
        n -= head;
    }
    enc.write(data, n);
    return true;
}

unsigned coder_threads(unsigned requested)
{
    if (requested > 0)
        return requested;
    if (const char* env = std::getenv("PELKORAN_THREADS")) {
        const int n = std::atoi(env);
        if (n > 0)
            return unsigned(std::min(n, 64));
    }
    // The cores this process may run on (taskset), not all the machine has.
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(std::clamp(CPU_COUNT(&set), 1, 64));
    return std::max(1u, std::thread::hardware_concurrency());
}

MemberCoder::MemberCoder(const WriteOptions& options, unsigned threads,
                         const std::vector<const NewEntry*>& entries, std::vector<EntryStat> own_files)
    : options_(options), own_files_(std::move(own_files))
{
    for (const NewEntry* e : entries)
        if (e->kind == NewEntry::Kind::file && e->st.size <= kMaxPrecoded)
            tasks_.push_back({e, nullptr});
    if (tasks_.empty())
        return;
    threads = std::min<std::size_t>(threads, tasks_.size());
    for (unsigned i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
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
 * A worker: starts the next task in order as soon as the bytes held ahead of
 * the writer allow it (always when nothing is held, so the writer's next
 * member is never starved), codes it without the lock, and hands it over.
 */
void MemberCoder::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        room_.wait(lock, [&] {
            return stop_ || (next_ < tasks_.size() && next_ < kMaxAhead &&
                             (ahead_ == 0 || ahead_ + tasks_[next_].entry->st.size <= kPrecodeBudget));
        });
        if (stop_)
            return;
        const NewEntry* e = tasks_[next_].entry;
        const std::uint64_t weight = e->st.size;
        ++next_;
        ahead_ += weight;
        lock.unlock();
        auto r = std::make_unique<Result>();
        try {
            code(*e, *r);
        } catch (...) {
            r->error = std::current_exception();
        }
        lock.lock();
        // The writer may have taken tasks meanwhile: find ours by its entry.
        for (Task& t : tasks_)
            if (t.entry == e && !t.result) {
                t.result = std::move(r);
                break;
            }
        ready_.notify_all();
    }
}

std::unique_ptr<MemberCoder::Result> MemberCoder::take(const NewEntry* e)
{
    std::unique_lock lock(mutex_);
    if (tasks_.empty() || tasks_.front().entry != e)
        return nullptr;
    if (next_ == 0) {
        // Not started yet (no worker free): the writer codes it itself.
        tasks_.pop_front();
        return nullptr;
    }
    ready_.wait(lock, [&] { return tasks_.front().result != nullptr; });
    std::unique_ptr<Result> r = std::move(tasks_.front().result);
    ahead_ -= e->st.size;
    tasks_.pop_front();
    --next_;
    lock.unlock();
    room_.notify_all();
    return r;
}

/*
 * Reads the whole file and codes it, or keeps its bytes when coding does not
 * pay; the same decisions as the writer's streaming path.
 */
void MemberCoder::code(const NewEntry& e, Result& r) const
{
    FileSource src(e.source_path);
    for (const EntryStat& own : own_files_)
        if (std::uint64_t(src.status().st_dev) == own.dev && std::uint64_t(src.status().st_ino) == own.ino) {
            r.own = true;
            return;
        }
    const std::uint64_t expected = std::uint64_t(src.status().st_size);
    if (expected > kMaxPrecoded) {
        r.too_large = true;
        return;
    }
    std::vector<std::uint8_t> bytes(std::size_t(expected) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > kMaxPrecoded) {
                r.too_large = true;   // grew since the walk: the writer streams it
                return;
            }
            bytes.resize(std::min<std::size_t>(2 * size, kMaxPrecoded + 1));
        }
        const std::size_t n = src.read(bytes.data() + size, bytes.size() - size);
        if (n == 0)
            break;
        size += n;
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
            if (out.size() < size && out.size() >= kMinCodedSize) {
                r.coded = true;
                r.data = std::move(out);
                return;
            }
        }
    }
    r.data = std::move(bytes);
}

}  // namespace lzh
