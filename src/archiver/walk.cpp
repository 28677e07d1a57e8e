// walk.cpp - the directory walk behind "-d1".
#include "walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <set>
#include <unistd.h>

namespace lzh {

namespace {

std::string system_reason(int err) { return std::string(" (") + std::strerror(err) + ")"; }

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
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    while (true) {
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            throw Error("シンボリックリンクを読めません: " + path + system_reason(errno));
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);   // the link changed meanwhile; read it again
    }
}

class Walker {
public:
    Walker(WalkResult& result, const struct stat* exclude) : result_(result), exclude_(exclude) {}

    // Adds `path` (on disk) as `stored` (in the archive), and what it holds.
    void add(const std::string& path, const std::string& stored, const struct stat& st)
    {
        if (exclude_ && st.st_dev == exclude_->st_dev && st.st_ino == exclude_->st_ino)
            return;
        if (!seen_.insert(stored).second)
            return;   // the same member named twice
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
    void add_contents(const std::string& dir, const std::string& stored)
    {
        std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
        if (!d)
            throw Error("ディレクトリを読めません: " + dir + system_reason(errno));
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* de = ::readdir(d.get())) {
            if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
                names.emplace_back(de->d_name);
            errno = 0;
        }
        if (errno != 0)
            throw Error("ディレクトリを読めません: " + dir + system_reason(errno));
        d.reset();
        std::sort(names.begin(), names.end());
        const std::string prefix = dir.back() == '/' ? dir : dir + '/';
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            struct stat st;
            if (::lstat(path.c_str(), &st) != 0) {
                if (errno == ENOENT)
                    continue;   // gone since the directory was read
                throw Error("ファイルの情報を読めません: " + path + system_reason(errno));
            }
            add(path, stored + '/' + name, st);
        }
    }

    WalkResult& result_;
    const struct stat* exclude_;
    std::set<std::string> seen_;
};

}  // namespace

WalkResult collect_entries(const AddCommand& cmd, const struct stat* exclude)
{
    WalkResult result;
    Walker walker(result, exclude);
    for (const std::string& item : cmd.items) {
        const std::string stored = normalise_item(item);
        if (stored.empty())
            throw Error("対象の名前が空です: " + item);
        const std::string path = cmd.base + stored;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            throw Error("対象が見つかりません: " + path + system_reason(errno));
        walker.add(path, stored, st);
    }
    return result;
}

}  // namespace lzh
