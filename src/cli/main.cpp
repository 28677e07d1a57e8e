// main.cpp - pelkoran-cli: dispatches to the subcommand named first.
#include "cli_texts.h"
#include "commands.h"

#include "pelkoran/error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#endif

int Main(int argc, char** argv);

namespace {

struct CliCommand {
    const char* name;
    const char* usage;  // arguments
    CliText summary;    // one line for --help
    int (*run)(int argc, char** argv);
};

// One row per subcommand.
const CliCommand kCommands[] = {
    {"test", "ARCHIVE...", CliText::summary_test, RunTest},
    {"list", "ARCHIVE...", CliText::summary_list, RunList},
    {"command", "TEXT", CliText::summary_command, RunCommand},
    {"version", "", CliText::summary_version, RunVersion},
    {"pack",
     "[--same-place | --output-dir DIR] [--trim-ext] [--dry-run] [--method lh5|lh6|lh7]\n"
     "       [--level fast|normal|best] [--verify] PATH...",
     CliText::summary_pack, RunPack},
};

void PrintHelp(std::FILE* out)
{
    std::fputs(Text(CliText::usage), out);
    for (const CliCommand& c : kCommands)
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, Text(c.summary));
    std::fputs(Text(CliText::help_entry), out);
}

int Dispatch(int argc, char** argv)
{
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintHelp(stdout);
        return 0;
    }
    for (const CliCommand& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0)
            return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, Text(CliText::unknown_command), argv[1]);
    PrintHelp(stderr);
    return 2;
}

}  // namespace

#ifdef _WIN32
// The arguments as UTF-8, the engine's text, whatever the console's code
// page; what is printed is UTF-8 too.
int wmain(int argc, wchar_t** wargv)
{
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(std::size_t(n > 0 ? n : 1), '\0');
        if (n > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, arg.data(), n, nullptr, nullptr);
        arg.resize(std::strlen(arg.c_str()));
        args.push_back(std::move(arg));
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return Main(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return Main(argc, argv);
}
#endif

int Main(int argc, char** argv)
{
    lzh::set_message_language(lzh::desktop_language());
    const int status = Dispatch(argc, argv);
    // What was printed must have arrived: a full disk or a closed pipe is a failure.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno;
        const std::string why = err == EPIPE ? Text(CliText::broken_pipe) : err ? lzh::errno_text(err) : "";
        std::fprintf(stderr, Text(CliText::cannot_write_stdout), err ? ": " : "", why.c_str());
        return 1;
    }
    return status;
}

int ForEachArchive(int argc, char** argv, const char* usage, int (*each)(const char* archive))
{
    if (argc < 1) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        try {
            const int result = each(argv[i]);
            if (status == 0)
                status = result;
        } catch (const lzh::Error& e) {
            std::fprintf(stderr, Text(CliText::error_line), EscapeControls(e.what()).c_str());
            status = 1;
        }
    }
    return status;
}

std::string EscapeControls(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    char buf[8];
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned char>(s[++i]));
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

void WarnAboutLayout(const char* archive, const lzh::ArchiveLayout& layout)
{
    const std::string shown = EscapeControls(archive);
    if (layout.start != 0)
        std::fprintf(stderr, Text(CliText::warn_stub), shown.c_str(), std::to_string(layout.start).c_str());
    if (layout.trailing != 0)
        std::fprintf(stderr, Text(CliText::warn_trailing), shown.c_str(),
                     std::to_string(layout.trailing).c_str(), std::to_string(layout.trailing_at).c_str());
}
