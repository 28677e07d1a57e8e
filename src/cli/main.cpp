// main.cpp - pelkoran-cli: dispatches to the subcommand named first.
#include "commands.h"

#include "pelkoran/error.h"

#include <cerrno>
#include <cinttypes>
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
    const char* usage;    // arguments
    const char* summary;  // one line for --help
    int (*run)(int argc, char** argv);
};

// One row per subcommand.
const CliCommand kCommands[] = {
    {"test", "ARCHIVE...",
     "書庫のすべてのメンバーを展開して CRC を確かめます (すべて正常なら終了コード 0、壊れていれば 1、"
     "対応していない圧縮方式のメンバーがあれば 3)",
     RunTest},
    {"list", "ARCHIVE...", "書庫のメンバーを一覧します (方式、元のサイズ、格納サイズ、比率、日時、名前)",
     RunList},
    {"command", "TEXT",
     "コマンド文字列 (a \"書庫\" \"基準/\" -d1 \"対象\"...) をライブラリに渡し、報告を表示します",
     RunCommand},
    {"version", "", "ライブラリの版を表示します", RunVersion},
    {"pack",
     "[--same-place | --output-dir DIR] [--trim-ext] [--dry-run] [--method lh5|lh6|lh7]\n"
     "       [--level fast|normal|best] [--verify] PATH...",
     "各項目を 1 つずつ LZH 書庫に圧縮します (ウィンドウの圧縮実行と同じ)", RunPack},
};

void PrintHelp(std::FILE* out)
{
    std::fprintf(out, "使い方: pelkoran-cli COMMAND [ARGUMENT...]\n\n");
    for (const CliCommand& c : kCommands)
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
    std::fprintf(out, "  --help\n      この説明を表示します\n");
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
    std::fprintf(stderr, "pelkoran-cli: 不明なコマンドです: %s\n\n", argv[1]);
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
    const int status = Dispatch(argc, argv);
    // What was printed must have arrived: a full disk or a closed pipe is a failure.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno;
        std::fprintf(stderr, "pelkoran-cli: 標準出力に書き込めません%s%s\n", err ? ": " : "",
                     err ? std::strerror(err) : "");
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
            std::fprintf(stderr, "エラー: %s\n", EscapeControls(e.what()).c_str());
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
        std::fprintf(stderr,
                     "警告: %s: 先頭の %" PRIu64
                     " バイトは LZH 書庫ではありません (自己解凍書庫のプログラムなど)。"
                     "その後の書庫を読みます\n",
                     shown.c_str(), layout.start);
    if (layout.trailing != 0)
        std::fprintf(stderr,
                     "警告: %s: 終端記号の後に %" PRIu64 " バイトの余分なデータがあります (位置 %" PRIu64
                     " から)。書庫の一部ではないので読みません\n",
                     shown.c_str(), layout.trailing, layout.trailing_at);
}
