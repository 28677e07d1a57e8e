// messages.cpp - the wording of every message of the engine, in Japanese and
// English, and which of the two the user reads.
#include "pelkoran/messages.h"

#include "fs/file_io.h"

#include <atomic>
#include <cstdlib>
#include <iterator>
#ifdef _WIN32
#include <windows.h>
#endif

namespace lzh {

namespace {

struct Wording {
    Message code;
    const char* japanese;
    const char* english;
};

// In the order of the codes.
constexpr Wording kWordings[] = {
    {Message::no_command, "コマンドがありません", "No command"},
    {Message::empty_command, "コマンドが空です", "The command is empty"},
    {Message::unknown_command, "知らないコマンドです: {} (使えるのは a だけです)",
     "Unknown command: {} (only a is available)"},
    {Message::unclosed_quote, "コマンドの引用符 (\") が閉じていません",
     "A quote (\") in the command is not closed"},
    {Message::no_blank_after_quote, "引用符で囲んだ引数の直後に空白がありません: {}",
     "No blank after a quoted argument: {}"},
    {Message::misplaced_quote, "引用符の位置が正しくありません: {}", "A quote is out of place: {}"},
    {Message::unknown_switch, "知らないスイッチです: {}", "Unknown switch: {}"},
    {Message::no_archive_path, "書庫のパスがありません", "No archive path"},
    {Message::archive_path_is_directory, "書庫のパスがディレクトリを指しています: {}",
     "The archive path names a directory: {}"},
    {Message::no_base_directory, "基準ディレクトリ (区切り文字で終わるパス) がありません",
     "No base directory (a path that ends with a separator)"},
    {Message::no_items, "圧縮する対象がありません", "Nothing to pack was named"},
    {Message::no_d1_switch, "スイッチ -d1 がありません", "The switch -d1 is missing"},
    {Message::empty_item, "対象の名前が空です", "An item's name is empty"},
    {Message::empty_item_named, "対象の名前が空です: {}", "An item's name is empty: {}"},
    {Message::item_not_relative, "対象は基準ディレクトリからの相対パスで指定してください: {}",
     "Name items relative to the base directory: {}"},
    {Message::item_with_dotdot, "対象に \"..\" は使えません: {}", "An item cannot contain \"..\": {}"},
    {Message::nothing_to_pack, "圧縮できるものがありません: {}", "Nothing that can be packed: {}"},
    {Message::out_of_memory, "メモリが足りません", "Out of memory"},
    {Message::internal_error_with, "内部エラー: {}", "Internal error: {}"},
    {Message::internal_error, "内部エラーです", "Internal error"},
    {Message::cancelled, "中止しました: {}", "Cancelled: {}"},
    {Message::packed_report, "{}: {} 件追加, {} 件置換, {} 件保持 ({} → {} バイト)",
     "{}: {} added, {} replaced, {} kept ({} → {} bytes)"},
    {Message::special_files_left_out, "特殊ファイルは圧縮しませんでした:", "Special files were not packed:"},
    {Message::waiting_for_other_run, "他の実行がこの書庫を書き終えるのを待っています",
     "Waiting for another run to finish writing this archive"},
    {Message::empty_stored_name, "格納する名前が空です", "The name to store is empty"},
    {Message::unstorable_path, "格納できないパスです (空の要素、「.」または「..」を含みます): {}",
     "This path cannot be stored (it has an empty part, \".\" or \"..\"): {}"},
    {Message::backslash_in_name, "名前に「\\」を含むため格納できません (展開ソフトが区切りと見なします): {}",
     "Cannot store a name containing \"\\\" (extractors take it for a separator): {}"},
    {Message::byte_ff_in_directory_name,
     "ディレクトリ名またはリンクの名前にバイト 0xFF を含むため格納できません "
     "(書庫ではディレクトリの区切りです): {}",
     "Cannot store a directory or link name containing the byte 0xFF "
     "(a directory separator in archives): {}"},
    {Message::bar_in_link_name, "名前に「|」を含むシンボリックリンクは格納できません: {}",
     "Cannot store a symbolic link whose name contains \"|\": {}"},
    {Message::bar_byte_in_link_name, "名前に「|」と同じバイトを含むシンボリックリンクは格納できません: {}",
     "Cannot store a symbolic link whose name contains the byte of \"|\": {}"},
    {Message::byte_ff_in_link_target,
     "リンク先にバイト 0xFF を含むシンボリックリンクは格納できません (書庫ではディレクトリの区切りです): {}",
     "Cannot store a symbolic link whose target contains the byte 0xFF "
     "(a directory separator in archives): {}"},
    {Message::name_too_long, "名前が長すぎて格納できません: {}", "The name is too long to store: {}"},
    {Message::same_name_twice, "書庫の中で同じ名前になるものが 2 つあります: {} と {}",
     "Two items get the same name in the archive: {} and {}"},
    {Message::not_utf8_name, "{} (UTF-8 ではない名前)", "{} (a name that is not UTF-8)"},
    {Message::cannot_follow_path, "パスをたどれません: {}", "Cannot follow the path: {}"},
    {Message::cannot_open_file, "ファイルを開けません: {}", "Cannot open the file: {}"},
    {Message::cannot_stat_file, "ファイルの情報を読めません: {}", "Cannot read the file's information: {}"},
    {Message::not_a_regular_file_to_read, "通常のファイルではないため読めません: {}",
     "Cannot read what is not a regular file: {}"},
    {Message::cannot_read_file, "ファイルを読めません: {}", "Cannot read the file: {}"},
    {Message::cannot_reread_file, "ファイルを読み直せません: {}", "Cannot read the file again: {}"},
    {Message::file_changed_while_read, "読み取り中にファイルが変更されました: {}",
     "The file changed while it was read: {}"},
    {Message::file_of_4gib, "4 GiB 以上のファイルは格納できません: {}",
     "Cannot store a file of 4 GiB or more: {}"},
    {Message::cannot_read_directory, "ディレクトリを読めません: {}", "Cannot read the directory: {}"},
    {Message::directory_swapped, "読み取り中にディレクトリが入れ替えられました: {}",
     "The directory was swapped while it was read: {}"},
    {Message::cannot_read_link, "シンボリックリンクを読めません: {}", "Cannot read the symbolic link: {}"},
    {Message::empty_link_target, "シンボリックリンクの参照先が空です: {}",
     "The symbolic link's target is empty: {}"},
    {Message::item_not_found, "対象が見つかりません: {}", "Item not found: {}"},
    {Message::link_target_missing, "対象が見つかりません: {} (リンク先がありません)",
     "Item not found: {} (its link target does not exist)"},
    {Message::cannot_write, "書き込めません: {}", "Cannot write: {}"},
    {Message::cannot_write_to_disk, "ディスクに書き込めません: {}", "Cannot write to the disk: {}"},
    {Message::cannot_open_archive, "書庫を開けません: {}", "Cannot open the archive: {}"},
    {Message::cannot_stat_archive, "書庫の情報を読めません: {}", "Cannot read the archive's information: {}"},
    {Message::cannot_read_archive, "書庫を読めません: {}", "Cannot read the archive: {}"},
    {Message::not_a_regular_file, "通常のファイルではありません: {}", "Not a regular file: {}"},
    {Message::archive_cut_short, "書庫が途中で切れています: {}", "The archive is cut short: {}"},
    {Message::not_an_lzh_archive, "LZH 書庫ではありません: {}", "Not an LZH archive: {}"},
    {Message::empty_file_not_archive, "LZH 書庫ではありません (空のファイルです): {}",
     "Not an LZH archive (the file is empty): {}"},
    {Message::damaged_header, "書庫が壊れています: {} (位置 {} のヘッダー: {})",
     "The archive is damaged: {} (header at offset {}: {})"},
    {Message::damaged_member, "書庫が壊れています: {} (メンバー「{}」: {})",
     "The archive is damaged: {} (member \"{}\": {})"},
    {Message::unsupported_method, "対応していない圧縮方式です: {} (メンバー「{}」: {})",
     "Unsupported compression method: {} (member \"{}\": {})"},
    {Message::unsupported_lhark,
     "対応していない圧縮方式です: {} (メンバー「{}」: LHARK の -lh7-。同じ名前の別の符号化です)",
     "Unsupported compression method: {} (member \"{}\": LHARK's -lh7-, "
     "another coding under the same name)"},
    {Message::self_extracting,
     "自己解凍書庫のように、先頭の {} バイトの後に LZH "
     "書庫があるファイルです。更新するとその部分を保てません: {}",
     "The file has an LZH archive after its first {} bytes, like a self-extracting "
     "archive; an update cannot keep that part: {}"},
    {Message::bytes_after_end_mark,
     "書庫の終端記号の後に {} バイトの余分なデータがあります (位置 {} "
     "から)。更新するとそのデータを保てません: {}",
     "The archive has {} bytes of extra data after its end mark (from offset {}); "
     "an update cannot keep that data: {}"},
    {Message::not_overwriting, "既存のファイルを上書きしません: {}", "Not overwriting an existing file: {}"},
    {Message::cannot_create_temp, "書庫の一時ファイルを作れません: {}",
     "Cannot create the archive's temporary file: {}"},
    {Message::archive_read_only, "書庫が読み取り専用のため書き込みません: {}",
     "Not writing: the archive is read-only: {}"},
    {Message::archive_not_writable, "書庫に書き込めません: {}", "Cannot write to the archive: {}"},
    {Message::archive_path_is_link, "書庫のパスがシンボリックリンクのため書き込みません: {}",
     "Not writing: the archive path is a symbolic link: {}"},
    {Message::archive_path_has_directory, "書庫のパスにディレクトリがあるため書き込みません: {}",
     "Not writing: there is a directory at the archive path: {}"},
    {Message::archive_path_not_regular, "書庫のパスに通常のファイル以外のものがあるため書き込みません: {}",
     "Not writing: there is something other than a regular file at the archive path: {}"},
    {Message::cannot_replace_archive, "書庫を置き換えられません: {}", "Cannot replace the archive: {}"},
    {Message::archive_replaced, "書庫が他のプログラムに置き換えられました: {}",
     "Another program replaced the archive: {}"},
    {Message::archive_keeps_appearing, "他の実行が同じ書庫を作り続けるため書き込めません: {}",
     "Cannot write: another run keeps creating the same archive: {}"},
    {Message::header_length_changed, "内部エラー: ヘッダーの長さが変わりました: {}",
     "Internal error: the header's length changed: {}"},
    {Message::damaged_data, "圧縮データが壊れています: {}", "The compressed data is damaged: {}"},
    {Message::data_ends_early,
     "圧縮データが壊れています: データが途中で終わっています（格納サイズを超えて読もうとしました）",
     "The compressed data is damaged: the data ends early (a read went past the stored size)"},
    {Message::header_cut_short, "ヘッダーが途中で切れています", "The header is cut short"},
    {Message::extended_header_too_short, "拡張ヘッダー {} が短すぎます", "Extended header {} is too short"},
    {Message::header_crc_mismatch, "ヘッダーの CRC が一致しません", "The header's CRC does not match"},
    {Message::header_checksum_mismatch, "ヘッダーのチェックサムが一致しません",
     "The header's checksum does not match"},
    {Message::not_an_lzh_header, "LZH のヘッダーではありません", "Not an LZH header"},
    {Message::unknown_header_level, "ヘッダーレベル {} には対応していません",
     "Header level {} is not supported"},
    {Message::member_data_cut_short, "メンバー「{}」のデータが途中で切れています",
     "The data of member \"{}\" is cut short"},
    {Message::header_size_mismatches_name, "ヘッダーの大きさが名前の長さと合いません",
     "The header's size does not match the name's length"},
    {Message::bad_extended_header_size, "拡張ヘッダーの大きさが不正です",
     "An extended header's size is invalid"},
    {Message::extended_headers_too_long, "拡張ヘッダーが長すぎます", "The extended headers are too long"},
    {Message::extended_headers_past_packed_size, "拡張ヘッダーが格納サイズを超えています",
     "The extended headers go past the stored size"},
    {Message::bad_header_word_size, "ヘッダーの語長が不正です", "The header's word size is invalid"},
    {Message::header_too_long, "ヘッダーが長すぎます", "The header is too long"},
    {Message::bad_header_size, "ヘッダーの大きさが不正です", "The header's size is invalid"},
    {Message::extended_header_outside, "拡張ヘッダーがヘッダーの外にはみ出しています",
     "An extended header reaches outside the header"},
    {Message::stored_size_mismatch, "格納サイズと元のサイズが一致しません",
     "The stored size does not match the original size"},
    {Message::unpacked_size_mismatch, "展開したサイズが元のサイズと一致しません",
     "The unpacked size does not match the original size"},
    {Message::data_crc_mismatch, "CRC が一致しません", "The CRC does not match"},
    {Message::huffman_lengths_all_zero, "ハフマン符号表の符号長がすべて 0 です",
     "Every code length of the Huffman table is 0"},
    {Message::huffman_over_subscribed, "ハフマン符号表が過剰です（符号が重複しています）",
     "The Huffman table is over-subscribed (codes overlap)"},
    {Message::huffman_incomplete, "ハフマン符号表が不完全です", "The Huffman table is incomplete"},
    {Message::single_symbol_out_of_range, "単一記号の符号表の記号が範囲外です",
     "The symbol of a single-symbol table is out of range"},
    {Message::length_count_out_of_range, "符号長表の個数が範囲外です",
     "The code length table's count is out of range"},
    {Message::code_length_over_16, "符号長が 16 ビットを超えています", "A code length exceeds 16 bits"},
    {Message::length_skip_out_of_range, "符号長表の省略数が範囲外です",
     "The code length table's skip count is out of range"},
    {Message::zero_run_past_count, "0 の連続が符号長表の範囲を超えています",
     "A run of zeros goes past the code length table"},
    {Message::block_of_no_codes, "ブロックの符号数が 0 です", "A block has no codes"},
    {Message::distance_before_start, "一致位置がデータの先頭より前を指しています",
     "A match points before the start of the data"},
    {Message::distance_past_dictionary, "一致位置が辞書の大きさを超えています",
     "A match distance exceeds the dictionary size"},
    {Message::match_past_end, "一致長が残りのデータ長を超えています",
     "A match length exceeds the data that remains"},
    {Message::sys_permission, "権限がありません", "permission denied"},
    {Message::sys_not_found, "見つかりません", "not found"},
    {Message::sys_no_space, "ディスクの空きが足りません", "no space left on the disk"},
    {Message::sys_quota, "ディスクの割り当て量を超えました", "disk quota exceeded"},
    {Message::sys_read_only_fs, "読み取り専用のファイルシステムです", "read-only file system"},
    {Message::sys_path_too_long, "パスが長すぎます", "path too long"},
    {Message::sys_not_a_directory, "途中にディレクトリではないものがあります",
     "a part of the path is not a directory"},
    {Message::sys_is_a_directory, "ディレクトリです", "is a directory"},
    {Message::sys_link, "シンボリックリンクです", "is a symbolic link"},
    {Message::sys_too_many_files, "開いているファイルが多すぎます", "too many open files"},
    {Message::sys_io, "入出力エラーです", "input/output error"},
    {Message::sys_too_big, "ファイルが大きすぎます", "file too large"},
    {Message::sys_busy, "使用中です", "in use"},
    {Message::verify_failed,
     "書き込んだ書庫を確かめたところ誤りがあったため、書庫は変更していません: {} ({})",
     "The written archive failed its check, so the archive was not changed: {} ({})"},
    {Message::root_has_no_name,
     "{} はルートディレクトリで名前がないため、書庫にできません "
     "(中のファイル・ディレクトリを指定してください)",
     "{} is the root directory and has no name, so it cannot be archived "
     "(name the files and directories inside it)"},
};

static_assert(std::size(kWordings) == std::size_t(Message::root_has_no_name) + 1);

std::atomic<Language> g_language{Language::japanese};

// The language part of a locale name ("ja" of "ja_JP.UTF-8@x"), lower-cased.
std::string language_part(std::string_view name)
{
    std::string part;
    for (char c : name) {
        if (c == '_' || c == '.' || c == '@' || c == '-')
            break;
        part += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    return part;
}

bool is_c_locale(std::string_view name)
{
    return name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

}  // namespace

Language language_from_environment(const char* language, const char* lc_all, const char* lc_messages,
                                   const char* lang)
{
    std::string_view locale;
    for (const char* value : {lc_all, lc_messages, lang})
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    if (locale.empty() || is_c_locale(locale))
        return Language::english;
    if (language != nullptr && *language != '\0') {
        // The user's languages in order of preference: the first that has
        // texts here wins; one without (fr, de) is passed over.
        std::string_view list = language;
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const std::string part = language_part(list.substr(0, colon));
            if (part == "ja")
                return Language::japanese;
            if (part == "en")
                return Language::english;
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
    }
    return language_part(locale) == "ja" ? Language::japanese : Language::english;
}

Language desktop_language()
{
#ifdef _WIN32
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::japanese
                                                                        : Language::english;
#else
    return language_from_environment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                                     std::getenv("LC_MESSAGES"), std::getenv("LANG"));
#endif
}

Language message_language()
{
    return g_language.load(std::memory_order_relaxed);
}

void set_message_language(Language lang)
{
    g_language.store(lang, std::memory_order_relaxed);
}

std::string_view message_text(Message code, Language lang)
{
    const std::size_t i = std::size_t(code);
    if (i >= std::size(kWordings))
        return "";
    // A row without its English reads as empty (language_tests fails on it).
    const char* text = lang == Language::english ? kWordings[i].english : kWordings[i].japanese;
    return text ? text : "";
}

std::string message_sentence(Message code, const std::vector<std::string>& args, Language lang)
{
    const std::string_view text = message_text(code, lang);
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "{}") == 0) {
            if (next < args.size())
                out += args[next++];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string Error::sentence(Message code, const std::vector<std::string>& args, int system_error,
                            const Error* detail)
{
    std::string s;
    if (detail) {
        std::vector<std::string> all = args;
        all.emplace_back(detail->what());
        s = message_sentence(code, all);
    } else {
        s = message_sentence(code, args);
    }
    if (system_error != 0)
        s += " (" + errno_text(system_error) + ")";
    return s;
}

}  // namespace lzh
