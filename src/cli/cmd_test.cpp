// cmd_test.cpp - `pelkoran-cli test ARCHIVE...`: decodes every member and checks every CRC.
#include "commands.h"

#include "pelkoran/archive_contents.h"

#include <cstdio>

namespace {

int TestArchive(const char* path)
{
    lzh::ArchiveContents contents(path);
    const std::vector<lzh::MemberInfo>& members = contents.members();
    WarnAboutLayout(path, contents.layout());
    std::size_t unsupported = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        std::string reason;
        if (!contents.check(i, reason)) {
            // Not damage: the member is there, this engine cannot check it.
            std::fprintf(stderr, "未確認: %s\n", EscapeControls(reason).c_str());
            ++unsupported;
        }
    }
    const std::string shown = EscapeControls(path);
    if (unsupported != 0) {
        std::printf(
            "未確認: %s (%zu 個のメンバーのうち %zu 個は対応していない圧縮方式のため確かめられません)\n",
            shown.c_str(), members.size(), unsupported);
        return kExitUnsupported;
    }
    std::printf("OK: %s (%zu 個のメンバー)\n", shown.c_str(), members.size());
    return 0;
}

}  // namespace

int RunTest(int argc, char** argv)
{
    return ForEachArchive(argc, argv, "使い方: pelkoran-cli test ARCHIVE...", TestArchive);
}
