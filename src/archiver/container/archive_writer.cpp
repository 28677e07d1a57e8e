// archive_writer.cpp - creates an LZH archive or rewrites one with new members.
//
// The new archive goes to a temporary file and takes the archive's place
// only when it is complete (see archive_place.h).
//
// Each file member is written as: a placeholder header, the coded data as the
// encoder produces it, then the real header written over the placeholder once
// the sizes and the CRC of what was actually read are known. The level-2
// header's length does not depend on the sizes, so the placeholder always has
// the right length.
#include "container/archive_writer.h"

#include "container/archive_reader.h"
#include "container/crc16.h"
#include "container/header.h"
#include "container/member_coder.h"
#include "fs/archive_place.h"
#include "fs/file_io.h"
#include "fs/names.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>

namespace lzh {

namespace {

constexpr std::size_t kReadChunk = std::size_t(1) << 20;
constexpr std::uint64_t kProgressStep = std::uint64_t(4) << 20;

// A member to write: an old one copied as it is, or a new entry.
struct PlannedMember {
    const MemberHeader* old = nullptr;
    const NewEntry* entry = nullptr;
};

StoredNames names_of(const NewEntry& e)
{
    return encode_names(e.stored_path(), e.link_target, e.kind == NewEntry::Kind::directory);
}

class Writer {
public:
    Writer(const std::string& archive, FileSink& sink, const WriteOptions& options, ArchiverWindow* window,
           std::uint64_t total, UpdateReport& report)
        : archive_(archive), sink_(sink), options_(options), window_(window), total_(total), report_(report)
    {}

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
            throw Cancelled(Message::cancelled, {archive_});
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
        progress(e.stored_path(), true);
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
    MemberCoder* coder = nullptr;  // codes small files ahead on other threads (may be null)

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
        progress(e.stored_path(), false);
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
        FileSource src(e.source_path(), e.root, e.follow_link);
        // Checked on the open file: a stale stat from the walk could carry an
        // inode number that has since been reused.
        for (const EntryStat& own : own_files)
            if (same_file(src.status(), own))
                return false;
        if (std::uint64_t(src.status().st_size) > kMax32)
            throw Error(Message::file_of_4gib, {shown_path(e.source_path())});

        const std::uint64_t header_at = sink_.offset();
        std::vector<std::uint8_t> placeholder = build_level2_header(h);
        sink_.write(placeholder.data(), placeholder.size());
        const std::uint64_t data_at = sink_.offset();
        const bool coding_pass = options_.method->coded && src.status().st_size > 0;
        Pass first;
        if (!coding_pass || !code_file(src, e, h, first))
            store_file(src, e, h, data_at, coding_pass ? &first : nullptr);
        report_.bytes_in += h.original_size;
        std::vector<std::uint8_t> header = build_level2_header(h);
        if (header.size() != placeholder.size())
            throw Error(Message::header_length_changed, {shown_path(e.source_path())});
        sink_.write_at(header_at, header.data(), header.size());
        return true;
    }

    // What one pass over a file read.
    struct Pass {
        std::uint64_t size = 0;
        std::uint16_t crc = 0;
    };

    // Adds `n` more bytes of `e`, read into `buf`, to `pass`.
    void count(Pass& pass, const std::uint8_t* buf, std::size_t n, const NewEntry& e)
    {
        pass.size += n;
        check_size(pass.size, e);
        pass.crc = crc16_update(pass.crc, buf, n);
    }

    /*
     * Codes `src` to the sink, right after the placeholder header. True, with
     * `h` filled in, when coding pays; false when the file is to be stored
     * instead, with `first` holding the size and CRC of the whole file as
     * read (the store's second pass is checked against it).
     */
    bool code_file(FileSource& src, const NewEntry& e, MemberHeader& h, Pass& first)
    {
        std::uint8_t* const buf = read_buffer();
        const std::uint64_t data_at = sink_.offset();
        const std::uint64_t expected = std::uint64_t(src.status().st_size);
        Encoder encoder(*options_.method, options_.effort, sink_, expected);
        while (std::size_t n = src.read(buf, kReadChunk)) {
            count(first, buf, n, e);
            const bool pays = feed_member(encoder, buf, n, first.size - n, expected);
            done_ += n;
            progress(e.stored_path(), false);
            if (!pays) {
                // Already longer than the file: it is stored. Read on without
                // coding, so the re-read can be checked against the whole
                // first pass.
                while (std::size_t more = src.read(buf, kReadChunk)) {
                    count(first, buf, more, e);
                    done_ += more;
                    progress(e.stored_path(), false);
                }
                return false;
            }
        }
        encoder.finish();
        const std::uint64_t coded = sink_.offset() - data_at;
        if (!coding_pays(coded, first.size))
            return false;
        std::memcpy(h.method, options_.method->id, sizeof h.method);
        h.packed_size = coded;
        h.original_size = first.size;
        h.data_crc = first.crc;
        return true;
    }

    /*
     * Stores `src` from `data_at` on. After a coding pass (`first`) what it
     * wrote is cut off and the file read again, its bytes already counted as
     * done; a file that changed between the passes fails.
     */
    void store_file(FileSource& src, const NewEntry& e, MemberHeader& h, std::uint64_t data_at,
                    const Pass* first)
    {
        std::uint8_t* const buf = read_buffer();
        if (first) {
            sink_.truncate(data_at);
            src.rewind();
        }
        Pass second;
        while (std::size_t n = src.read(buf, kReadChunk)) {
            count(second, buf, n, e);
            sink_.write(buf, n);
            if (!first)
                done_ += n;
            progress(e.stored_path(), first && second.size % kProgressStep < n);
        }
        if (first && (second.size != first->size || second.crc != first->crc))
            throw Error(Message::file_changed_while_read, {shown_path(e.source_path())});
        std::memcpy(h.method, kLh0.id, sizeof h.method);
        h.packed_size = second.size;
        h.original_size = second.size;
        h.data_crc = second.crc;
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
            throw Error(Message::file_of_4gib, {shown_path(e.source_path())});
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

VerifyHook g_verify_hook;

/*
 * Reads the finished temporary archive back: every member decoded and its
 * size and CRC checked against its header. A member in a method this
 * engine does not decode can only be one kept from the old archive, copied
 * byte for byte; it is passed over. Any fault throws lzh::Error naming the
 * archive, and the caller's temporary file then goes.
 */
void verify_written(const ArchivePlace& place, const std::string& archive_path, Writer& writer)
{
    try {
        ArchiveReader reader(place.temp_path());
        // What is read back must be the file this run wrote and will rename.
        if (!same_file(reader.status(), place.temp_status()))
            throw Error(Message::archive_replaced, {shown_path(place.temp_path())});
        for (const MemberHeader& h : reader.members()) {
            writer.progress(decode_name(h.path, h.code_page), true);
            NullSink sink;
            try {
                reader.extract(h, sink);
            } catch (const UnsupportedMethod&) {
            }
        }
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        throw Error(Message::verify_failed, {shown_path(archive_path), e.what()});
    }
}

// The old archive's members, read from the locked archive; it must be a
// sound LZH archive. None when there is no archive.
std::vector<MemberHeader> read_old_members(const std::string& archive_path, const ArchivePlace& place,
                                           std::optional<ArchiveReader>& reader)
{
    if (!place.exists())
        return {};
    reader.emplace(archive_path);
    if (!same_file(reader->status(), place.status()))
        throw Error(Message::archive_replaced, {shown_path(archive_path)});
    try {
        return reader->members();
    } catch (const DataError& e) {
        throw Error(Message::not_overwriting, {}, e);
    }
}

/*
 * The new entries to write, each under the key its name is matched by. The
 * plan holds only pointers and the keys are the stored paths, as they are
 * where those are UTF-8 already (decoding gives them back exactly), so a walk
 * of a hundred thousand files costs little beyond the entries; the names are
 * encoded again, one at a time, as they are written.
 */
struct NewMembers {
    std::vector<const NewEntry*> fresh;
    std::deque<std::string> key_texts;
    std::vector<std::pair<std::string_view, std::size_t>> keys;  // UTF-8 path, index in fresh
    std::vector<bool> placed;  // per entry in fresh: planned already, or never written

    // The key for `key` (sorted keys), or null.
    const std::pair<std::string_view, std::size_t>* find(std::string_view key) const
    {
        auto it = std::lower_bound(keys.begin(), keys.end(), key,
                                   [](const auto& x, std::string_view k) { return x.first < k; });
        return it != keys.end() && it->first == key ? &*it : nullptr;
    }
};

// Throws unless entry `e` can be stored (names, link target, size): a name
// that cannot be stored fails before anything is written.
void check_storable(const NewEntry& e, const StoredNames& names)
{
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
        throw Error(Message::empty_link_target, {shown_path(e.source_path())});
    if (e.kind == NewEntry::Kind::file && e.st.size > kMax32)
        throw Error(Message::file_of_4gib, {shown_path(e.source_path())});
}

// Checks and keys every entry but the archive itself (`old`, when there is one).
NewMembers collect_new(const std::vector<NewEntry>& entries, const FileStat* old, UpdateReport& report)
{
    NewMembers m;
    for (const NewEntry& e : entries) {
        if (old && same_file(e.st, *old)) {
            ++report.skipped;
            continue;
        }
        const StoredNames names = names_of(e);
        check_storable(e, names);
        std::string stored = e.stored_path();
        const std::string_view key = is_valid_utf8(stored)
                                         ? m.key_texts.emplace_back(std::move(stored))
                                         : m.key_texts.emplace_back(name_key(names.path, names.code_page));
        m.keys.emplace_back(key, m.fresh.size());
        m.fresh.push_back(&e);
    }
    m.placed.assign(m.fresh.size(), false);
    return m;
}

// The same stored path twice: the same file is written once; two files
// whose names read alike in the archive (a UTF-8 name and the same name
// in CP932 bytes) fail the item, since one would hide the other.
void drop_repeated(NewMembers& m, UpdateReport& report)
{
    std::stable_sort(m.keys.begin(), m.keys.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (std::size_t i = 1; i < m.keys.size(); ++i)
        if (m.keys[i].first == m.keys[i - 1].first) {
            const NewEntry& first = *m.fresh[m.keys[i - 1].second];
            const NewEntry& again = *m.fresh[m.keys[i].second];
            if (again.source_path() != first.source_path()) {
                const auto shown = [](const std::string& path) {
                    return is_valid_utf8(path) ? shown_path(path)
                                               : message_sentence(Message::not_utf8_name, {shown_path(path)});
                };
                throw Error(Message::same_name_twice,
                            {shown(first.source_path()), shown(again.source_path())});
            }
            m.placed[m.keys[i].second] = true;  // never written
            ++report.skipped;
        }
}

// Old members keep their places; a replaced one takes its new content; the
// other new entries follow. `total` gets the bytes the writer will read.
std::vector<PlannedMember> plan_members(const std::vector<MemberHeader>& old_members, NewMembers& m,
                                        UpdateReport& report, std::uint64_t& total)
{
    total = 0;
    for (std::size_t i = 0; i < m.fresh.size(); ++i)
        if (!m.placed[i] && m.fresh[i]->kind == NewEntry::Kind::file)
            total += m.fresh[i]->st.size;
    std::vector<PlannedMember> plan;
    plan.reserve(old_members.size() + m.fresh.size());
    for (const MemberHeader& h : old_members) {
        const auto* found = m.find(name_key(h.path, h.code_page));
        if (!found) {
            plan.push_back({&h, nullptr});
            total += h.end_offset() - h.header_offset;
            ++report.kept;
        } else if (!m.placed[found->second]) {
            m.placed[found->second] = true;
            plan.push_back({nullptr, m.fresh[found->second]});
            ++report.replaced;
        }
    }
    for (std::size_t i = 0; i < m.fresh.size(); ++i)
        if (!m.placed[i]) {
            plan.push_back({nullptr, m.fresh[i]});
            ++report.added;
        }
    return plan;
}

// Writes the planned members and the end mark to `sink`.
void write_members(const std::vector<PlannedMember>& plan, ArchiveReader* reader, Writer& writer,
                   const WriteOptions& options, UpdateReport& report)
{
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
    writer.coder = nullptr;
}

// One attempt of update_archive.
UpdateReport update_once(const std::string& archive_path, const std::vector<NewEntry>& entries,
                         const WriteOptions& options, ArchiverWindow* window)
{
    UpdateReport report;
    ArchivePlace place(archive_path, window);
    std::optional<ArchiveReader> reader;
    const std::vector<MemberHeader> old_members = read_old_members(archive_path, place, reader);

    std::uint64_t total = 0;
    std::vector<PlannedMember> plan;
    {
        NewMembers fresh = collect_new(entries, place.exists() ? &place.status() : nullptr, report);
        drop_repeated(fresh, report);
        plan = plan_members(old_members, fresh, report, total);
    }

    // Write errors name the archive: the temporary file is gone by the time
    // the user reads the reason.
    FileSink sink(place.create_temp(), archive_path);
    Writer writer(archive_path, sink, options, window, total, report);
    writer.own_files.push_back(place.temp_status());
    if (place.exists())
        writer.own_files.push_back(place.status());
    write_members(plan, reader ? &*reader : nullptr, writer, options, report);
    const std::uint8_t end_mark = 0;
    sink.write(&end_mark, 1);
    writer.progress("", true);
    report.bytes_out = sink.offset();
    sink.sync();
    sink.close();
    if (options.verify) {
        if (g_verify_hook)
            g_verify_hook(place.temp_path());
        verify_written(place, archive_path, writer);
    }
    // The last chance to cancel: the archive is complete but not yet in place.
    writer.progress("", true);
    // Runs that update an archive take the lock first; a program that does
    // not, and replaced or removed the archive meanwhile, keeps its file.
    if (place.exists() && !place.still_in_place())
        throw Error(Message::archive_replaced, {shown_path(archive_path)});
    // Windows replaces no file that is still open for reading.
    reader.reset();
    place.commit();
    return report;
}

}  // namespace

void set_verify_hook(VerifyHook hook)
{
    g_verify_hook = std::move(hook);
}

UpdateReport update_archive(const std::string& archive_path, const std::vector<NewEntry>& entries,
                            const WriteOptions& options, ArchiverWindow* window)
{
    // Tried once more after another run created the archive first.
    constexpr int kMaxAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        try {
            return update_once(archive_path, entries, options, window);
        } catch (const ArchiveAppeared&) {
            // Another run created the archive first: add to what it wrote.
            if (attempt == kMaxAttempts)
                throw Error(Message::archive_keeps_appearing, {shown_path(archive_path)});
        }
    }
}

}  // namespace lzh
