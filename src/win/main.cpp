// main.cpp - pelkoran.exe: the window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <shellapi.h>

#include "packer_window.h"
#include "pelkoran/messages.h"
#include "version.h"
#include "wide_text.h"
#include "window_run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The window, its messages and the engine's in the user's display language.
    lzh::set_message_language(lzh::desktop_language());
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
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
    pelkoran::ArchiverLibrary& library = pelkoran::DefaultArchiverLibrary();
    services.run = [&library](pelkoran::win::PackerWindow& window) {
        pelkoran::win::RunFromWindow(window, library);
    };
    pelkoran::win::PackerWindow window(std::move(services));
    window.RunModal(instance);
    ::OleUninitialize();
    return 0;
}
