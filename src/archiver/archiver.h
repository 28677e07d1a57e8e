// archiver.h - the library interface: one command entry and a version query.
//
// The batch code reaches the engine only through these two functions, so a
// test can stand a fake library in their place.
#pragma once

#include <cstdint>
#include <string_view>

namespace lzh {

// What the library reports while a command runs.
struct Progress {
    std::string_view archive;   // the archive being written
    std::string_view current;   // the file being read (as stored in the archive)
    std::uint64_t done = 0;     // bytes of the command's input read so far
    std::uint64_t total = 0;    // bytes of input the command will read, as far as known
    bool waiting = false;       // another run holds the archive; `current` says so
};

// How the library talks to the user while it works: the "window handle" of
// ArchiverCommand. Calls come on the thread that called ArchiverCommand.
class ArchiverWindow {
public:
    virtual ~ArchiverWindow() = default;
    // Now and then while the command runs. Return false to cancel it: the
    // command then fails and leaves the archive as it was.
    virtual bool on_progress(const Progress& progress) = 0;
    // Once, when the command fails, with the reason (Japanese, UTF-8), before
    // ArchiverCommand returns. A cancel is reported too.
    virtual void on_failure(std::string_view reason) = 0;
    // Once for each entry a written archive leaves out (a FIFO, socket or
    // device found in a directory), with its path (UTF-8), before
    // ArchiverCommand returns.
    virtual void on_skipped(std::string_view path) { (void)path; }
};

// Results of ArchiverCommand.
inline constexpr int kArchiverOk = 0;           // the archive was written
inline constexpr int kArchiverBadCommand = 1;   // the command text was refused; nothing touched
inline constexpr int kArchiverFailed = 2;       // an item, the archive or the disk failed
inline constexpr int kArchiverCancelled = 3;    // stopped through the window

}  // namespace lzh

// Carries out one command text (see command.h for the language). Returns 0
// when the archive was written, non-zero when it was not. `reply` receives a
// short report (what was written, or why not), always NUL-terminated and never
// longer than `reply_size` bytes; it may be null when `reply_size` is 0.
// `window` may be null: the command then runs silently.
int ArchiverCommand(lzh::ArchiverWindow* window, const char* command, char* reply,
                    std::uint32_t reply_size);

// The engine's version in hundredths (see version.h).
std::uint16_t ArchiverGetVersion();

// The engine's name ("pelkoran-lzh"), a NUL-terminated static text.
const char* ArchiverGetName();
