// archiver.h - the library interface: one command entry and a version query.
//
// The batch code reaches the engine only through these two functions, so a
// test can stand a fake library in their place.
#pragma once

#include "pelkoran/archiver_window.h"

#include <cstdint>

namespace lzh {

// Results of ArchiverCommand.
inline constexpr int kArchiverOk = 0;          // the archive was written
inline constexpr int kArchiverBadCommand = 1;  // the command text was refused; nothing touched
inline constexpr int kArchiverFailed = 2;      // an item, the archive or the disk failed
inline constexpr int kArchiverCancelled = 3;   // stopped through the window

}  // namespace lzh

// Carries out one command text (see command_text.h for the language). Returns 0
// when the archive was written, non-zero when it was not. `reply` receives a
// short report (what was written, or why not), always NUL-terminated and never
// longer than `reply_size` bytes; it may be null when `reply_size` is 0.
// `window` may be null: the command then runs silently.
int ArchiverCommand(lzh::ArchiverWindow* window, const char* command, char* reply, std::uint32_t reply_size);

// The engine's version in hundredths (see version.h).
std::uint16_t ArchiverGetVersion();

// The engine's name ("pelkoran-lzh"), a NUL-terminated static text.
const char* ArchiverGetName();
