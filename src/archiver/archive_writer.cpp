// archive_writer.cpp - creates an LZH archive or rewrites one with new members.
//
// The new archive always goes to a temporary file beside the old one and is
// renamed over it only when it is complete and on the disk, so a failure at
// any point leaves the old archive (or its absence) exactly as it was.
// Runs that update one archive at once take turns through a lock on it, and
// a new archive never replaces one another run created meanwhile.
//
// Each file member is written as: a placeholder header, the coded data as the
// encoder produces it, then the real header written over the placeholder once
// the sizes and the CRC of what was actually read are known. The level-2
// header's length does not depend on the sizes, so the placeholder always has
// the right length.
#include "archive_writer.h"

#include "archive_reader.h"
#include "crc16.h"
#include "file_io.h"
#include "header.h"
#include "member_coder.h"
#include "names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace lzh {

namespace {

constexpr std::size_t kReadChunk = std::size_t(1) << 20;
constexpr std::uint64_t kProgressStep = std::uint64_t(4) << 20;

std::string directory_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_file(const EntryStat& a, const EntryStat& b)
{
    return a.dev == b.dev && a.ino == b.ino;
}

// A member to write: an old one copied as it is, or a new entry.
struct PlannedMember {
    const MemberHeader* old = nullptr;
    const NewEntry* entry = nullptr;
};

StoredNames names_of(const NewEntry& e)
{
    return encode_names(e.stored_path, e.link_target, e.kind == NewEntry::Kind::directory);
}

/*
 * The directory that holds the archive, held open: the lock, the temporary
 * file and the rename all go through it, so they act on one directory
 * whatever happens to the path meanwhile.
 */
class ArchiveDir {
public:
    explicit ArchiveDir(const std::string& archive_path)
        : archive_(archive_path), dir_(directory_of(archive_path)), base_(base_of(archive_path))
    {
        fd_ = ::open(dir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0)
            throw Error(describe_errno("書庫の一時ファイルを作れません", dir_ + "/", errno));
    }
    ~ArchiveDir() { ::close(fd_); }
    ArchiveDir(const ArchiveDir&) = delete;
    ArchiveDir& operator=(const ArchiveDir&) = delete;

    int fd() const { return fd_; }
    const char* base() const { return base_.c_str(); }
    const std::string& dir() const { return dir_; }
    const std::string& archive() const { return archive_; }

    // What the archive's name stands for now (lstat); false with errno set.
    bool status(struct stat& st) const { return ::fstatat(fd_, base(), &st, AT_SYMLINK_NOFOLLOW) == 0; }

private:
    std::string archive_;
    std::string dir_;
    std::string base_;
    int fd_ = -1;
};

// Another run created the archive while this one wrote a new one: the
// update starts over, this time on the archive that is there.
struct ArchiveAppeared {};

// Tried once more after another run created the archive first.
constexpr int kMaxAttempts = 3;

// Shown as the current file while another run holds the archive.
constexpr std::string_view kWaitingText = "他の実行がこの書庫を書き終えるのを待っています";

/*
 * The existing archive, opened and locked (flock, exclusive) for the whole
 * update, so runs that update one archive at once take turns: each reads the
 * archive the one before it left. A run that waits asks the window every
 * tenth of a second whether to go on. Once the lock is held the name must
 * still stand for the locked file (the run before may have renamed a new
 * archive over it); otherwise the new one is opened and locked in turn.
 *
 * With no archive there is nothing to lock: the new archive is then put in
 * place only if none appeared meanwhile (see TempFile::commit).
 */
class ArchiveLock {
public:
    ArchiveLock(const ArchiveDir& dir, ArchiverWindow* window)
    {
        try {
            lock(dir, window);
        } catch (...) {
            release();
            throw;
        }
    }
    ~ArchiveLock() { release(); }
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    bool exists() const { return fd_ >= 0; }
    const struct stat& status() const { return st_; }

    // Whether the archive's name still stands for the locked file.
    bool still_in_place(const ArchiveDir& dir) const
    {
        struct stat now {};
        return dir.status(now) && same_inode(now, st_);
    }

    // Closing the file gives up the lock.
    void release()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    void lock(const ArchiveDir& dir, ArchiverWindow* window)
    {
        const std::string& path = dir.archive();
        for (;;) {
            struct stat st {};
            if (!dir.status(st)) {
                if (errno == ENOENT) {
                    st_ = {};
                    return;
                }
                throw Error(describe_errno("書庫の情報を読めません", path, errno));
            }
            check_kind(st, path);
            const int fd = ::openat(dir.fd(), dir.base(),
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT || errno == ELOOP)
                    continue;   // gone or swapped since the lstat: look again
                throw Error(describe_errno("書庫を開けません", path, errno));
            }
            fd_ = fd;
            ::fstat(fd_, &st_);
            if (!S_ISREG(st_.st_mode) || !same_inode(st_, st)) {
                release();
                continue;
            }
            check_writable(dir);   // no wait for an archive that would be refused after it
            wait(path, window);
            struct stat now {};
            if (dir.status(now) && same_inode(now, st_))
                break;
            release();   // replaced while this run waited: take the new one
        }
        ::fstat(fd_, &st_);
        check_writable(dir);
    }

    /*
     * An archive marked read-only (no write bit at all, which root would
     * otherwise pass over) or one this user may not write is refused here
     * rather than replaced: renaming over it needs only the directory's
     * permission, not the file's.
     */
    void check_writable(const ArchiveDir& dir) const
    {
        if ((st_.st_mode & 0222) == 0)
            throw Error("書庫が読み取り専用のため書き込みません: " + shown_path(dir.archive()));
        if (::faccessat(dir.fd(), dir.base(), W_OK, AT_EACCESS) != 0)
            throw Error(describe_errno("書庫に書き込めません", dir.archive(), errno));
    }

    static bool same_inode(const struct stat& a, const struct stat& b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    static void check_kind(const struct stat& st, const std::string& path)
    {
        if (S_ISLNK(st.st_mode))
            throw Error("書庫のパスがシンボリックリンクのため書き込みません: " + path);
        if (S_ISDIR(st.st_mode))
            throw Error("書庫のパスにディレクトリがあるため書き込みません: " + path);
        if (!S_ISREG(st.st_mode))
            throw Error("書庫のパスに通常のファイル以外のものがあるため書き込みません: " + path);
    }

    void wait(const std::string& path, ArchiverWindow* window)
    {
        for (;;) {
            if (::flock(fd_, window ? LOCK_EX | LOCK_NB : LOCK_EX) == 0)
                return;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return;   // a file system without locks: go on as the only run
            Progress p;
            p.archive = path;
            p.current = kWaitingText;
            p.waiting = true;
            if (!window->on_progress(p))
                throw Cancelled("中止しました: " + path);
            ::usleep(100000);
        }
    }

    int fd_ = -1;
    struct stat st_ {};
};

/*
 * The temporary file, removed unless it was renamed into place. Its name has
 * a fixed length, so it fits wherever the archive's name fits.
 */
class TempFile {
public:
    TempFile(const ArchiveDir& dir, const struct stat* old) : dir_(dir)
    {
        std::random_device rd;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".pelkoran-%08x.tmp", unsigned(rd()));
            int fd = ::openat(dir.fd(), name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd >= 0) {
                name_ = name;
                fd_ = fd;
                break;
            }
            if (errno != EEXIST)
                throw Error(describe_errno("書庫の一時ファイルを作れません", dir.dir() + "/", errno));
        }
        if (fd_ < 0)
            throw Error("書庫の一時ファイルを作れません: " + dir.dir());
        ::fstat(fd_, &st_);
        if (old) {
            try {
                take_over(*old);
            } catch (...) {
                ::close(fd_);
                ::unlinkat(dir.fd(), name_.c_str(), 0);
                throw;
            }
        }
    }
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            ::unlinkat(dir_.fd(), name_.c_str(), 0);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int release_fd()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

    /*
     * Puts the archive in place. Over an old archive (`replace`) that is a
     * rename; a new archive never replaces one that another run created
     * meanwhile, which throws ArchiveAppeared instead.
     */
    void commit(bool replace)
    {
        const std::string& archive = dir_.archive();
        if (replace) {
            if (::renameat(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base()) != 0)
                throw Error(describe_errno("書庫を置き換えられません", archive, errno));
        } else if (!create_name()) {
            throw ArchiveAppeared{};
        }
        committed_ = true;
        // Make the rename itself durable; a failure here loses nothing.
        int dfd = ::open(dir_.dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }
    std::string path() const { return dir_.dir() + "/" + name_; }
    const struct stat& status() const { return st_; }

private:
    /*
     * The old archive's owner, group and mode, so that an update (by root
     * of another user's archive, say) changes nothing but the contents.
     * Owner and group are kept as far as this user may set them.
     */
    void take_over(const struct stat& old)
    {
        if (old.st_uid != st_.st_uid || old.st_gid != st_.st_gid)
            if (::fchown(fd_, old.st_uid, old.st_gid) != 0 && old.st_gid != st_.st_gid)
                (void)::fchown(fd_, uid_t(-1), old.st_gid);
        if (::fchmod(fd_, old.st_mode & 07777) != 0)
            throw Error(describe_errno("書庫の一時ファイルを作れません", path(), errno));
    }

    // Gives the temporary file the archive's name unless that name exists;
    // false when it does.
    bool create_name()
    {
        const std::string& archive = dir_.archive();
        if (::renameat2(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno != EINVAL && errno != ENOSYS)
            throw Error(describe_errno("書庫を置き換えられません", archive, errno));
        // A file system without the no-replace rename: a hard link never
        // replaces either; the temporary name then goes.
        if (::linkat(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base(), 0) == 0) {
            ::unlinkat(dir_.fd(), name_.c_str(), 0);
            return true;
        }
        if (errno == EEXIST)
            return false;
        if (errno != EPERM && errno != EOPNOTSUPP)
            throw Error(describe_errno("書庫を置き換えられません", archive, errno));
        // Nor hard links: the last look and the rename are as close as it gets.
        struct stat st {};
        if (dir_.status(st))
            return false;
        if (errno != ENOENT)
            throw Error(describe_errno("書庫の情報を読めません", archive, errno));
        if (::renameat(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base()) != 0)
            throw Error(describe_errno("書庫を置き換えられません", archive, errno));
        return true;
    }

    const ArchiveDir& dir_;
    std::string name_;
    int fd_ = -1;
    struct stat st_ {};
    bool committed_ = false;
};

class Writer {
public:
    Writer(const std::string& archive, FileSink& sink, const WriteOptions& options,
           ArchiverWindow* window, std::uint64_t total, UpdateReport& report)
        : archive_(archive), sink_(sink), options_(options), window_(window), total_(total),
          report_(report)
    {
    }

    // Tells the window where we are; a false answer cancels.
    void progress(const std::string& current, bool force)
    {
        if (!window_ || (!force && done_ - last_report_ < kProgressStep))
            return;
        last_report_ = done_;
        Progress p;
        p.archive = archive_;
        p.current = current;
        p.done = done_;
        p.total = total_;
        if (!window_->on_progress(p))
            throw Cancelled("中止しました: " + archive_);
    }

    void copy_old(ArchiveReader& reader, const MemberHeader& h)
    {
        const std::string shown = decode_name(h.path, h.code_page);
        progress(shown, true);
        reader.copy_raw(h.header_offset, h.end_offset() - h.header_offset, sink_);
        done_ += h.end_offset() - h.header_offset;
    }

    /*
     * Writes one new member. Returns false when the file turns out to be the
     * archive or its temporary file (`own_files`), which are never packed.
     */
    bool write_entry(const NewEntry& e, const StoredNames& names)
    {
        progress(e.stored_path, true);
        MemberHeader h;
        h.path = names.path;
        h.code_page = names.code_page;
        h.mtime = e.st.mtime;
        // No owner ids: numbers of this machine's users mean nothing where the
        // archive is opened (a reader running as root would hand the files to
        // whoever has those numbers there), and they cost 7 bytes a member.
        h.unix_mode = std::uint16_t(e.st.mode & 0xFFFF);
        if (e.kind != NewEntry::Kind::file) {
            std::memcpy(h.method, kLhd.id, sizeof h.method);
            h.is_directory = e.kind == NewEntry::Kind::directory;
            h.is_symlink = e.kind == NewEntry::Kind::symlink;
            h.link_target = names.link_target;
            std::vector<std::uint8_t> header = build_level2_header(h);
            sink_.write(header.data(), header.size());
            return true;
        }
        return write_file(e, h);
    }

    std::vector<EntryStat> own_files;
    MemberCoder* coder = nullptr;   // codes small files ahead on other threads (may be null)

private:
    // Writes a member the coder prepared in memory: the same bytes the
    // streaming path below would write.
    bool write_precoded(const NewEntry& e, MemberHeader& h, MemberCoder::Result& r)
    {
        if (r.own)
            return false;
        std::memcpy(h.method, r.coded ? options_.method->id : kLh0.id, sizeof h.method);
        h.packed_size = r.data.size();
        h.original_size = r.size;
        h.data_crc = r.crc;
        std::vector<std::uint8_t> header = build_level2_header(h);
        sink_.write(header.data(), header.size());
        sink_.write(r.data.data(), r.data.size());
        done_ += r.size;
        progress(e.stored_path, false);
        report_.bytes_in += r.size;
        return true;
    }

    /*
     * Codes one file after its placeholder header, falls back to storing it
     * when coding does not pay (or leaves fewer than 8 bytes), then writes the
     * real header over the placeholder.
     */
    bool write_file(const NewEntry& e, MemberHeader& h)
    {
        if (coder)
            if (std::unique_ptr<MemberCoder::Result> r = coder->take(&e); r && !r->too_large)
                return write_precoded(e, h, *r);
        FileSource src(e.source_path, e.root, e.follow_link);
        // Checked on the open file: a stale stat from the walk could carry an
        // inode number that has since been reused.
        for (const EntryStat& own : own_files)
            if (same_file(src.status(), own))
                return false;
        if (std::uint64_t(src.status().st_size) > kMax32)
            throw Error("4 GiB 以上のファイルは格納できません: " + shown_path(e.source_path));

        std::uint8_t* const buf = read_buffer();
        const std::uint64_t header_at = sink_.offset();
        std::vector<std::uint8_t> placeholder = build_level2_header(h);
        sink_.write(placeholder.data(), placeholder.size());
        const std::uint64_t data_at = sink_.offset();
        const std::uint64_t expected = std::uint64_t(src.status().st_size);

        bool stored = true;
        const bool coding_pass = options_.method->coded && expected > 0;
        std::uint64_t size1 = 0;
        std::uint16_t crc1 = 0;
        if (coding_pass) {
            Encoder encoder(*options_.method, options_.effort, sink_, expected);
            bool gave_up = false;
            while (std::size_t n = src.read(buf, kReadChunk)) {
                size1 += n;
                check_size(size1, e);
                crc1 = crc16_update(crc1, buf, n);
                const bool pays = feed_member(encoder, buf, n, size1 - n, expected);
                done_ += n;
                progress(e.stored_path, false);
                if (!pays) {
                    gave_up = true;   // already longer than the file: store it
                    break;
                }
            }
            if (gave_up) {
                // Read on without coding, so the re-read below can be checked
                // against the whole first pass.
                while (std::size_t n = src.read(buf, kReadChunk)) {
                    size1 += n;
                    check_size(size1, e);
                    crc1 = crc16_update(crc1, buf, n);
                    done_ += n;
                    progress(e.stored_path, false);
                }
            } else {
                encoder.finish();
                const std::uint64_t coded = sink_.offset() - data_at;
                stored = coded >= size1 || coded < kMinCodedSize;
                if (!stored) {
                    std::memcpy(h.method, options_.method->id, sizeof h.method);
                    h.packed_size = coded;
                    h.original_size = size1;
                    h.data_crc = crc1;
                }
            }
        }
        if (stored) {
            // A second pass over the file: its bytes already count as done.
            if (coding_pass) {
                sink_.truncate(data_at);
                src.rewind();
            }
            std::uint64_t size2 = 0;
            std::uint16_t crc2 = 0;
            while (std::size_t n = src.read(buf, kReadChunk)) {
                size2 += n;
                check_size(size2, e);
                crc2 = crc16_update(crc2, buf, n);
                sink_.write(buf, n);
                if (!coding_pass)
                    done_ += n;
                progress(e.stored_path, coding_pass && size2 % kProgressStep < n);
            }
            if (coding_pass && (size2 != size1 || crc2 != crc1))
                throw Error("読み取り中にファイルが変更されました: " + shown_path(e.source_path));
            std::memcpy(h.method, kLh0.id, sizeof h.method);
            h.packed_size = size2;
            h.original_size = size2;
            h.data_crc = crc2;
        }
        report_.bytes_in += h.original_size;
        std::vector<std::uint8_t> header = build_level2_header(h);
        if (header.size() != placeholder.size())
            throw Error("内部エラー: ヘッダーの長さが変わりました: " + shown_path(e.source_path));
        sink_.write_at(header_at, header.data(), header.size());
        return true;
    }

    // The buffer of the streaming path, made on first use and left as it
    // comes: when the coder prepares every member it is never touched.
    std::uint8_t* read_buffer()
    {
        if (!buf_)
            buf_ = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunk);
        return buf_.get();
    }

    void check_size(std::uint64_t size, const NewEntry& e)
    {
        if (size > kMax32)
            throw Error("4 GiB 以上のファイルは格納できません: " + shown_path(e.source_path));
    }

    const std::string& archive_;
    FileSink& sink_;
    const WriteOptions& options_;
    ArchiverWindow* window_;
    std::uint64_t total_;
    UpdateReport& report_;
    std::unique_ptr<std::uint8_t[]> buf_;
    std::uint64_t done_ = 0;
    std::uint64_t last_report_ = 0;
};

}  // namespace

namespace {

// One attempt of update_archive.
UpdateReport update_once(const std::string& archive_path, const std::vector<NewEntry>& entries,
                         const WriteOptions& options, ArchiverWindow* window)
{
    UpdateReport report;

    // The old archive, if any, locked, and it must be a sound LZH archive.
    const ArchiveDir dir(archive_path);
    ArchiveLock lock(dir, window);
    const bool exists = lock.exists();
    const struct stat old_st = lock.status();
    std::optional<ArchiveReader> reader;
    std::vector<MemberHeader> old_members;
    if (exists) {
        reader.emplace(archive_path);
        if (reader->status().st_dev != old_st.st_dev || reader->status().st_ino != old_st.st_ino)
            throw Error("書庫が他のプログラムに置き換えられました: " + shown_path(archive_path));
        try {
            old_members = reader->members();
        } catch (const DataError& e) {
            throw Error(std::string("既存のファイルを上書きしません: ") + e.what());
        }
    }

    // Names first: a name that cannot be stored fails before anything is written.
    // The plan holds only pointers and the keys are views of the stored paths
    // where those are UTF-8 already (decoding gives them back exactly), so a
    // walk of a hundred thousand files costs little beyond the entries; the
    // names are encoded again, one at a time, as they are written.
    std::vector<const NewEntry*> fresh;
    std::deque<std::string> other_keys;
    std::vector<std::pair<std::string_view, std::size_t>> keys;   // UTF-8 path, index in fresh
    std::uint64_t total = 0;
    for (const NewEntry& e : entries) {
        if (exists && same_file(e.st, old_st)) {
            ++report.skipped;
            continue;
        }
        const StoredNames names = names_of(e);
        if (names.path.size() + names.link_target.size() > 65000) {
            // Near the 65535-byte limit of a header: let the header writer judge now.
            MemberHeader h;
            h.path = names.path;
            h.code_page = names.code_page;
            h.is_symlink = e.kind == NewEntry::Kind::symlink;
            h.link_target = names.link_target;
            build_level2_header(h);
        }
        if (e.kind == NewEntry::Kind::symlink && e.link_target.empty())
            throw Error("シンボリックリンクの参照先が空です: " + shown_path(e.source_path));
        if (e.kind == NewEntry::Kind::file && e.st.size > kMax32)
            throw Error("4 GiB 以上のファイルは格納できません: " + shown_path(e.source_path));
        std::string_view key = e.stored_path;
        if (!is_valid_utf8(key))
            key = other_keys.emplace_back(name_key(names.path, names.code_page));
        keys.emplace_back(key, fresh.size());
        fresh.push_back(&e);
    }
    // The same stored path twice: the same file is written once; two files
    // whose names read alike in the archive (a UTF-8 name and the same name
    // in CP932 bytes) fail the item, since one would hide the other.
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<bool> placed(fresh.size(), false);
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].first == keys[i - 1].first) {
            const NewEntry& first = *fresh[keys[i - 1].second];
            const NewEntry& again = *fresh[keys[i].second];
            if (again.source_path != first.source_path) {
                const auto shown = [](const std::string& path) {
                    return shown_path(path) + (is_valid_utf8(path) ? "" : " (UTF-8 ではない名前)");
                };
                throw Error("書庫の中で同じ名前になるものが 2 つあります: " + shown(first.source_path) +
                            " と " + shown(again.source_path));
            }
            placed[keys[i].second] = true;   // never written
            ++report.skipped;
        }
    for (std::size_t i = 0; i < fresh.size(); ++i)
        if (!placed[i] && fresh[i]->kind == NewEntry::Kind::file)
            total += fresh[i]->st.size;
    auto find_key = [&](std::string_view key) -> const std::pair<std::string_view, std::size_t>* {
        auto it = std::lower_bound(keys.begin(), keys.end(), key,
                                   [](const auto& x, std::string_view k) { return x.first < k; });
        return it != keys.end() && it->first == key ? &*it : nullptr;
    };

    // Old members keep their places; a replaced one takes its new content.
    std::vector<PlannedMember> plan;
    plan.reserve(old_members.size() + fresh.size());
    for (const MemberHeader& h : old_members) {
        const auto* found = find_key(name_key(h.path, h.code_page));
        if (!found) {
            plan.push_back({&h, nullptr});
            total += h.end_offset() - h.header_offset;
            ++report.kept;
        } else if (!placed[found->second]) {
            placed[found->second] = true;
            plan.push_back({nullptr, fresh[found->second]});
            ++report.replaced;
        }
    }
    for (std::size_t i = 0; i < fresh.size(); ++i)
        if (!placed[i]) {
            plan.push_back({nullptr, fresh[i]});
            ++report.added;
        }
    std::vector<const NewEntry*>().swap(fresh);
    std::vector<std::pair<std::string_view, std::size_t>>().swap(keys);
    other_keys.clear();

    TempFile temp(dir, exists ? &old_st : nullptr);
    // Write errors name the archive: the temporary file is gone by the time
    // the user reads the reason.
    FileSink sink(temp.release_fd(), archive_path);
    Writer writer(archive_path, sink, options, window, total, report);
    writer.own_files.push_back(temp.status());
    if (exists)
        writer.own_files.push_back(old_st);
    // Small files are coded ahead, on other threads and on this one while it
    // would wait, and written here in order.
    std::optional<MemberCoder> coder;
    if (const unsigned threads = coder_threads(options.threads); threads > 1) {
        std::vector<const NewEntry*> order;
        for (const PlannedMember& m : plan)
            if (m.entry)
                order.push_back(m.entry);
        coder.emplace(options, threads, order, writer.own_files);
        writer.coder = &*coder;
    }
    for (const PlannedMember& m : plan) {
        if (m.old) {
            writer.copy_old(*reader, *m.old);
            continue;
        }
        if (!writer.write_entry(*m.entry, names_of(*m.entry)))
            ++report.skipped;
    }
    const std::uint8_t end_mark = 0;
    sink.write(&end_mark, 1);
    writer.progress("", true);
    report.bytes_out = sink.offset();
    sink.sync();
    sink.close();
    // The last chance to cancel: the archive is complete but not yet in place.
    writer.progress("", true);
    // Runs that update an archive take the lock first; a program that does
    // not, and replaced or removed the archive meanwhile, keeps its file.
    if (exists && !lock.still_in_place(dir))
        throw Error("書庫が他のプログラムに置き換えられました: " + shown_path(archive_path));
    temp.commit(exists);
    return report;
}

}  // namespace

UpdateReport update_archive(const std::string& archive_path, const std::vector<NewEntry>& entries,
                            const WriteOptions& options, ArchiverWindow* window)
{
    for (int attempt = 1;; ++attempt) {
        try {
            return update_once(archive_path, entries, options, window);
        } catch (const ArchiveAppeared&) {
            // Another run created the archive first: add to what it wrote.
            if (attempt == kMaxAttempts)
                throw Error("他の実行が同じ書庫を作り続けるため書き込めません: " + shown_path(archive_path));
        }
    }
}

}  // namespace lzh
