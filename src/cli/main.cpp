// main.cpp - pelkoran-cli: dispatches to the subcommand named first.
#include "commands.h"

#include "io.h"

#include <cstdio>
#include <cstring>

namespace {

struct CliCommand {
    const char* name;
    const char* usage;     // arguments
    const char* summary;   // one line for --help
    int (*run)(int argc, char** argv);
};

// One row per subcommand.
const CliCommand kCommands[] = {
    {"test", "ARCHIVE...", "書庫のすべてのメンバーを展開して CRC を確かめます (すべて正常なら終了コード 0)",
     RunTest},
    {"list", "ARCHIVE...", "書庫のメンバーを一覧します (方式、元のサイズ、格納サイズ、比率、日時、名前)",
     RunList},
    {"command", "TEXT", "コマンド文字列 (a \"書庫\" \"基準/\" -d1 \"対象\"...) をライブラリに渡し、報告を表示します",
     RunCommand},
    {"version", "", "ライブラリの版を表示します", RunVersion},
    {"pack", "[--same-place | --output-dir DIR] [--trim-ext] [--dry-run] [--method lh5|lh6|lh7]\n"
             "       [--level fast|normal|best] PATH...",
     "各項目を 1 つずつ LZH 書庫に圧縮します (ウィンドウの圧縮実行と同じ)", RunPack},
};

void PrintHelp(std::FILE* out)
{
    std::fprintf(out, "使い方: pelkoran-cli COMMAND [ARGUMENT...]\n\n");
    for (const CliCommand& c : kCommands)
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
    std::fprintf(out, "  --help\n      この説明を表示します\n");
}

}  // namespace

int main(int argc, char** argv)
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

int ForEachArchive(int argc, char** argv, const char* usage, void (*each)(const char* archive))
{
    if (argc < 1) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        try {
            each(argv[i]);
        } catch (const lzh::Error& e) {
            std::fprintf(stderr, "エラー: %s\n", e.what());
            status = 1;
        }
    }
    return status;
}
