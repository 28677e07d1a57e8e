// cmd_command.cpp - pelkoran-cli command TEXT: one command text to the library.
#include "cli_texts.h"
#include "cli_window.h"
#include "commands.h"

#include "pelkoran/archiver.h"

#include <cstdio>
#include <vector>

int RunCommand(int argc, char** argv)
{
    if (argc != 1) {
        std::fputs(Text(CliText::command_usage), stderr);
        return 2;
    }
    CliWindow window;
    std::vector<char> reply(4096);
    const int rc = ArchiverCommand(&window, argv[0], reply.data(), static_cast<std::uint32_t>(reply.size()));
    std::fprintf(rc == lzh::kArchiverOk ? stdout : stderr, "%s\n", reply.data());
    return rc == lzh::kArchiverOk ? 0 : 1;
}
