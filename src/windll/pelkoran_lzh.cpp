// pelkoran_lzh.cpp - the engine's entries for pelkoran-lzh.dll (see pelkoran_lzh.h).
#define PELKORAN_LZH_BUILDING
#include "pelkoran_lzh.h"

#include "pelkoran/archiver.h"
#include "version.h"

#include <string>

namespace {

// The engine's window, answered by the caller's callback.
class CallbackWindow : public lzh::ArchiverWindow {
public:
    CallbackWindow(PelkoranLzhProgress progress, void* context) : progress_(progress), context_(context) {}
    bool on_progress(const lzh::Progress& p) override
    {
        const std::string archive(p.archive), current(p.current);
        return progress_(context_, archive.c_str(), current.c_str(), p.done, p.total,
                         p.waiting ? TRUE : FALSE) != FALSE;
    }
    void on_failure(std::string_view) override {}

private:
    PelkoranLzhProgress progress_;
    void* context_;
};

int Run(lzh::ArchiverWindow* window, const char* command, char* reply, DWORD reply_size)
{
    try {
        return ::ArchiverCommand(window, command, reply, std::uint32_t(reply_size));
    } catch (...) {
        // Nothing may leave a C entry; the engine reports its own failures.
        if (reply && reply_size > 0)
            reply[0] = '\0';
        return lzh::kArchiverFailed;
    }
}

}  // namespace

extern "C" {

int WINAPI ArchiverCommand(HWND, const char* command, char* reply, DWORD reply_size)
{
    return Run(nullptr, command, reply, reply_size);
}

int WINAPI ArchiverCommandWithProgress(const char* command, char* reply, DWORD reply_size,
                                       PelkoranLzhProgress progress, void* context)
{
    if (!progress)
        return Run(nullptr, command, reply, reply_size);
    CallbackWindow window(progress, context);
    return Run(&window, command, reply, reply_size);
}

// The engine's own ArchiverGetVersion() has this one's name and parameters,
// so its version comes from the constant behind it.
WORD WINAPI ArchiverGetVersion(void)
{
    return lzh::kEngineVersion;
}

}  // extern "C"
