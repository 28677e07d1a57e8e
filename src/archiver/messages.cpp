// messages.cpp - the wording of every message of the engine.
#include "pelkoran/messages.h"

#include "fs/file_io.h"

#include <iterator>

namespace lzh {

namespace {

struct Wording {
    Message code;
    const char* japanese;
};

// In the order of the codes.
constexpr Wording kWordings[] = {
    {Message::no_command, "コマンドがありません"},
    {Message::empty_command, "コマンドが空です"},
    {Message::unknown_command, "知らないコマンドです: {} (使えるのは a だけです)"},
    {Message::unclosed_quote, "コマンドの引用符 (\") が閉じていません"},
    {Message::no_blank_after_quote, "引用符で囲んだ引数の直後に空白がありません: {}"},
    {Message::misplaced_quote, "引用符の位置が正しくありません: {}"},
    {Message::unknown_switch, "知らないスイッチです: {}"},
    {Message::no_archive_path, "書庫のパスがありません"},
    {Message::archive_path_is_directory, "書庫のパスがディレクトリを指しています: {}"},
    {Message::no_base_directory, "基準ディレクトリ (区切り文字で終わるパス) がありません"},
    {Message::no_items, "圧縮する対象がありません"},
    {Message::no_d1_switch, "スイッチ -d1 がありません"},
    {Message::empty_item, "対象の名前が空です"},
    {Message::empty_item_named, "対象の名前が空です: {}"},
    {Message::item_not_relative, "対象は基準ディレクトリからの相対パスで指定してください: {}"},
    {Message::item_with_dotdot, "対象に \"..\" は使えません: {}"},
    {Message::nothing_to_pack, "圧縮できるものがありません: {}"},
    {Message::out_of_memory, "メモリが足りません"},
    {Message::internal_error_with, "内部エラー: {}"},
    {Message::internal_error, "内部エラーです"},
    {Message::cancelled, "中止しました: {}"},
    {Message::packed_report, "{}: {} 件追加, {} 件置換, {} 件保持 ({} → {} バイト)"},
    {Message::special_files_left_out, "特殊ファイルは圧縮しませんでした:"},
    {Message::waiting_for_other_run, "他の実行がこの書庫を書き終えるのを待っています"},
    {Message::empty_stored_name, "格納する名前が空です"},
    {Message::unstorable_path, "格納できないパスです (空の要素、「.」または「..」を含みます): {}"},
    {Message::backslash_in_name, "名前に「\\」を含むため格納できません (展開ソフトが区切りと見なします): {}"},
    {Message::byte_ff_in_directory_name,
     "ディレクトリ名またはリンクの名前にバイト 0xFF を含むため格納できません "
     "(書庫ではディレクトリの区切りです): {}"},
    {Message::bar_in_link_name, "名前に「|」を含むシンボリックリンクは格納できません: {}"},
    {Message::bar_byte_in_link_name, "名前に「|」と同じバイトを含むシンボリックリンクは格納できません: {}"},
    {Message::byte_ff_in_link_target,
     "リンク先にバイト 0xFF を含むシンボリックリンクは格納できません (書庫ではディレクトリの区切りです): {}"},
    {Message::name_too_long, "名前が長すぎて格納できません: {}"},
    {Message::same_name_twice, "書庫の中で同じ名前になるものが 2 つあります: {} と {}"},
    {Message::not_utf8_name, "{} (UTF-8 ではない名前)"},
    {Message::cannot_follow_path, "パスをたどれません: {}"},
    {Message::cannot_open_file, "ファイルを開けません: {}"},
    {Message::cannot_stat_file, "ファイルの情報を読めません: {}"},
    {Message::not_a_regular_file_to_read, "通常のファイルではないため読めません: {}"},
    {Message::cannot_read_file, "ファイルを読めません: {}"},
    {Message::cannot_reread_file, "ファイルを読み直せません: {}"},
    {Message::file_changed_while_read, "読み取り中にファイルが変更されました: {}"},
    {Message::file_of_4gib, "4 GiB 以上のファイルは格納できません: {}"},
    {Message::cannot_read_directory, "ディレクトリを読めません: {}"},
    {Message::directory_swapped, "読み取り中にディレクトリが入れ替えられました: {}"},
    {Message::cannot_read_link, "シンボリックリンクを読めません: {}"},
    {Message::empty_link_target, "シンボリックリンクの参照先が空です: {}"},
    {Message::item_not_found, "対象が見つかりません: {}"},
    {Message::link_target_missing, "対象が見つかりません: {} (リンク先がありません)"},
    {Message::cannot_write, "書き込めません: {}"},
    {Message::cannot_write_to_disk, "ディスクに書き込めません: {}"},
    {Message::cannot_open_archive, "書庫を開けません: {}"},
    {Message::cannot_stat_archive, "書庫の情報を読めません: {}"},
    {Message::cannot_read_archive, "書庫を読めません: {}"},
    {Message::not_a_regular_file, "通常のファイルではありません: {}"},
    {Message::archive_cut_short, "書庫が途中で切れています: {}"},
    {Message::not_an_lzh_archive, "LZH 書庫ではありません: {}"},
    {Message::empty_file_not_archive, "LZH 書庫ではありません (空のファイルです): {}"},
    {Message::damaged_header, "書庫が壊れています: {} (位置 {} のヘッダー: {})"},
    {Message::damaged_member, "書庫が壊れています: {} (メンバー「{}」: {})"},
    {Message::unsupported_method, "対応していない圧縮方式です: {} (メンバー「{}」: {})"},
    {Message::unsupported_lhark,
     "対応していない圧縮方式です: {} (メンバー「{}」: LHARK の -lh7-。同じ名前の別の符号化です)"},
    {Message::self_extracting,
     "自己解凍書庫のように、先頭の {} バイトの後に LZH "
     "書庫があるファイルです。更新するとその部分を保てません: {}"},
    {Message::bytes_after_end_mark,
     "書庫の終端記号の後に {} バイトの余分なデータがあります (位置 {} "
     "から)。更新するとそのデータを保てません: {}"},
    {Message::not_overwriting, "既存のファイルを上書きしません: {}"},
    {Message::cannot_create_temp, "書庫の一時ファイルを作れません: {}"},
    {Message::archive_read_only, "書庫が読み取り専用のため書き込みません: {}"},
    {Message::archive_not_writable, "書庫に書き込めません: {}"},
    {Message::archive_path_is_link, "書庫のパスがシンボリックリンクのため書き込みません: {}"},
    {Message::archive_path_has_directory, "書庫のパスにディレクトリがあるため書き込みません: {}"},
    {Message::archive_path_not_regular, "書庫のパスに通常のファイル以外のものがあるため書き込みません: {}"},
    {Message::cannot_replace_archive, "書庫を置き換えられません: {}"},
    {Message::archive_replaced, "書庫が他のプログラムに置き換えられました: {}"},
    {Message::archive_keeps_appearing, "他の実行が同じ書庫を作り続けるため書き込めません: {}"},
    {Message::header_length_changed, "内部エラー: ヘッダーの長さが変わりました: {}"},
    {Message::damaged_data, "圧縮データが壊れています: {}"},
    {Message::data_ends_early,
     "圧縮データが壊れています: データが途中で終わっています（格納サイズを超えて読もうとしました）"},
    {Message::header_cut_short, "ヘッダーが途中で切れています"},
    {Message::extended_header_too_short, "拡張ヘッダー {} が短すぎます"},
    {Message::header_crc_mismatch, "ヘッダーの CRC が一致しません"},
    {Message::header_checksum_mismatch, "ヘッダーのチェックサムが一致しません"},
    {Message::not_an_lzh_header, "LZH のヘッダーではありません"},
    {Message::unknown_header_level, "ヘッダーレベル {} には対応していません"},
    {Message::member_data_cut_short, "メンバー「{}」のデータが途中で切れています"},
    {Message::header_size_mismatches_name, "ヘッダーの大きさが名前の長さと合いません"},
    {Message::bad_extended_header_size, "拡張ヘッダーの大きさが不正です"},
    {Message::extended_headers_too_long, "拡張ヘッダーが長すぎます"},
    {Message::extended_headers_past_packed_size, "拡張ヘッダーが格納サイズを超えています"},
    {Message::bad_header_word_size, "ヘッダーの語長が不正です"},
    {Message::header_too_long, "ヘッダーが長すぎます"},
    {Message::bad_header_size, "ヘッダーの大きさが不正です"},
    {Message::extended_header_outside, "拡張ヘッダーがヘッダーの外にはみ出しています"},
    {Message::stored_size_mismatch, "格納サイズと元のサイズが一致しません"},
    {Message::unpacked_size_mismatch, "展開したサイズが元のサイズと一致しません"},
    {Message::data_crc_mismatch, "CRC が一致しません"},
    {Message::huffman_lengths_all_zero, "ハフマン符号表の符号長がすべて 0 です"},
    {Message::huffman_over_subscribed, "ハフマン符号表が過剰です（符号が重複しています）"},
    {Message::huffman_incomplete, "ハフマン符号表が不完全です"},
    {Message::single_symbol_out_of_range, "単一記号の符号表の記号が範囲外です"},
    {Message::length_count_out_of_range, "符号長表の個数が範囲外です"},
    {Message::code_length_over_16, "符号長が 16 ビットを超えています"},
    {Message::length_skip_out_of_range, "符号長表の省略数が範囲外です"},
    {Message::zero_run_past_count, "0 の連続が符号長表の範囲を超えています"},
    {Message::block_of_no_codes, "ブロックの符号数が 0 です"},
    {Message::distance_before_start, "一致位置がデータの先頭より前を指しています"},
    {Message::distance_past_dictionary, "一致位置が辞書の大きさを超えています"},
    {Message::match_past_end, "一致長が残りのデータ長を超えています"},
    {Message::sys_permission, "権限がありません"},
    {Message::sys_not_found, "見つかりません"},
    {Message::sys_no_space, "ディスクの空きが足りません"},
    {Message::sys_quota, "ディスクの割り当て量を超えました"},
    {Message::sys_read_only_fs, "読み取り専用のファイルシステムです"},
    {Message::sys_path_too_long, "パスが長すぎます"},
    {Message::sys_not_a_directory, "途中にディレクトリではないものがあります"},
    {Message::sys_is_a_directory, "ディレクトリです"},
    {Message::sys_link, "シンボリックリンクです"},
    {Message::sys_too_many_files, "開いているファイルが多すぎます"},
    {Message::sys_io, "入出力エラーです"},
    {Message::sys_too_big, "ファイルが大きすぎます"},
    {Message::sys_busy, "使用中です"},
    {Message::verify_failed,
     "書き込んだ書庫を確かめたところ誤りがあったため、書庫は変更していません: {} ({})"},
    {Message::root_has_no_name,
     "{} はルートディレクトリで名前がないため、書庫にできません "
     "(中のファイル・ディレクトリを指定してください)"},
};

static_assert(std::size(kWordings) == std::size_t(Message::root_has_no_name) + 1);

}  // namespace

std::string_view message_text(Message code, Language)
{
    const std::size_t i = std::size_t(code);
    return i < std::size(kWordings) ? kWordings[i].japanese : "";
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
