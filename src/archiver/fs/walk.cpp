// walk.cpp - the parts of the directory walk that both file-system backends share.
#include "fs/walk_common.h"

#include "fs/names.h"

#include <algorithm>
#include <cerrno>

namespace lzh {

namespace {

// The longest name a level-2 header can hold (its size field has 16 bits).
constexpr std::size_t kMaxHeaderName = 0xFFFF;

WalkHook g_walk_hook;

// What separates the components of an item: '/', and on Windows '\' as well.
#ifdef _WIN32
constexpr char kItemSeparators[] = "/\\";
#else
constexpr char kItemSeparators[] = "/";
#endif

// "a//b/./c/" -> "a/b/c".
std::string normalise_item(const std::string& item)
{
    std::string out;
    std::size_t i = 0;
    while (i < item.size()) {
        std::size_t j = item.find_first_of(kItemSeparators, i);
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

}  // namespace

std::string stored_item_name(const std::string& item)
{
    std::string stored = normalise_item(item);
    if (stored.empty())
        throw Error(Message::empty_item_named, {item});
    return stored;
}

void check_name_length(const std::string& stored, const NewEntry& e)
{
    if (stored.size() + e.link_target.size() <= kMaxHeaderName)
        return;
    const StoredNames names = encode_names(stored, e.link_target, e.kind == NewEntry::Kind::directory);
    if (names.path.size() + names.link_target.size() > kMaxHeaderName)
        throw Error(Message::name_too_long, {shown_path(stored)});
}

FileStat item_status(const std::string& path, bool& is_link)
{
    const auto not_found = [&](int err, Message missing) {
        return err == ENOENT ? Error(missing, {shown_path(path)})
                             : Error(Message::item_not_found, {shown_path(path)}, err);
    };
    FileStat st;
    if (!lstat_path(path, st))
        throw not_found(errno, Message::item_not_found);
    is_link = S_ISLNK(st.st_mode);
    if (is_link && !stat_file(path, st))
        throw not_found(errno, Message::link_target_missing);
    return st;
}

std::optional<NewEntry> item_entry(const std::string& path, const std::string& stored, const FileStat& st,
                                   bool is_link, const FileStat* exclude, std::set<std::string>* seen,
                                   WalkResult& result)
{
    if (exclude && same_file(st, *exclude))
        return std::nullopt;
    if (seen && !seen->insert(stored).second)
        return std::nullopt;
    NewEntry e;
    e.source = path;
    e.name = stored;
    e.st = st;
    if (S_ISDIR(st.st_mode)) {
        e.kind = NewEntry::Kind::directory;
    } else if (S_ISREG(st.st_mode)) {
        e.kind = NewEntry::Kind::file;
        e.follow_link = is_link;
    } else {
        result.skipped.push_back(path);
        return std::nullopt;
    }
    check_name_length(stored, e);
    return e;
}

void count_total_bytes(WalkResult& result)
{
    for (const NewEntry& e : result.entries)
        if (e.kind == NewEntry::Kind::file)
            result.total_bytes += e.st.size;
}

void drop_seen(std::vector<NewEntry>& entries, std::size_t first, std::set<std::string>& seen)
{
    std::size_t kept = first;
    for (std::size_t i = first; i < entries.size(); ++i)
        if (seen.insert(entries[i].stored_path()).second) {
            if (kept != i)
                entries[kept] = std::move(entries[i]);
            ++kept;
        }
    entries.resize(kept);
}

void reserve_entries(std::vector<NewEntry>& entries, std::size_t more)
{
    if (entries.size() + more > entries.capacity())
        entries.reserve(std::max(entries.size() + more, entries.capacity() + entries.capacity() / 2));
}

void walk_hook(const std::string& dir)
{
    if (g_walk_hook)
        g_walk_hook(dir);
}

void set_walk_hook(WalkHook hook)
{
    g_walk_hook = std::move(hook);
}

bool WalkPoll::go_on(const std::string& current)
{
    if (!window_ || (++calls_ & 255) != 0)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100))
        return true;
    last_ = now;
    Progress p;
    p.archive = archive_;
    p.current = current;
    return window_->on_progress(p);
}

void WalkPoll::cancelled() const
{
    throw Cancelled(Message::cancelled, {archive_});
}

}  // namespace lzh
