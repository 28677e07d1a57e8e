// archiver_window.h - how the library talks to its caller while a command runs.
#pragma once

#include <cstdint>
#include <string_view>

namespace lzh {

// What the library reports while a command runs.
struct Progress {
    std::string_view archive;  // the archive being written
    std::string_view current;  // the file being read (as stored in the archive)
    std::uint64_t done = 0;    // bytes of the command's input read so far
    std::uint64_t total = 0;   // bytes of input the command will read, as far as known
    bool waiting = false;      // another run holds the archive; `current` says so
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

}  // namespace lzh
