// main.cpp - pelkoran.exe: the window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <shellapi.h>

#include "packer_window.h"
#include "version.h"
#include "wide_text.h"
#include "window_run.h"

namespace {

// The engine's file layer for Windows is not in this build: every command
// fails with that reason, so a run checks its output directory as always
// and then says why it writes nothing.
class NoFileLayerLibrary : public pelkoran::ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow* window, const std::string&, char* reply, std::uint32_t reply_size) override
    {
        static constexpr char kReason[] =
            "この Windows 版には、まだ圧縮エンジンのファイル処理が入っていません。何も書き込みません。";
        if (window)
            window->on_failure(kReason);
        if (reply && reply_size > 0)
            reply[0] = '\0';
        return lzh::kArchiverFailed;
    }
    std::uint16_t GetVersion() override { return lzh::kEngineVersion; }
    std::string GetName() override { return lzh::kEngineName; }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::OleInitialize(nullptr);
    pelkoran::win::WindowServices services;
    services.library_name = lzh::kEngineName;
    services.library_version = lzh::kEngineVersion;
    // Items on the command line (Send To, a drop on the program's icon) are listed.
    int argc = 0;
    if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i)
            services.items.push_back(pelkoran::WideToUtf8(argv[i]));
        ::LocalFree(argv);
    }
    NoFileLayerLibrary library;
    services.run = [&library](pelkoran::win::PackerWindow& window) { pelkoran::win::RunFromWindow(window, library); };
    pelkoran::win::PackerWindow window(std::move(services));
    window.RunModal(instance);
    ::OleUninitialize();
    return 0;
}
