// main.cpp - pelkoran: the window that packs dropped files and directories into LZH archives.
#include <cstdio>

#include "pack_now.h"
#include "packer_app.h"

int main(int argc, char** argv)
{
    if (argc > 1 && pelkoran::ReadCommandLine({argv[1]}).help) {
        std::fputs(pelkoran::kLaunchUsage, stdout);
        return 0;
    }
    if (!pelkoran::HasDisplay(argc, argv)) {
        // Qt would abort here; say what to do instead, in one line.
        std::fprintf(stderr,
                     "pelkoran: 画面がありません (DISPLAY も WAYLAND_DISPLAY もありません)。"
                     "ウィンドウなしで圧縮するには: pelkoran-cli pack --same-place PATH...\n");
        return 1;
    }
    pelkoran::CPackerApp app(argc, argv);
    return app.InitInstance();
}
