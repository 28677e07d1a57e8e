// walk.cpp - the directory walk behind "-d1".
#include "walk.h"

#include "file_io.h"
#include "member_coder.h"
#include "names.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lzh {

namespace {

std::string system_reason(int err) { return " (" + errno_text(err) + ")"; }

// "a//b/./c/" -> "a/b/c": the name an item is stored under.
std::string normalise_item(const std::string& item)
{
    std::string out;
    std::size_t i = 0;
    while (i < item.size()) {
        std::size_t j = item.find('/', i);
        if (j == std::string::npos)
            j = item.size();
        const std::string_view part(item.data() + i, j - i);
        if (!part.empty() && part != ".") {
            if (!out.empty())
                out += '/';
            out += part;
        }
        i = j + 1;
    }
    return out;
}

std::string read_link(const std::string& path, const struct stat& st)
{
    std::string target;
    if (!readlink_path(path, target, std::size_t(st.st_size > 0 ? st.st_size : 0)))
        throw Error("シンボリックリンクを読めません: " + shown_path(path) + system_reason(errno));
    return target;
}

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

// Opens a directory for reading, without following a link, relative to its
// parent for paths longer than PATH_MAX.
DirHandle open_dir(const std::string& dir)
{
    int fd;
    {
        ParentDir parent(dir);
        fd = ::openat(parent.fd(), parent.leaf(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0)
        throw Error("ディレクトリを読めません: " + shown_path(dir) + system_reason(errno));
    DirHandle d(::fdopendir(fd), ::closedir);
    if (!d) {
        const int err = errno;
        ::close(fd);
        throw Error("ディレクトリを読めません: " + shown_path(dir) + system_reason(err));
    }
    return d;
}

// A directory's entry names, "." and ".." left out.
std::vector<std::string> read_names(DIR* d, const std::string& dir)
{
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* de = ::readdir(d)) {
        if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
            names.emplace_back(de->d_name);
        errno = 0;
    }
    if (errno != 0)
        throw Error("ディレクトリを読めません: " + shown_path(dir) + system_reason(errno));
    return names;
}

// Directories held open down the tree at most (see add_contents).
constexpr unsigned kHeldDirs = 64;

WalkHook g_walk_hook;

/*
 * Completes `e`, whose paths are set, from `st`. Returns false when the walk
 * leaves it out: the excluded file, or a FIFO, socket or device (never
 * opened), whose path then goes to `skipped`.
 */
bool make_entry(NewEntry& e, const struct stat& st, const struct stat* exclude,
                std::vector<std::string>& skipped)
{
    if (exclude && st.st_dev == exclude->st_dev && st.st_ino == exclude->st_ino)
        return false;
    if (S_ISLNK(st.st_mode)) {
        e.kind = NewEntry::Kind::symlink;
        e.link_target = read_link(e.source_path, st);
    } else if (S_ISDIR(st.st_mode)) {
        e.kind = NewEntry::Kind::directory;
    } else if (S_ISREG(st.st_mode)) {
        e.kind = NewEntry::Kind::file;
    } else {
        skipped.push_back(std::move(e.source_path));
        return false;
    }
    e.st = st;
    return true;
}

class Walker {
public:
    Walker(WalkResult& result, const struct stat* exclude, bool dedupe)
        : result_(result), exclude_(exclude), dedupe_(dedupe)
    {
    }

    // Adds `path` (on disk) as `stored` (in the archive), and what it holds.
    void add(const std::string& path, const std::string& stored, const struct stat& st)
    {
        if (exclude_ && st.st_dev == exclude_->st_dev && st.st_ino == exclude_->st_ino)
            return;
        // Only items named on the command can bring the same member twice
        // (one inside the other); one directory never names an entry twice.
        if (dedupe_ && !seen_.insert(stored).second)
            return;
        NewEntry e;
        e.source_path = path;
        e.stored_path = stored;
        if (!make_entry(e, st, exclude_, result_.skipped))
            return;
        if (e.kind == NewEntry::Kind::file)
            result_.total_bytes += e.st.size;
        const bool is_dir = e.kind == NewEntry::Kind::directory;
        result_.entries.push_back(std::move(e));
        if (is_dir)
            add_contents(path, stored);
    }

private:
    /*
     * Adds what `dir` holds, sorted byte-wise. The names are read first and
     * each is examined afterwards; an entry that is gone by then is left out,
     * one that appeared after the names were read is not seen. The entries
     * are examined relative to the open directory, a lookup of one name
     * rather than of the whole path; below kHeldDirs levels the directory is
     * closed before its entries are examined, so however deep the tree is no
     * more descriptors stay open.
     */
    void add_contents(const std::string& dir, const std::string& stored)
    {
        DirHandle d = open_dir(dir);
        std::vector<std::string> names = read_names(d.get(), dir);
        if (depth_ >= kHeldDirs)
            d.reset();
        std::sort(names.begin(), names.end());
        // Room for them at once: growing step by step would hold the old and
        // the new array together just when the list is longest.
        std::vector<NewEntry>& entries = result_.entries;
        if (entries.size() + names.size() > entries.capacity())
            entries.reserve(std::max(entries.size() + names.size(),
                                     entries.capacity() + entries.capacity() / 2));
        if (g_walk_hook)
            g_walk_hook(dir);
        const std::string prefix = dir.back() == '/' ? dir : dir + '/';
        std::string path;
        ++depth_;
        for (std::string& name : names) {
            path = prefix + name;
            struct stat st;
            const bool found = d ? ::fstatat(::dirfd(d.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                                 : lstat_path(path, st);
            if (!found) {
                if (errno == ENOENT)
                    continue;   // gone since the directory was read
                throw Error("ファイルの情報を読めません: " + shown_path(path) + system_reason(errno));
            }
            add(path, stored + '/' + name, st);
            std::string().swap(name);   // done with it: the memory goes back now
        }
        --depth_;
    }

    WalkResult& result_;
    const struct stat* exclude_;
    bool dedupe_;
    unsigned depth_ = 0;   // directories being added, one inside the other
    std::set<std::string> seen_;
};

/*
 * The walk of one directory item on several threads. Each directory is a
 * segment: the entries it holds, sorted, and for each subdirectory among them
 * the segment of its contents. Any thread lists and examines any queued
 * directory, relative to the open directory, which is closed again before
 * the next; the segments are then joined in the order of a walk on one
 * thread (each directory before what it holds), and the first failure in
 * that order is the one reported, so the result is that of the one-thread
 * walk.
 */
class ParallelWalk {
public:
    ParallelWalk(const struct stat* exclude, unsigned threads) : exclude_(exclude), threads_(threads) {}

    // Adds `root` (a directory entry, already made) and all it holds to `result`.
    void run(NewEntry root, WalkResult& result)
    {
        enqueue(root.source_path, root.stored_path, true);
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

        Segment& top = segments_.front();
        if (segments_.size() == 1 && !top.error && top.skipped.empty()) {
            // No subdirectory: the list is there already (room was left for
            // the root), so no second copy of it is made.
            std::vector<NewEntry>& entries = top.entries;
            for (const NewEntry& e : entries)
                if (e.kind == NewEntry::Kind::file)
                    result.total_bytes += e.st.size;
            entries.insert(entries.begin(), std::move(root));
            result.entries = std::move(entries);
            return;
        }
        std::size_t count = 1;
        for (const Segment& sg : segments_)
            count += sg.entries.size();
        result.entries.reserve(count);
        result.entries.push_back(std::move(root));
        join(top, result);
    }

private:
    static constexpr std::uint32_t kNoContents = std::uint32_t(-1);

    struct Segment {
        std::string path;                // the directory
        std::string stored;
        bool root = false;
        std::vector<NewEntry> entries;   // what it holds, sorted
        std::vector<std::uint32_t> contents;   // per entry: the segment of its contents, or kNoContents
        std::vector<std::pair<std::size_t, std::string>> skipped;   // (entries before it, path)
        std::exception_ptr error;        // met after `entries`
    };

    // Queues the contents of directory `path` and returns their segment.
    std::uint32_t enqueue(const std::string& path, const std::string& stored, bool root = false)
    {
        std::lock_guard lock(mutex_);
        Segment& sg = segments_.emplace_back();
        sg.path = path;
        sg.stored = stored;
        sg.root = root;
        queue_.push_back(&sg);
        // One queued directory the thread queuing it lists next itself: waking
        // another for it would only hand it over (a chain of single
        // subdirectories would pass from thread to thread).
        if (waiting_ > 0 && queue_.size() > 1)
            wake_.notify_one();
        return std::uint32_t(segments_.size() - 1);
    }

    // Lists queued directories until none is queued or being listed.
    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
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
            wake_.wait(lock);
            --waiting_;
        }
    }

    /*
     * Reads and examines what directory `sg` holds, as Walker::add_contents
     * does; a failure is kept in the segment, after the entries examined
     * before it.
     */
    void list(Segment& sg)
    {
        try {
            DirHandle d = open_dir(sg.path);
            std::vector<std::string> names = read_names(d.get(), sg.path);
            std::sort(names.begin(), names.end());
            sg.entries.reserve(names.size() + (sg.root ? 1 : 0));
            sg.contents.reserve(names.size());
            if (g_walk_hook)
                g_walk_hook(sg.path);
            const std::string prefix = sg.path.back() == '/' ? sg.path : sg.path + '/';
            const std::string stored_prefix = sg.stored + '/';
            std::vector<std::string> skipped;
            for (std::string& name : names) {
                struct stat st;
                if (::fstatat(::dirfd(d.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT)
                        continue;   // gone since the directory was read
                    throw Error("ファイルの情報を読めません: " + shown_path(prefix + name) +
                                system_reason(errno));
                }
                NewEntry e;
                e.source_path = prefix + name;
                e.stored_path = stored_prefix + name;
                if (!make_entry(e, st, exclude_, skipped)) {
                    for (std::string& p : skipped)
                        sg.skipped.emplace_back(sg.entries.size(), std::move(p));
                    skipped.clear();
                    continue;
                }
                const std::uint32_t contents = e.kind == NewEntry::Kind::directory
                                                   ? enqueue(e.source_path, e.stored_path)
                                                   : kNoContents;
                sg.entries.push_back(std::move(e));
                sg.contents.push_back(contents);
                std::string().swap(name);
            }
        } catch (...) {
            sg.error = std::current_exception();
        }
    }

    // Moves the entries of `sg` and of the segments below it into `result`,
    // in walk order; rethrows the first failure met in that order.
    void join(Segment& sg, WalkResult& result)
    {
        std::size_t k = 0;
        for (std::size_t i = 0; i < sg.entries.size(); ++i) {
            for (; k < sg.skipped.size() && sg.skipped[k].first == i; ++k)
                result.skipped.push_back(std::move(sg.skipped[k].second));
            NewEntry& e = sg.entries[i];
            if (e.kind == NewEntry::Kind::file)
                result.total_bytes += e.st.size;
            result.entries.push_back(std::move(e));
            if (sg.contents[i] != kNoContents)
                join(segments_[sg.contents[i]], result);
        }
        for (; k < sg.skipped.size(); ++k)
            result.skipped.push_back(std::move(sg.skipped[k].second));
        if (sg.error)
            std::rethrow_exception(sg.error);
        std::vector<NewEntry>().swap(sg.entries);   // moved from: the memory goes back now
    }

    const struct stat* exclude_;
    const unsigned threads_;
    std::mutex mutex_;
    std::condition_variable wake_;     // a directory was queued, or the walk is over
    std::deque<Segment> segments_;     // [0]: the root's contents; never moved once made
    std::deque<Segment*> queue_;       // directories to list
    unsigned busy_ = 0;                // threads listing a directory
    unsigned waiting_ = 0;             // threads waiting in wake_
};

}  // namespace

void set_walk_hook(WalkHook hook)
{
    g_walk_hook = std::move(hook);
}

WalkResult collect_entries(const AddCommand& cmd, const struct stat* exclude)
{
    WalkResult result;
    Walker walker(result, exclude, cmd.items.size() > 1);
    // One directory item, the usual drop, is walked on as many threads as
    // the coders will use.
    const unsigned threads = cmd.items.size() == 1 ? coder_threads(0) : 1;
    for (const std::string& item : cmd.items) {
        const std::string stored = normalise_item(item);
        if (stored.empty())
            throw Error("対象の名前が空です: " + item);
        const std::string path = cmd.base + stored;
        struct stat st;
        if (!lstat_path(path, st))
            throw Error("対象が見つかりません: " + shown_path(path) + system_reason(errno));
        if (threads > 1 && S_ISDIR(st.st_mode)) {
            NewEntry root;
            root.source_path = path;
            root.stored_path = stored;
            if (make_entry(root, st, exclude, result.skipped))
                ParallelWalk(exclude, threads).run(std::move(root), result);
            continue;
        }
        walker.add(path, stored, st);
    }
    return result;
}

}  // namespace lzh
