// walk.cpp - the directory walk behind "-d1".
#include "walk.h"

#include "file_io.h"
#include "names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <set>
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
        e.st = st;
        if (S_ISLNK(st.st_mode)) {
            e.kind = NewEntry::Kind::symlink;
            e.link_target = read_link(path, st);
        } else if (S_ISDIR(st.st_mode)) {
            e.kind = NewEntry::Kind::directory;
        } else if (S_ISREG(st.st_mode)) {
            e.kind = NewEntry::Kind::file;
            result_.total_bytes += static_cast<std::uint64_t>(st.st_size);
        } else {
            result_.skipped.push_back(path);   // FIFO, socket, device: never opened
            return;
        }
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

}  // namespace

void set_walk_hook(WalkHook hook)
{
    g_walk_hook = std::move(hook);
}

WalkResult collect_entries(const AddCommand& cmd, const struct stat* exclude)
{
    WalkResult result;
    Walker walker(result, exclude, cmd.items.size() > 1);
    for (const std::string& item : cmd.items) {
        const std::string stored = normalise_item(item);
        if (stored.empty())
            throw Error("対象の名前が空です: " + item);
        const std::string path = cmd.base + stored;
        struct stat st;
        if (!lstat_path(path, st))
            throw Error("対象が見つかりません: " + shown_path(path) + system_reason(errno));
        walker.add(path, stored, st);
    }
    return result;
}

}  // namespace lzh
