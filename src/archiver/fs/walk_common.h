// walk_common.h - the parts of the directory walk that both file-system
// backends share (walk_posix.cpp, walk_windows.cpp; defined in walk.cpp).
#pragma once

#include "fs/walk.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lzh {

// The name item `item` is stored under ("a//b/./c/" -> "a/b/c"); throws
// when that is empty.
std::string stored_item_name(const std::string& item);

/*
 * Refuses an entry whose names no header can hold, as soon as the walk meets
 * it: everything below a directory is longer still, so the walk never goes
 * on into a tree it could not store. Names that fit by their bytes on the
 * disk need no further look; longer ones are measured as they would be stored
 * (CP932 may be shorter than UTF-8).
 */
void check_name_length(const std::string& stored, const NewEntry& e);

/*
 * The status of item `path`, which the user chose: a link named as an item
 * is followed (`is_link` tells; links below an item never are). Throws
 * naming it when it is missing ("not found" says it all) or cannot be
 * examined.
 */
FileStat item_status(const std::string& path, bool& is_link);

/*
 * The entry of item `path`, stored as `stored`, with status `st` (`is_link`:
 * the user named it through a link, which a file's entry then follows), or
 * nothing when the item is left out: the file `exclude` (the archive), an
 * item another one named already (its stored name in `seen`, when given),
 * or a special file, whose path goes to result.skipped. Throws for a name no
 * header can hold.
 */
std::optional<NewEntry> item_entry(const std::string& path, const std::string& stored, const FileStat& st,
                                   bool is_link, const FileStat* exclude, std::set<std::string>* seen,
                                   WalkResult& result);

// Sums the sizes of the walk's files into its total_bytes.
void count_total_bytes(WalkResult& result);

// Leaves out the entries from `first` on that another item brought already.
void drop_seen(std::vector<NewEntry>& entries, std::size_t first, std::set<std::string>& seen);

// Makes room in `entries` for `more` at once: growing step by step would
// hold the old and the new array together just when the list is longest.
void reserve_entries(std::vector<NewEntry>& entries, std::size_t more);

// Calls the test hook (set_walk_hook), if any, with directory `dir`.
void walk_hook(const std::string& dir);

/*
 * Asks the window now and then whether to go on, so a cancel is seen while a
 * large or deep tree is walked, long before anything is written. Only the
 * thread that called the command may call the window.
 */
class WalkPoll {
public:
    WalkPoll(ArchiverWindow* window, const std::string& archive) : window_(window), archive_(archive) {}

    // False when the user cancelled; `current` is the entry reached.
    bool go_on(const std::string& current);
    // As go_on(), but forced past the counter (a thread that waited).
    bool go_on_now(const std::string& current)
    {
        calls_ |= 255;
        return go_on(current);
    }
    // As go_on(), throwing lzh::Cancelled for a cancel.
    void check(const std::string& current)
    {
        if (!go_on(current))
            cancelled();
    }
    [[noreturn]] void cancelled() const;

private:
    ArchiverWindow* window_;
    std::string archive_;
    std::uint32_t calls_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace lzh
