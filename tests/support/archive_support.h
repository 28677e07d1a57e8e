// archive_support.h - engine test helpers: test data, members read back, the command entry, a window.
#pragma once

#include "container/archive_reader.h"
#include "container/archive_writer.h"
#include "pelkoran/archiver.h"
#include "command.h"
#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes to_bytes(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// Bytes that do not compress.
inline std::string noise(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

// Words in a skewed mix, some Japanese, lines of varying length: codes like prose.
inline std::string text_data(std::size_t size, unsigned seed = 1)
{
    static const char* const words[] = {"the ",    "archive ", "書庫 ",    "of ",    "files\n",
                                        "a ",      "圧縮 ",    "block ",   "match ", "table ",
                                        "window ", "code ",    "stream\n", "reader "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) {
        const unsigned r = rng() % 1000;
        s += words[(r * r / 1000) * std::size(words) / 1000];
    }
    s.resize(size);
    return s;
}

// Collects what is written.
struct StringSink : lzh::ByteSink {
    void write(const std::uint8_t* p, std::size_t n) override
    {
        data.append(reinterpret_cast<const char*>(p), n);
    }
    std::string data;
};

// One member of an archive as read back: header and decoded data.
struct Member {
    lzh::MemberHeader h;
    std::string data;
};

// Every member of `archive`, decoded and checked (size and CRC).
inline std::vector<Member> read_archive(const std::string& archive)
{
    lzh::ArchiveReader reader(archive);
    std::vector<Member> out;
    for (const lzh::MemberHeader& h : reader.members()) {
        StringSink sink;
        reader.extract(h, sink);
        out.push_back({h, sink.data});
    }
    return out;
}

// The stored paths of `archive`, front to back, directories ending in '/'.
inline std::vector<std::string> member_paths(const std::string& archive)
{
    std::vector<std::string> out;
    for (const lzh::MemberHeader& h : lzh::ArchiveReader(archive).members())
        out.push_back(h.path + (h.is_directory ? "/" : ""));
    return out;
}

// The member's header and data exactly as they lie in `archive_bytes`.
inline std::string raw_member(const std::string& archive_bytes, const lzh::MemberHeader& h)
{
    return archive_bytes.substr(h.header_offset, h.end_offset() - h.header_offset);
}

// A NewEntry for `path` as the walk would make it (lstat, kind, link target).
inline lzh::NewEntry entry_for(const std::string& path, const std::string& stored)
{
    lzh::NewEntry e;
    e.source = path;
    e.name = stored;
    struct stat st {};
    ::lstat(path.c_str(), &st);
    e.st = st;
    e.kind = S_ISDIR(st.st_mode)   ? lzh::NewEntry::Kind::directory
             : S_ISLNK(st.st_mode) ? lzh::NewEntry::Kind::symlink
                                   : lzh::NewEntry::Kind::file;
    if (S_ISLNK(st.st_mode)) {
        char buf[4096];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
        e.link_target.assign(buf, std::size_t(n > 0 ? n : 0));
    }
    return e;
}

/*
 * `levels` nested directories named `component` below `dir` (made if missing)
 * and a file "leaf.txt" holding `data` at the bottom, made through directory
 * descriptors so the path may exceed PATH_MAX. Returns the file's path
 * relative to `dir`'s parent.
 */
inline std::string make_chain(const std::string& dir, const std::string& component, int levels,
                              const std::string& data)
{
    ::mkdir(dir.c_str(), 0755);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = dir.substr(dir.rfind('/') + 1);
    for (int i = 0; i < levels && fd >= 0; ++i, path += "/" + component) {
        ::mkdirat(fd, component.c_str(), 0755);
        const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int f = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT, 0644);
    const bool written = f >= 0 && ::write(f, data.data(), data.size()) == ssize_t(data.size());
    ::close(f);
    ::close(fd);
    return written ? path + "/leaf.txt" : std::string();
}

// The add command text for `items` below `base` (which ends in '/').
inline std::string add_command(const std::string& archive, const std::string& base,
                               const std::vector<std::string>& items, const std::string& switches = "")
{
    std::string cmd = "a ";
    cmd += lzh::quote_token(archive);
    cmd += ' ';
    cmd += lzh::quote_token(base);
    cmd += " -d1";
    cmd += switches;
    for (const std::string& item : items) {
        cmd += ' ';
        cmd += lzh::quote_token(item);
    }
    return cmd;
}

struct Reply {
    int rc;
    std::string text;
};

// Runs one command through the library entry, as the front end does.
inline Reply run_command(const std::string& command, lzh::ArchiverWindow* window = nullptr)
{
    std::vector<char> buf(8192);
    const int rc = ArchiverCommand(window, command.c_str(), buf.data(), std::uint32_t(buf.size()));
    return {rc, buf.data()};
}

// A window that records what it is told and cancels at call `cancel_at` (0: never).
struct RecordingWindow : lzh::ArchiverWindow {
    bool on_progress(const lzh::Progress& p) override
    {
        ++calls;
        seen.emplace_back(p.current);
        done = p.done;
        total = p.total;
        return cancel_at == 0 || calls < cancel_at;
    }
    void on_failure(std::string_view reason) override { failures.emplace_back(reason); }
    void on_skipped(std::string_view path) override { skipped.emplace_back(path); }
    int calls = 0;
    int cancel_at = 0;
    std::uint64_t done = 0, total = 0;
    std::vector<std::string> seen;  // Progress::current of each call
    std::vector<std::string> failures;
    std::vector<std::string> skipped;  // special files left out
};

// True when `text` contains `part` (for messages that name a path).
inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace test_support
