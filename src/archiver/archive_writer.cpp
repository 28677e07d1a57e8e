// archive_writer.cpp - creates an LZH archive or rewrites one with new members.
//
// The new archive always goes to a temporary file beside the old one and is
// renamed over it only when it is complete and on the disk, so a failure at
// any point leaves the old archive (or its absence) exactly as it was.
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
#include <cstring>
#include <fcntl.h>
#include <deque>
#include <memory>
#include <random>
#include <string_view>
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
    return e.kind == NewEntry::Kind::symlink ? encode_names(e.stored_path, e.link_target)
                                             : encode_names(e.stored_path);
}

// The temporary file, removed unless it was renamed into place.
class TempFile {
public:
    TempFile(const std::string& archive_path, const struct stat* old)
    {
        const std::string dir = directory_of(archive_path);
        std::random_device rd;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%08x", unsigned(rd()));
            std::string candidate = dir + "/." + base_of(archive_path) + "." + suffix + ".tmp";
            int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                            0666);
            if (fd >= 0) {
                path_ = candidate;
                fd_ = fd;
                break;
            }
            if (errno != EEXIST)
                throw Error(describe_errno("書庫の一時ファイルを作れません", dir + "/", errno));
        }
        if (fd_ < 0)
            throw Error("書庫の一時ファイルを作れません: " + dir);
        ::fstat(fd_, &st_);
        if (old && ::fchmod(fd_, old->st_mode & 07777) != 0) {
            int err = errno;
            ::close(fd_);
            ::unlink(path_.c_str());
            throw Error(describe_errno("書庫の一時ファイルを作れません", path_, err));
        }
    }
    ~TempFile()
    {
        if (!committed_)
            ::unlink(path_.c_str());
    }
    int release_fd()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void commit(const std::string& archive_path)
    {
        if (::rename(path_.c_str(), archive_path.c_str()) != 0)
            throw Error(describe_errno("書庫を置き換えられません", archive_path, errno));
        committed_ = true;
        // Make the rename itself durable; a failure here loses nothing.
        int dfd = ::open(directory_of(archive_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }
    const std::string& path() const { return path_; }
    const struct stat& status() const { return st_; }

private:
    std::string path_;
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
        FileSource src(e.source_path);
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

UpdateReport update_archive(const std::string& archive_path, const std::vector<NewEntry>& entries,
                            const WriteOptions& options, ArchiverWindow* window)
{
    UpdateReport report;

    // The old archive, if any, must be a sound LZH archive.
    struct stat old_st {};
    bool exists = false;
    if (::lstat(archive_path.c_str(), &old_st) == 0) {
        exists = true;
        if (S_ISLNK(old_st.st_mode))
            throw Error("書庫のパスがシンボリックリンクのため書き込みません: " + archive_path);
        if (S_ISDIR(old_st.st_mode))
            throw Error("書庫のパスにディレクトリがあるため書き込みません: " + archive_path);
        if (!S_ISREG(old_st.st_mode))
            throw Error("書庫のパスに通常のファイル以外のものがあるため書き込みません: " +
                        archive_path);
    } else if (errno != ENOENT) {
        throw Error(describe_errno("書庫の情報を読めません", archive_path, errno));
    }
    std::optional<ArchiveReader> reader;
    std::vector<MemberHeader> old_members;
    if (exists) {
        reader.emplace(archive_path);
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
            key = other_keys.emplace_back(decode_name(names.path, names.code_page));
        keys.emplace_back(key, fresh.size());
        fresh.push_back(&e);
    }
    // The same stored path twice: the first one wins.
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<bool> placed(fresh.size(), false);
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].first == keys[i - 1].first) {
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
        const auto* found = find_key(decode_name(h.path, h.code_page));
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

    TempFile temp(archive_path, exists ? &old_st : nullptr);
    FileSink sink(temp.release_fd(), temp.path());
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
    temp.commit(archive_path);
    return report;
}

}  // namespace lzh
