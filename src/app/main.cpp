// main.cpp - pelkoran: the window that packs dropped files and directories into LZH archives.
#include <cstdio>

#include "pelkoran/messages.h"

#include "pack_now.h"
#include "packer_app.h"

int main(int argc, char** argv)
{
    const bool english = lzh::desktop_language() == lzh::Language::english;
    if (argc > 1 && pelkoran::ReadCommandLine({argv[1]}).help) {
        std::fputs(english ? pelkoran::kLaunchUsageEnglish : pelkoran::kLaunchUsage, stdout);
        return 0;
    }
    if (!pelkoran::HasDisplay(argc, argv)) {
        // Qt would abort here; say what to do instead, in one line.
        std::fputs(english ? pelkoran::kMsgNoDisplayEnglish : pelkoran::kMsgNoDisplay, stderr);
        return 1;
    }
    pelkoran::CPackerApp app(argc, argv);
    return app.InitInstance();
}
