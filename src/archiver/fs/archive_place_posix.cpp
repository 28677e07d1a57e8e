// archive_place_posix.cpp - where an archive is written: its directory, its
// lock and its temporary file, through POSIX calls.
#include "fs/archive_place.h"

#include "fs/file_io.h"
#include "fs/names.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace lzh {

namespace {

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
            throw Error(Message::cannot_create_temp, {shown_path(dir_ + "/")}, errno);
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
                throw Error(Message::cannot_stat_archive, {shown_path(path)}, errno);
            }
            check_kind(st, path);
            const int fd =
                ::openat(dir.fd(), dir.base(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT || errno == ELOOP)
                    continue;  // gone or swapped since the lstat: look again
                throw Error(Message::cannot_open_archive, {shown_path(path)}, errno);
            }
            fd_ = fd;
            ::fstat(fd_, &st_);
            if (!S_ISREG(st_.st_mode) || !same_inode(st_, st)) {
                release();
                continue;
            }
            check_writable(dir);  // no wait for an archive that would be refused after it
            wait(path, window);
            struct stat now {};
            if (dir.status(now) && same_inode(now, st_))
                break;
            release();  // replaced while this run waited: take the new one
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
            throw Error(Message::archive_read_only, {shown_path(dir.archive())});
        if (::faccessat(dir.fd(), dir.base(), W_OK, AT_EACCESS) != 0)
            throw Error(Message::archive_not_writable, {shown_path(dir.archive())}, errno);
    }

    static bool same_inode(const struct stat& a, const struct stat& b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    static void check_kind(const struct stat& st, const std::string& path)
    {
        if (S_ISLNK(st.st_mode))
            throw Error(Message::archive_path_is_link, {path});
        if (S_ISDIR(st.st_mode))
            throw Error(Message::archive_path_has_directory, {path});
        if (!S_ISREG(st.st_mode))
            throw Error(Message::archive_path_not_regular, {path});
    }

    void wait(const std::string& path, ArchiverWindow* window)
    {
        for (;;) {
            if (::flock(fd_, window ? LOCK_EX | LOCK_NB : LOCK_EX) == 0)
                return;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return;  // a file system without locks: go on as the only run
            Progress p;
            p.archive = path;
            // Shown as the current file while another run holds the archive.
            p.current = message_text(Message::waiting_for_other_run);
            p.waiting = true;
            if (!window->on_progress(p))
                throw Cancelled(Message::cancelled, {path});
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
                throw Error(Message::cannot_create_temp, {shown_path(dir.dir() + "/")}, errno);
        }
        if (fd_ < 0)
            throw Error(Message::cannot_create_temp, {dir.dir()});
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
                throw Error(Message::cannot_replace_archive, {shown_path(archive)}, errno);
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
            throw Error(Message::cannot_create_temp, {shown_path(path())}, errno);
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
            throw Error(Message::cannot_replace_archive, {shown_path(archive)}, errno);
        // A file system without the no-replace rename: a hard link never
        // replaces either; the temporary name then goes.
        if (::linkat(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base(), 0) == 0) {
            ::unlinkat(dir_.fd(), name_.c_str(), 0);
            return true;
        }
        if (errno == EEXIST)
            return false;
        if (errno != EPERM && errno != EOPNOTSUPP)
            throw Error(Message::cannot_replace_archive, {shown_path(archive)}, errno);
        // Nor hard links: the last look and the rename are as close as it gets.
        struct stat st {};
        if (dir_.status(st))
            return false;
        if (errno != ENOENT)
            throw Error(Message::cannot_stat_archive, {shown_path(archive)}, errno);
        if (::renameat(dir_.fd(), name_.c_str(), dir_.fd(), dir_.base()) != 0)
            throw Error(Message::cannot_replace_archive, {shown_path(archive)}, errno);
        return true;
    }

    const ArchiveDir& dir_;
    std::string name_;
    int fd_ = -1;
    struct stat st_ {};
    bool committed_ = false;
};

}  // namespace

struct ArchivePlace::Impl {
    Impl(const std::string& archive_path, ArchiverWindow* window) : dir(archive_path), lock(dir, window) {}
    ArchiveDir dir;
    ArchiveLock lock;
    std::optional<TempFile> temp;
};

ArchivePlace::ArchivePlace(const std::string& archive_path, ArchiverWindow* window)
    : impl_(std::make_unique<Impl>(archive_path, window))
{}

ArchivePlace::~ArchivePlace() = default;

bool ArchivePlace::exists() const
{
    return impl_->lock.exists();
}

const struct stat& ArchivePlace::status() const
{
    return impl_->lock.status();
}

int ArchivePlace::create_temp()
{
    impl_->temp.emplace(impl_->dir, exists() ? &status() : nullptr);
    return impl_->temp->release_fd();
}

const struct stat& ArchivePlace::temp_status() const
{
    return impl_->temp->status();
}

std::string ArchivePlace::temp_path() const
{
    return impl_->temp->path();
}

bool ArchivePlace::still_in_place() const
{
    return impl_->lock.still_in_place(impl_->dir);
}

void ArchivePlace::commit()
{
    impl_->temp->commit(exists());
}

}  // namespace lzh
