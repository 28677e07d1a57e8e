// screenshot.cpp - draws docs/screenshot-windows.png's picture: the window
// with a few rows, captured from the screen (title bar included) as a BMP.
// Usage: pelkoran_screenshot OUT.bmp ITEM...   (tools/win-screenshot.sh runs it)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "packer_window.h"
#include "pelkoran/messages.h"
#include "resource.h"
#include "version.h"
#include "wide_text.h"

namespace {

bool SaveBitmap(const std::wstring& path, const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u), size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file{0x4D42,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
                          0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    bool ok = false;
    if (FILE* out = ::_wfopen(path.c_str(), L"wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, size, 1, out) == 1;
        ok = std::fclose(out) == 0 && ok;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

void Pump(DWORD ms)
{
    const DWORD end = ::GetTickCount() + ms;
    MSG msg;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(20);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelkoran_screenshot OUT.bmp ITEM...\n");
        return 2;
    }
    lzh::set_message_language(lzh::desktop_language());
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    pelkoran::win::WindowServices services;
    services.library_name = lzh::kEngineName;
    services.library_version = lzh::kEngineVersion;
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    services.settings_path = pelkoran::WideToUtf8(temp) + "pelkoran-screenshot.ini";
    ::DeleteFileW((std::wstring(temp) + L"pelkoran-screenshot.ini").c_str());
    pelkoran::win::PackerWindow window(std::move(services));
    HWND hwnd = window.Create(::GetModuleHandleW(nullptr));
    if (!hwnd)
        return 1;
    std::vector<std::string> items;
    for (int i = 2; i < argc; ++i)
        items.push_back(pelkoran::WideToUtf8(argv[i]));
    window.AddTargets(items);
    ListView_SetItemState(::GetDlgItem(hwnd, IDC_TARGET_LIST), 1, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ::SetWindowPos(hwnd, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::SetForegroundWindow(hwnd);
    ::SetFocus(::GetDlgItem(hwnd, IDC_TARGET_LIST));
    Pump(2500);
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    // The window manager's title bar sits above the rectangle Wine knows.
    const int frame = ::GetSystemMetrics(SM_CYCAPTION);
    r.top = r.top > frame ? r.top - frame : 0;
    return SaveBitmap(argv[1], r) ? 0 : 1;
}
