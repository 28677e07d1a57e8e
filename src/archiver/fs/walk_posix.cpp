// walk_posix.cpp - the directory walk behind "-d1", through POSIX calls.
//
// One unit of about 800 lines on purpose: the walk on one thread (Walker)
// and on several (ParallelWalk) share examine() and the checks that keep a
// walk from following a directory swapped for a link, and those are best
// read beside both of their callers.
#include "fs/walk_common.h"

#include "fs/file_io.h"
#include "fs/threads.h"
#include "fs/names.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lzh {

namespace {

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

DirHandle no_dir()
{
    return DirHandle(nullptr, ::closedir);
}

// Takes `fd`, an open directory, as a DIR; throws naming `dir` when it cannot.
DirHandle dir_handle(int fd, const std::string& dir)
{
    DirHandle d(::fdopendir(fd), ::closedir);
    if (!d) {
        const int err = errno;
        ::close(fd);
        throw Error(Message::cannot_read_directory, {shown_path(dir)}, err);
    }
    return d;
}

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// Throws unless the directory open as `fd` is the one the walk examined.
void check_same_dir(int fd, const EntryStat& seen, const std::string& dir)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        throw Error(Message::cannot_read_directory, {shown_path(dir)}, errno);
    if (!same_file(st, seen))
        throw Error(Message::directory_swapped, {shown_path(dir)});
}

// A link's target, read relative to its open directory.
std::string read_link_at(int dirfd, const std::string& name, const std::string& path, const struct stat& st)
{
    std::string target(std::max<std::size_t>(std::size_t(st.st_size > 0 ? st.st_size : 0), 255) + 1, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dirfd, name.c_str(), target.data(), target.size());
        if (n < 0)
            throw Error(Message::cannot_read_link, {shown_path(path)}, errno);
        if (std::size_t(n) < target.size()) {
            target.resize(std::size_t(n));
            return target;
        }
        target.resize(target.size() * 2);  // the link changed meanwhile; read it again
    }
}

// A directory's entry names, "." and ".." left out. `tick` is called now and
// then, so a very large directory can be cancelled while it is read.
template <typename Tick>
std::vector<std::string> read_names(DIR* d, const std::string& dir, Tick&& tick)
{
    std::vector<std::string> names;
    std::size_t read = 0;
    errno = 0;
    while (const dirent* de = ::readdir(d)) {
        if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
            names.emplace_back(de->d_name);
        if ((++read & 1023) == 0)
            tick();
        errno = 0;
    }
    if (errno != 0)
        throw Error(Message::cannot_read_directory, {shown_path(dir)}, errno);
    return names;
}

// Directories held open down the tree at most (see Walker).
constexpr unsigned kHeldDirs = 64;

/*
 * Examines entry `name` of the directory open as `dirfd` into `e`; `path`
 * and `stored` are its paths on the disk and in the archive. Returns false
 * when the walk leaves it out: gone since the names were read, the excluded
 * file, or a FIFO, socket or device (never opened), whose path then goes to
 * `skipped`.
 */
bool examine(int dirfd, const std::string& name, const std::string& path, const std::string& stored,
             NewEntry& e, const struct stat* exclude, std::vector<std::string>& skipped)
{
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return false;  // gone since the directory was read
        throw Error(Message::cannot_stat_file, {shown_path(path)}, errno);
    }
    if (exclude && same_file(st, *exclude))
        return false;
    if (S_ISLNK(st.st_mode)) {
        e.kind = NewEntry::Kind::symlink;
        e.link_target = read_link_at(dirfd, name, path, st);
    } else if (S_ISDIR(st.st_mode)) {
        e.kind = NewEntry::Kind::directory;
    } else if (S_ISREG(st.st_mode)) {
        e.kind = NewEntry::Kind::file;
    } else {
        skipped.push_back(path);
        return false;
    }
    e.st = st;
    check_name_length(stored, e);
    return true;
}

/*
 * The walk of a directory on one thread, without recursion: a stack of the
 * directories being walked, one inside the other, each with its names (read
 * at once, sorted byte-wise) and the next one to examine. Every entry is
 * examined and every subdirectory opened relative to its open parent,
 * without following a link, so a directory swapped for a link while the walk
 * runs fails with its path instead of leading elsewhere. Below kHeldDirs
 * levels a directory is closed while a subdirectory is walked and opened
 * again afterwards through the subdirectory's "..", checked to be the same
 * directory, so however deep the tree is no more descriptors stay open and
 * each level costs the same.
 */
class Walker {
public:
    // Asked before each entry whether to go on; false cancels.
    using GoOn = std::function<bool(const std::string& current)>;
    // Takes the path of an entry left out (a special file), in walk order.
    using Skip = std::function<void(std::string&& path)>;

    Walker(std::vector<NewEntry>& entries, PathLinks& links, const struct stat* exclude, GoOn go_on,
           Skip skip, const WalkPoll& poll)
        : entries_(entries),
          links_(links),
          exclude_(exclude),
          go_on_(std::move(go_on)),
          skip_(std::move(skip)),
          poll_(poll)
    {}

    // Adds what directory `path` (open as `d`, already added as `stored`,
    // with status `st`, linked as `link`) holds; its entries are read later
    // from `root`.
    void walk(DirHandle d, const SourceRoot* root, const std::string& path, const std::string& stored,
              const EntryStat& st, const PathLink* link)
    {
        path_ = path;
        stored_ = stored;
        push(std::move(d), st, link);
        std::vector<std::string> skipped;
        while (!stack_.empty()) {
            Frame& f = stack_.back();
            if (f.next == f.names.size()) {
                pop();
                continue;
            }
            std::string& name = f.names[f.next++];
            path_.resize(f.path_size);
            path_ += '/';
            path_ += name;
            stored_.resize(f.stored_size);
            stored_ += '/';
            stored_ += name;
            check(stored_);
            NewEntry e;
            e.dir = f.link;
            if (!examine(::dirfd(f.dir.get()), name, path_, stored_, e, exclude_, skipped)) {
                for (std::string& p : skipped)
                    skip_(std::move(p));
                skipped.clear();
                continue;
            }
            e.root = root;
            if (e.kind != NewEntry::Kind::directory) {
                e.name = std::move(name);  // the frame is done with it
                entries_.push_back(std::move(e));
                continue;
            }
            const EntryStat dir_st = e.st;
            e.name = name;
            entries_.push_back(std::move(e));
            const PathLink* sub_link = links_.add(f.link, name);
            const int sub = ::openat(::dirfd(f.dir.get()), name.c_str(), kDirFlags);
            if (sub < 0)
                throw Error(Message::cannot_read_directory, {shown_path(path_)}, errno);
            DirHandle sub_dir = dir_handle(sub, path_);
            check_same_dir(sub, dir_st, path_);
            std::string().swap(name);
            if (stack_.size() > kHeldDirs)
                f.dir.reset();
            push(std::move(sub_dir), dir_st, sub_link);
        }
    }

private:
    struct Frame {
        DirHandle dir = no_dir();  // closed while a subdirectory is walked, deep down
        EntryStat st;
        const PathLink* link = nullptr;  // the directory, for its entries
        std::vector<std::string> names;
        std::size_t next = 0;
        std::size_t path_size = 0;
        std::size_t stored_size = 0;
    };

    void check(const std::string& current)
    {
        if (!go_on_(current))
            poll_.cancelled();
    }

    // Reads the names of the directory open as `d`, whose path is path_.
    void push(DirHandle d, const EntryStat& st, const PathLink* link)
    {
        std::vector<std::string> names = read_names(d.get(), path_, [&] { check(stored_); });
        std::sort(names.begin(), names.end());
        reserve_entries(entries_, names.size());
        walk_hook(path_);
        Frame& f = stack_.emplace_back();
        f.dir = std::move(d);
        f.st = st;
        f.link = link;
        f.names = std::move(names);
        f.path_size = path_.size();
        f.stored_size = stored_.size();
    }

    // Leaves the innermost directory, opening its parent again if it was closed.
    void pop()
    {
        Frame child = std::move(stack_.back());
        stack_.pop_back();
        if (stack_.empty())
            return;
        Frame& f = stack_.back();
        path_.resize(f.path_size);
        stored_.resize(f.stored_size);
        if (f.dir)
            return;
        const int fd = ::openat(::dirfd(child.dir.get()), "..", kDirFlags);
        if (fd < 0)
            throw Error(Message::cannot_read_directory, {shown_path(path_)}, errno);
        f.dir = dir_handle(fd, path_);
        check_same_dir(fd, f.st, path_);
    }

    std::vector<NewEntry>& entries_;
    PathLinks& links_;
    const struct stat* exclude_;
    GoOn go_on_;
    Skip skip_;
    const WalkPoll& poll_;
    std::vector<Frame> stack_;
    std::string path_;    // the entry (or directory) reached, on the disk
    std::string stored_;  // ... and in the archive
};

/*
 * The walk of one directory item on several threads. Each directory is a
 * segment: the entries it holds, sorted, and for each subdirectory among them
 * the segment of its contents. Any thread lists and examines any queued
 * directory, opened from the item's directory through no link (see
 * open_beneath) and checked to be the directory examined; it is closed again
 * before the next. The segments are then joined in the order of a walk on
 * one thread (each directory before what it holds), and the first failure in
 * that order is the one reported, so the result is that of the one-thread
 * walk. A directory kHeldDirs levels down is walked whole by the thread that
 * meets it, as Walker does, into its parent's segment: below that depth each
 * opening from the item's directory would cost a lookup per level. Only the
 * calling thread asks the window whether to go on; a cancel stops the others
 * at their next entry.
 */
class ParallelWalk {
public:
    ParallelWalk(const struct stat* exclude, unsigned threads, WalkPoll& poll, PathLinks& links)
        : exclude_(exclude), threads_(threads), poll_(poll), links_(links)
    {}

    // Adds `root` (a directory entry, already made, open as `dir`) and all it holds to `result`.
    void run(NewEntry root, const SourceRoot* dir, WalkResult& result)
    {
        dir_ = dir;
        caller_ = std::this_thread::get_id();
        enqueue(root.source_path(), root.stored_path(), root.st, 0,
                links_.add(nullptr, root.name, root.source), true);
        std::vector<std::thread> helpers;
        try {
            for (unsigned i = 1; i < threads_; ++i)
                helpers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // No more threads: the ones there are do the walk.
        }
        work();
        for (std::thread& t : helpers)
            t.join();
        if (cancelled_)
            poll_.cancelled();

        Segment& top = segments_.front();
        if (segments_.size() == 1 && !top.error && top.skipped.empty() && result.entries.empty()) {
            // No subdirectory: the list is there already (room was left for
            // the root), so no second copy of it is made.
            std::vector<NewEntry>& entries = top.entries;
            entries.insert(entries.begin(), std::move(root));
            result.entries = std::move(entries);
            return;
        }
        std::size_t count = result.entries.size() + 1;
        for (const Segment& sg : segments_)
            count += sg.entries.size();
        result.entries.reserve(count);
        result.entries.push_back(std::move(root));
        join(result);
    }

private:
    static constexpr std::uint32_t kNoContents = std::uint32_t(-1);

    struct Segment {
        std::string path;  // the directory
        std::string stored;
        const PathLink* link = nullptr;  // the directory, for its entries
        EntryStat st;                    // as examined
        unsigned depth = 0;              // levels below the item
        bool root = false;
        std::vector<NewEntry> entries;        // what it holds, sorted
        std::vector<std::uint32_t> contents;  // per entry: the segment of its contents, or kNoContents
        std::vector<std::pair<std::size_t, std::string>> skipped;  // (entries before it, path)
        std::exception_ptr error;                                  // met after `entries`
    };

    // Queues the contents of directory `path` and returns their segment.
    std::uint32_t enqueue(const std::string& path, const std::string& stored, const EntryStat& st,
                          unsigned depth, const PathLink* link, bool root = false)
    {
        std::lock_guard lock(mutex_);
        Segment& sg = segments_.emplace_back();
        sg.path = path;
        sg.stored = stored;
        sg.link = link;
        sg.st = st;
        sg.depth = depth;
        sg.root = root;
        queue_.push_back(&sg);
        // One queued directory the thread queuing it lists next itself: waking
        // another for it would only hand it over (a chain of single
        // subdirectories would pass from thread to thread).
        if (waiting_ > 0 && queue_.size() > 1)
            wake_.notify_one();
        return std::uint32_t(segments_.size() - 1);
    }

    bool is_caller() const { return std::this_thread::get_id() == caller_; }

    // On the calling thread: asks the window; a cancel stops every thread.
    bool go_on(const std::string& current, bool now = false)
    {
        if (stop_.load(std::memory_order_relaxed))
            return false;
        if (!is_caller() || (now ? poll_.go_on_now(current) : poll_.go_on(current)))
            return true;
        cancelled_ = true;
        stop_.store(true, std::memory_order_relaxed);
        return false;
    }

    // Lists queued directories until none is queued or being listed.
    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stop_.load(std::memory_order_relaxed)) {
                wake_.notify_all();
                return;
            }
            if (!queue_.empty()) {
                Segment* sg = queue_.front();
                queue_.pop_front();
                ++busy_;
                lock.unlock();
                list(*sg);
                lock.lock();
                --busy_;
                if (busy_ == 0 && queue_.empty() && waiting_ > 0)
                    wake_.notify_all();
                continue;
            }
            if (busy_ == 0)
                return;
            ++waiting_;
            if (is_caller()) {
                wake_.wait_for(lock, std::chrono::milliseconds(100));
                --waiting_;
                lock.unlock();
                go_on("", true);
                lock.lock();
            } else {
                wake_.wait(lock);
                --waiting_;
            }
        }
    }

    /*
     * Reads and examines what directory `sg` holds, as Walker does; a failure
     * is kept in the segment, after the entries examined before it.
     */
    void list(Segment& sg)
    {
        try {
            const int fd = sg.root
                               ? ::openat(dir_->fd, ".", kDirFlags)
                               : open_beneath(dir_->fd, std::string_view(sg.path).substr(dir_->path_size + 1),
                                              kDirFlags);
            if (fd < 0)
                throw Error(Message::cannot_read_directory, {shown_path(sg.path)}, errno);
            DirHandle d = dir_handle(fd, sg.path);
            check_same_dir(fd, sg.st, sg.path);
            bool stopped = false;
            std::vector<std::string> names =
                read_names(d.get(), sg.path, [&] { stopped = stopped || !go_on(sg.stored); });
            if (stopped)
                return;
            std::sort(names.begin(), names.end());
            sg.entries.reserve(names.size() + (sg.root ? 1 : 0));
            sg.contents.reserve(names.size());
            walk_hook(sg.path);
            const std::string prefix = sg.path + '/';
            const std::string stored_prefix = sg.stored + '/';
            std::vector<std::string> skipped;
            for (std::string& name : names) {
                NewEntry e;
                e.dir = sg.link;
                const std::string path = prefix + name;
                const std::string stored = stored_prefix + name;
                if (!go_on(stored))
                    return;
                if (!examine(fd, name, path, stored, e, exclude_, skipped)) {
                    for (std::string& p : skipped)
                        sg.skipped.emplace_back(sg.entries.size(), std::move(p));
                    skipped.clear();
                    continue;
                }
                e.root = dir_;
                if (e.kind == NewEntry::Kind::directory && sg.depth + 1 >= kHeldDirs) {
                    e.name = name;
                    walk_here(sg, fd, path, stored, std::move(e));
                    continue;
                }
                const std::uint32_t contents =
                    e.kind == NewEntry::Kind::directory
                        ? enqueue(path, stored, e.st, sg.depth + 1, links_.add(sg.link, name))
                        : kNoContents;
                e.name = std::move(name);  // done with it here
                sg.entries.push_back(std::move(e));
                sg.contents.push_back(contents);
            }
        } catch (...) {
            sg.error = std::current_exception();
        }
    }

    // Adds directory entry `e` (at `path`, stored as `stored`), named e.name
    // in the directory open as `fd`, and all it holds to `sg`, walked on this
    // thread.
    void walk_here(Segment& sg, int fd, const std::string& path, const std::string& stored, NewEntry e)
    {
        const int sub = ::openat(fd, e.name.c_str(), kDirFlags);
        if (sub < 0)
            throw Error(Message::cannot_read_directory, {shown_path(path)}, errno);
        DirHandle d = dir_handle(sub, path);
        check_same_dir(sub, e.st, path);
        const EntryStat st = e.st;
        const PathLink* link = links_.add(sg.link, e.name);
        sg.entries.push_back(std::move(e));
        Walker walker(
            sg.entries, links_, exclude_, [this](const std::string& current) { return go_on(current); },
            [&sg](std::string&& p) { sg.skipped.emplace_back(sg.entries.size(), std::move(p)); }, poll_);
        try {
            walker.walk(std::move(d), dir_, path, stored, st, link);
        } catch (...) {
            sg.contents.resize(sg.entries.size(), kNoContents);
            throw;
        }
        sg.contents.resize(sg.entries.size(), kNoContents);
    }

    // Moves the entries of the segments into `result`, in walk order,
    // without recursion however deep the tree; rethrows the first failure met
    // in that order.
    void join(WalkResult& result)
    {
        struct Place {
            Segment* sg;
            std::size_t i = 0;  // next entry
            std::size_t k = 0;  // next skipped entry
        };
        std::vector<Place> stack{{&segments_.front()}};
        while (!stack.empty()) {
            Place& at = stack.back();
            Segment& sg = *at.sg;
            for (; at.k < sg.skipped.size() && sg.skipped[at.k].first <= at.i; ++at.k)
                result.skipped.push_back(std::move(sg.skipped[at.k].second));
            if (at.i == sg.entries.size()) {
                if (sg.error)
                    std::rethrow_exception(sg.error);
                std::vector<NewEntry>().swap(sg.entries);  // moved from: the memory goes back now
                stack.pop_back();
                continue;
            }
            const std::size_t i = at.i++;
            result.entries.push_back(std::move(sg.entries[i]));
            if (sg.contents[i] != kNoContents)
                stack.push_back({&segments_[sg.contents[i]]});  // `at` is not used after this
        }
    }

    const struct stat* exclude_;
    const unsigned threads_;
    WalkPoll& poll_;
    PathLinks& links_;
    const SourceRoot* dir_ = nullptr;  // the item's directory
    std::thread::id caller_;
    std::atomic<bool> stop_{false};
    bool cancelled_ = false;  // set by the calling thread only
    std::mutex mutex_;
    std::condition_variable wake_;  // a directory was queued, or the walk is over
    std::deque<Segment> segments_;  // [0]: the root's contents; never moved once made
    std::deque<Segment*> queue_;    // directories to list
    unsigned busy_ = 0;             // threads listing a directory
    unsigned waiting_ = 0;          // threads waiting in wake_
};

// Opens a directory item; a link is followed only when the item was one
// (`is_link`): the user chose it.
std::unique_ptr<SourceRoot> open_item_dir(const std::string& path, bool is_link, struct stat& st)
{
    int fd;
    {
        ParentDir parent(path);
        fd = ::openat(parent.fd(), parent.leaf(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | (is_link ? 0 : O_NOFOLLOW));
    }
    if (fd < 0)
        throw Error(Message::cannot_read_directory, {shown_path(path)}, errno);
    auto root = std::make_unique<SourceRoot>(fd, path.size());
    if (::fstat(fd, &st) != 0)
        throw Error(Message::cannot_read_directory, {shown_path(path)}, errno);
    return root;
}

}  // namespace

WalkResult collect_entries(const WalkItems& cmd, const struct stat* exclude, ArchiverWindow* window)
{
    WalkResult result;
    WalkPoll poll(window, cmd.archive);
    Walker walker(
        result.entries, *result.links, exclude,
        [&poll](const std::string& current) { return poll.go_on(current); },
        [&result](std::string&& path) { result.skipped.push_back(std::move(path)); }, poll);
    // Only items named on the command can bring the same member twice (one
    // inside the other); one directory never names an entry twice.
    const bool dedupe = cmd.items.size() > 1;
    std::set<std::string> seen;
    // One directory item, the usual drop, is walked on as many threads as
    // the coders will use.
    const unsigned threads = cmd.items.size() == 1 ? coder_threads(0) : 1;
    for (const std::string& item : cmd.items) {
        const std::string stored = stored_item_name(item);
        const std::string path = cmd.base + stored;
        bool is_link = false;
        struct stat st = item_status(path, is_link);
        const SourceRoot* root = nullptr;
        if (S_ISDIR(st.st_mode))
            root = result.roots.emplace_back(open_item_dir(path, is_link, st)).get();  // `st`: as opened
        std::optional<NewEntry> entry =
            item_entry(path, stored, st, is_link, exclude, dedupe ? &seen : nullptr, result);
        if (!entry)
            continue;
        NewEntry& e = *entry;
        if (!root) {
            result.entries.push_back(std::move(e));
            continue;
        }
        if (threads > 1 && !dedupe) {
            ParallelWalk(exclude, threads, poll, *result.links).run(std::move(e), root, result);
            continue;
        }
        const EntryStat dir_st = e.st;
        result.entries.push_back(std::move(e));
        const std::size_t first = result.entries.size();
        const int fd = ::openat(root->fd, ".", kDirFlags);
        if (fd < 0)
            throw Error(Message::cannot_read_directory, {shown_path(path)}, errno);
        walker.walk(dir_handle(fd, path), root, path, stored, dir_st,
                    result.links->add(nullptr, stored, path));
        if (dedupe)
            drop_seen(result.entries, first, seen);
    }
    count_total_bytes(result);
    return result;
}

}  // namespace lzh
