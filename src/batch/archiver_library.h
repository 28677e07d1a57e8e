// archiver_library.h - the seam through which the batch calls the archiver library.
#pragma once

#include <cstdint>
#include <string>

namespace lzh {
class ArchiverWindow;
}

namespace pelkoran {

/*
 * ArchiverLibrary - the entries of the archiver library, as the batch
 * calls them. DefaultArchiverLibrary() calls the engine (ArchiverCommand,
 * ArchiverGetVersion and ArchiverGetName of archiver.h); tests put a fake
 * in its place.
 */
class ArchiverLibrary {
public:
    virtual ~ArchiverLibrary() = default;
    // Carries out one command text; 0 when the archive was written.
    // `reply` (of `reply_size` bytes) receives the library's short report.
    virtual int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                        std::uint32_t reply_size) = 0;
    // The library's version in hundredths (253 shows as 2.53).
    virtual std::uint16_t GetVersion() = 0;
    // The library's name, as the title shows it ("pelkoran-lzh").
    virtual std::string GetName() = 0;
};

// The engine itself, as one shared instance. Only a program that uses it
// links the engine (it lives in its own object file).
ArchiverLibrary& DefaultArchiverLibrary();

}  // namespace pelkoran
