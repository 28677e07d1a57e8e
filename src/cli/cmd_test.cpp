// cmd_test.cpp - `pelkoran-cli test ARCHIVE...`: decodes every member and checks every CRC.
#include "cli_texts.h"
#include "commands.h"

#include "pelkoran/archive_contents.h"

#include <cstdio>
#include <string>

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
            std::fprintf(stderr, Text(CliText::test_unchecked_member), EscapeControls(reason).c_str());
            ++unsupported;
        }
    }
    const std::string shown = EscapeControls(path);
    if (unsupported != 0) {
        std::printf(Text(CliText::test_unchecked), shown.c_str(), std::to_string(members.size()).c_str(),
                    std::to_string(unsupported).c_str());
        return kExitUnsupported;
    }
    std::printf(Text(CliText::test_ok), shown.c_str(), std::to_string(members.size()).c_str());
    return 0;
}

}  // namespace

int RunTest(int argc, char** argv)
{
    return ForEachArchive(argc, argv, Text(CliText::test_usage), TestArchive);
}
