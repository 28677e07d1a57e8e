// archiver_library.cpp - the default archiver library: the engine's two entries.
#include "archiver_library.h"

#include "pelkoran/archiver.h"

namespace pelkoran {
namespace {

class EngineLibrary final : public ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                std::uint32_t reply_size) override
    {
        return ::ArchiverCommand(window, text.c_str(), reply, reply_size);
    }
    std::uint16_t GetVersion() override { return ::ArchiverGetVersion(); }
    std::string GetName() override { return ::ArchiverGetName(); }
};

}  // namespace

ArchiverLibrary& DefaultArchiverLibrary()
{
    static EngineLibrary library;
    return library;
}

}  // namespace pelkoran
