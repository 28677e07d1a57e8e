// cli_texts.cpp - what pelkoran-cli itself prints, in Japanese and in English.
#include "cli_texts.h"

#include <iterator>

namespace {

struct Wording {
    CliText text;
    const char* japanese;
    const char* english;
};

// In the order of the codes.
constexpr Wording kWordings[] = {
    {CliText::usage, "使い方: pelkoran-cli COMMAND [ARGUMENT...]\n\n",
     "Usage: pelkoran-cli COMMAND [ARGUMENT...]\n\n"},
    {CliText::help_entry, "  --help\n      この説明を表示します\n", "  --help\n      Shows this help\n"},
    {CliText::unknown_command, "pelkoran-cli: 不明なコマンドです: %s\n\n",
     "pelkoran-cli: unknown command: %s\n\n"},
    {CliText::cannot_write_stdout, "pelkoran-cli: 標準出力に書き込めません%s%s\n",
     "pelkoran-cli: cannot write to standard output%s%s\n"},
    {CliText::broken_pipe, "読み手がパイプを閉じました", "the reader closed the pipe"},
    {CliText::error_line, "エラー: %s\n", "Error: %s\n"},
    {CliText::warn_stub,
     "警告: %s: 先頭の %s バイトは LZH 書庫ではありません "
     "(自己解凍書庫のプログラムなど)。その後の書庫を読みます\n",
     "Warning: %s: the first %s bytes are not an LZH archive (a self-extracting archive's program or "
     "the like); reading the archive after them\n"},
    {CliText::warn_trailing,
     "警告: %s: 終端記号の後に %s バイトの余分なデータがあります (位置 %s "
     "から)。書庫の一部ではないので読みません\n",
     "Warning: %s: %s bytes of extra data after the end mark (from offset %s); they are not part of the "
     "archive and are not read\n"},
    {CliText::summary_test,
     "書庫のすべてのメンバーを展開して CRC を確かめます (すべて正常なら終了コード 0、壊れていれば 1、"
     "対応していない圧縮方式のメンバーがあれば 3)",
     "Unpacks every member of the archives and checks its CRC (exit status 0 when all are sound, 1 when "
     "one is damaged, 3 when a member uses an unsupported method)"},
    {CliText::summary_list, "書庫のメンバーを一覧します (方式、元のサイズ、格納サイズ、比率、日時、名前)",
     "Lists the members of the archives (method, original size, stored size, ratio, time, name)"},
    {CliText::summary_command,
     "コマンド文字列 (a \"書庫\" \"基準/\" -d1 \"対象\"...) をライブラリに渡し、報告を表示します",
     "Hands a command text (a \"archive\" \"base/\" -d1 \"item\"...) to the library and shows its report"},
    {CliText::summary_version, "ライブラリの版を表示します", "Shows the library's version"},
    {CliText::summary_pack, "各項目を 1 つずつ LZH 書庫に圧縮します (ウィンドウの圧縮実行と同じ)",
     "Packs each item into an LZH archive of its own (as the window's compress button does)"},
    {CliText::pack_usage,
     "使い方: pelkoran-cli pack [--same-place | --output-dir DIR] [--trim-ext] [--dry-run]\n"
     "                          [--method lh5|lh6|lh7] [--level fast|normal|best] [--verify] [--] PATH...\n"
     "  各 PATH (ファイルまたはディレクトリ) を 1 つずつ LZH 書庫に圧縮します。\n"
     "  --same-place      書庫を各項目と同じ場所に作ります (既定、--output-dir より優先)\n"
     "  --output-dir DIR  書庫を DIR に作ります\n"
     "  --trim-ext        ファイルの書庫名から拡張子を除きます\n"
     "  --dry-run         各項目のコマンド文字列を表示するだけで、何も書きません\n"
     "  --method M        圧縮方式 lh5 (既定), lh6, lh7\n"
     "  --level L         圧縮の手間 fast, normal (既定), best\n"
     "  --verify          書き込んだ書庫を読み戻して確かめてから置き換える\n"
     "  終了コード: 0 すべて圧縮, 1 途中の項目で失敗 (または存在しない PATH を飛ばした),\n"
     "              2 出力先または引数の誤り\n",
     "Usage: pelkoran-cli pack [--same-place | --output-dir DIR] [--trim-ext] [--dry-run]\n"
     "                         [--method lh5|lh6|lh7] [--level fast|normal|best] [--verify] [--] PATH...\n"
     "  Packs each PATH (a file or a directory) into an LZH archive of its own.\n"
     "  --same-place      makes each archive beside its item (the default; wins over --output-dir)\n"
     "  --output-dir DIR  makes the archives in DIR\n"
     "  --trim-ext        leaves a file's extension out of its archive's name\n"
     "  --dry-run         only prints each item's command text; writes nothing\n"
     "  --method M        compression method lh5 (default), lh6, lh7\n"
     "  --level L         compression effort fast, normal (default), best\n"
     "  --verify          reads the written archive back and checks it before it replaces the old one\n"
     "  Exit status: 0 all packed, 1 an item failed (or a PATH that does not exist was skipped),\n"
     "               2 a wrong output directory or argument\n"},
    {CliText::pack_bad_method, "pelkoran-cli pack: --method には lh5, lh6, lh7 のどれかを指定してください\n",
     "pelkoran-cli pack: --method takes one of lh5, lh6, lh7\n"},
    {CliText::pack_bad_level,
     "pelkoran-cli pack: --level には fast, normal, best のどれかを指定してください\n",
     "pelkoran-cli pack: --level takes one of fast, normal, best\n"},
    {CliText::pack_no_output_dir, "pelkoran-cli pack: --output-dir にはディレクトリを指定してください\n",
     "pelkoran-cli pack: --output-dir takes a directory\n"},
    {CliText::pack_unknown_option, "pelkoran-cli pack: 不明なオプションです: %s\n",
     "pelkoran-cli pack: unknown option: %s\n"},
    {CliText::pack_no_items, "pelkoran-cli pack: 圧縮する項目を指定してください\n",
     "pelkoran-cli pack: name the items to pack\n"},
    {CliText::pack_path_missing, "pelkoran-cli pack: %s がありません。飛ばします\n",
     "pelkoran-cli pack: %s does not exist; skipped\n"},
    {CliText::list_usage, "使い方: pelkoran-cli list ARCHIVE...", "Usage: pelkoran-cli list ARCHIVE..."},
    {CliText::list_method, "方式", "Method"},
    {CliText::list_original, "元のサイズ", "Original"},
    {CliText::list_packed, "格納サイズ", "Stored"},
    {CliText::list_ratio, "比率", "Ratio"},
    {CliText::list_time, "更新日時", "Modified"},
    {CliText::list_name, "名前", "Name"},
    {CliText::list_time_unknown, "不明", "unknown"},
    {CliText::list_total, "合計", "Total"},
    {CliText::list_members, "%s 個のメンバー", "%s member(s)"},
    {CliText::test_usage, "使い方: pelkoran-cli test ARCHIVE...", "Usage: pelkoran-cli test ARCHIVE..."},
    {CliText::test_unchecked_member, "未確認: %s\n", "Unchecked: %s\n"},
    {CliText::test_unchecked,
     "未確認: %s (%s 個のメンバーのうち %s 個は対応していない圧縮方式のため確かめられません)\n",
     "Unchecked: %s (of %s members, %s use an unsupported method and cannot be checked)\n"},
    {CliText::test_ok, "OK: %s (%s 個のメンバー)\n", "OK: %s (%s member(s))\n"},
    {CliText::command_usage,
     "使い方: pelkoran-cli command 'a \"書庫\" \"基準ディレクトリ/\" -d1 \"対象\"...'\n",
     "Usage: pelkoran-cli command 'a \"archive\" \"base directory/\" -d1 \"item\"...'\n"},
    {CliText::special_file_left_out, "pelkoran-cli: 特殊ファイルのため書庫に入れませんでした: %s\n",
     "pelkoran-cli: a special file, not put into the archive: %s\n"},
};

static_assert(std::size(kWordings) == kCliTextCount);

constexpr bool InCodeOrder()
{
    for (std::size_t i = 0; i < std::size(kWordings); ++i)
        if (std::size_t(kWordings[i].text) != i)
            return false;
    return true;
}
static_assert(InCodeOrder());

}  // namespace

const char* Text(CliText text, lzh::Language lang)
{
    const Wording& w = kWordings[std::size_t(text)];
    return lang == lzh::Language::english ? w.english : w.japanese;
}
