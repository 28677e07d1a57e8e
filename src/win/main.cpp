// main.cpp - pelkoran.exe: the window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "packer_window.h"
#include "version.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::OleInitialize(nullptr);
    pelkoran::win::WindowServices services;
    services.library_name = lzh::kEngineName;
    services.library_version = lzh::kEngineVersion;
    pelkoran::win::PackerWindow window(std::move(services));
    window.RunModal(instance);
    ::OleUninitialize();
    return 0;
}
