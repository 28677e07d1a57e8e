// archive_place_windows.cpp - where an archive is written: its lock and its
// temporary file, through the Windows API.
//
// Runs that update one archive take turns through a named mutex for it (see
// ArchiveLock). The new archive goes to a temporary file beside the old one,
// written, flushed (FlushFileBuffers) and closed, and is then moved over it
// with MoveFileExW (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); a
// new archive is moved without replacing, so one another run created
// meanwhile is never overwritten.
#include "fs/archive_place.h"

#include "fs/file_io.h"
#include "fs/names.h"
#include "fs/windows_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <fcntl.h>
#include <optional>
#include <random>
#include <vector>

namespace lzh {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// FileRenameInfoEx (Windows 10 1607 on), which the headers offer only to
// programs that require that version.
constexpr auto kFileRenameInfoEx = FILE_INFO_BY_HANDLE_CLASS(22);

std::string directory_of(const std::string& path)
{
    const std::size_t sep = path.find_last_of("/\\");
    if (sep == std::string::npos)
        return ".";
    if (sep == 0 || (sep == 2 && path[1] == ':'))
        return path.substr(0, sep + 1);
    return path.substr(0, sep);
}

bool same_file_id(const FileStat& a, const FileStat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/*
 * The existing archive, locked for the whole update so runs that update one
 * archive at once take turns: each reads the archive the one before it left.
 * The lock is a named mutex for the file (its volume's serial number and its
 * file index), not a lock on the file itself: a run waiting on a file lock
 * holds the file open, and Windows replaces no file that is open, so the
 * run holding the lock could never put its archive in place. Once the lock
 * is held the name must still stand for the locked file (the run before
 * replaced it); otherwise the new one is locked in turn. A run that waits
 * asks the window every tenth of a second whether to go on.
 *
 * With no archive there is nothing to lock: the new archive is then put in
 * place only if none appeared meanwhile (see TempFile::commit).
 */
class ArchiveLock {
public:
    ArchiveLock(const std::string& path, ArchiverWindow* window) : path_(path)
    {
        try {
            lock(window);
        } catch (...) {
            release();  // no destructor runs for a constructor that throws
            throw;
        }
    }
    ~ArchiveLock() { release(); }
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    bool exists() const { return exists_; }
    const FileStat& status() const { return st_; }

    bool still_in_place() const
    {
        FileStat now;
        return lstat_path(path_, now) && S_ISREG(now.st_mode) && same_file_id(now, st_);
    }

    void release()
    {
        if (mutex_) {
            if (owned_)
                ::ReleaseMutex(mutex_);
            ::CloseHandle(mutex_);
        }
        mutex_ = nullptr;
        owned_ = false;
    }

private:
    void lock(ArchiverWindow* window)
    {
        const std::string& path = path_;
        for (;;) {
            FileStat st;
            if (!lstat_path(path, st)) {
                if (errno == ENOENT)
                    return;
                throw Error(Message::cannot_stat_archive, {shown_path(path)}, errno);
            }
            check_kind(st);
            st_ = st;
            check_writable();  // no wait for an archive that would be refused after it
            wait(window);
            if (still_in_place())
                break;
            release();  // replaced while this run waited: take the new one
        }
        exists_ = true;
        lstat_path(path, st_);
        check_writable();  // the run before may have left it read-only
    }

    void check_kind(const FileStat& st) const
    {
        if (S_ISLNK(st.st_mode))
            throw Error(Message::archive_path_is_link, {path_});
        if (S_ISDIR(st.st_mode))
            throw Error(Message::archive_path_has_directory, {path_});
        if (!S_ISREG(st.st_mode))
            throw Error(Message::archive_path_not_regular, {path_});
    }

    // A read-only archive is refused rather than replaced, as is one this
    // user may not open for writing.
    void check_writable() const
    {
        if (st_.st_attributes & FILE_ATTRIBUTE_READONLY)
            throw Error(Message::archive_read_only, {shown_path(path_)});
        Handle w(::CreateFileW(long_path(path_).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!w)
            throw Error(Message::archive_not_writable, {shown_path(path_)}, errno_of(::GetLastError()));
    }

    void wait(ArchiverWindow* window)
    {
        wchar_t name[96];
        std::swprintf(name, 96, L"Local\\pelkoran-lzh-%llx-%llx", static_cast<unsigned long long>(st_.st_dev),
                      static_cast<unsigned long long>(st_.st_ino));
        mutex_ = ::CreateMutexW(nullptr, FALSE, name);
        if (!mutex_)
            return;  // no lock to be had: go on as the only run
        for (;;) {
            const DWORD r = ::WaitForSingleObject(mutex_, window ? 100 : INFINITE);
            if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {  // abandoned: its run ended
                owned_ = true;
                return;
            }
            if (r != WAIT_TIMEOUT)
                return;
            Progress p;
            p.archive = path_;
            p.current = message_text(Message::waiting_for_other_run);
            p.waiting = true;
            if (!window->on_progress(p))
                throw Cancelled(Message::cancelled, {path_});
        }
    }

    std::string path_;
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
    bool exists_ = false;  // the archive is there (and locked, where a lock could be made)
    FileStat st_{};
};

// The temporary file, removed unless it was moved into place.
class TempFile {
public:
    TempFile(const std::string& archive, const FileStat* old) : archive_(archive)
    {
        const std::string dir = directory_of(archive);
        const char* sep = (dir.back() == '/' || dir.back() == '\\') ? "" : "/";
        std::random_device rd;
        HANDLE h = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".pelkoran-%08x.tmp", unsigned(rd()));
            path_ = dir + sep + name;
            h = ::CreateFileW(long_path(path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
            if (h != INVALID_HANDLE_VALUE)
                break;
            const DWORD err = ::GetLastError();
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
                throw Error(Message::cannot_create_temp, {shown_path(dir + sep)}, errno_of(err));
        }
        if (h == INVALID_HANDLE_VALUE)
            throw Error(Message::cannot_create_temp, {shown_path(dir)});
        created_ = true;
        handle_status(h, st_);
        if (old) {
            // The old archive's attributes (hidden, archive, not indexed...),
            // so an update changes nothing but the contents.
            FILE_BASIC_INFO basic{};
            basic.FileAttributes =
                old->st_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
            if (basic.FileAttributes == 0)
                basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            ::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
        }
        fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
        if (fd_ < 0) {
            ::CloseHandle(h);
            remove();
            throw Error(Message::cannot_create_temp, {shown_path(path_)}, EMFILE);
        }
    }
    ~TempFile()
    {
        if (fd_ >= 0)
            ::_close(fd_);
        if (!committed_)
            remove();
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int release_fd()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    const FileStat& status() const { return st_; }
    const std::string& path() const { return path_; }

    /*
     * Moves the file over the old archive (`replace`), or to a name where
     * none is: one there means another run created it meanwhile, which
     * throws ArchiveAppeared.
     */
    void commit(bool replace)
    {
        const std::wstring from = long_path(path_);
        const std::wstring to = long_path(archive_);
        if (!replace) {
            if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
                const DWORD err = ::GetLastError();
                if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS)
                    throw ArchiveAppeared{};
                throw Error(Message::cannot_replace_archive, {shown_path(archive_)}, errno_of(err));
            }
        } else if (!replace_with_retries(from, to)) {
            const DWORD err = ::GetLastError();
            if ((err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) || !posix_rename(from, to))
                throw Error(Message::cannot_replace_archive, {shown_path(archive_)}, errno_of(err));
        }
        committed_ = true;
    }

private:
    /*
     * MoveFileExW over the old archive. Another run looking at the archive
     * before it waits for the lock, or a virus scanner or indexer, holds it
     * open for a moment, and the move is refused meanwhile: such refusals
     * are tried again for about two seconds.
     */
    static bool replace_with_retries(const std::wstring& from, const std::wstring& to)
    {
        for (int attempt = 0;; ++attempt) {
            if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            const DWORD err = ::GetLastError();
            if ((err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) || attempt == 40)
                return false;
            ::Sleep(50);
        }
    }

    /*
     * The rename over a file that another program holds open, which
     * MoveFileExW refuses: with POSIX semantics (Windows 10 1607 on, NTFS)
     * the old file goes on living for its handles, as on POSIX systems.
     */
    static bool posix_rename(const std::wstring& from, const std::wstring& to)
    {
        Handle h(::CreateFileW(from.c_str(), DELETE | SYNCHRONIZE | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            return false;
        // The system's own name of the target: "\\?\C:\..." becomes "\??\C:\...".
        std::wstring nt = to;
        if (nt.rfind(L"\\\\?\\", 0) == 0)
            nt[1] = L'?';
        std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFO) + nt.size() * sizeof(wchar_t));
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
        info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        info->RootDirectory = nullptr;
        info->FileNameLength = DWORD(nt.size() * sizeof(wchar_t));
        std::memcpy(info->FileName, nt.data(), nt.size() * sizeof(wchar_t));
        if (!::SetFileInformationByHandle(h.get(), kFileRenameInfoEx, info, DWORD(buf.size())))
            return false;
        ::FlushFileBuffers(h.get());
        return true;
    }

    void remove()
    {
        if (created_)
            ::DeleteFileW(long_path(path_).c_str());
    }

    std::string archive_;
    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
    FileStat st_{};
};

}  // namespace

struct ArchivePlace::Impl {
    Impl(const std::string& archive_path, ArchiverWindow* window)
        : archive(archive_path), lock(archive_path, window)
    {}
    std::string archive;
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

const FileStat& ArchivePlace::status() const
{
    return impl_->lock.status();
}

int ArchivePlace::create_temp()
{
    impl_->temp.emplace(impl_->archive, exists() ? &status() : nullptr);
    return impl_->temp->release_fd();
}

const FileStat& ArchivePlace::temp_status() const
{
    return impl_->temp->status();
}

std::string ArchivePlace::temp_path() const
{
    return impl_->temp->path();
}

bool ArchivePlace::still_in_place() const
{
    return impl_->lock.still_in_place();
}

void ArchivePlace::commit()
{
    impl_->temp->commit(exists());
}

}  // namespace lzh
