// test_messages.cpp - the engine's wording: every code's text, and how a
// message is put together.
#include "pelkoran/error.h"
#include "pelkoran/messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

namespace {

using M = lzh::Message;

// The wording users see, byte for byte: a change here is a change of the
// program's messages, made on purpose.
TEST(Messages, JapaneseWordingOfEveryCode)
{
    const std::vector<std::pair<M, std::string>> wording = {
        {M::no_command, "コマンドがありません"},
        {M::empty_command, "コマンドが空です"},
        {M::unknown_command, "知らないコマンドです: {} (使えるのは a だけです)"},
        {M::unclosed_quote, "コマンドの引用符 (\") が閉じていません"},
        {M::no_blank_after_quote, "引用符で囲んだ引数の直後に空白がありません: {}"},
        {M::misplaced_quote, "引用符の位置が正しくありません: {}"},
        {M::unknown_switch, "知らないスイッチです: {}"},
        {M::no_archive_path, "書庫のパスがありません"},
        {M::archive_path_is_directory, "書庫のパスがディレクトリを指しています: {}"},
        {M::no_base_directory, "基準ディレクトリ (区切り文字で終わるパス) がありません"},
        {M::no_items, "圧縮する対象がありません"},
        {M::no_d1_switch, "スイッチ -d1 がありません"},
        {M::empty_item, "対象の名前が空です"},
        {M::empty_item_named, "対象の名前が空です: {}"},
        {M::item_not_relative, "対象は基準ディレクトリからの相対パスで指定してください: {}"},
        {M::item_with_dotdot, "対象に \"..\" は使えません: {}"},
        {M::nothing_to_pack, "圧縮できるものがありません: {}"},
        {M::out_of_memory, "メモリが足りません"},
        {M::internal_error_with, "内部エラー: {}"},
        {M::internal_error, "内部エラーです"},
        {M::cancelled, "中止しました: {}"},
        {M::packed_report, "{}: {} 件追加, {} 件置換, {} 件保持 ({} → {} バイト)"},
        {M::special_files_left_out, "特殊ファイルは圧縮しませんでした:"},
        {M::waiting_for_other_run, "他の実行がこの書庫を書き終えるのを待っています"},
        {M::empty_stored_name, "格納する名前が空です"},
        {M::unstorable_path, "格納できないパスです (空の要素、「.」または「..」を含みます): {}"},
        {M::backslash_in_name, "名前に「\\」を含むため格納できません (展開ソフトが区切りと見なします): {}"},
        {M::byte_ff_in_directory_name,
         "ディレクトリ名またはリンクの名前にバイト 0xFF を含むため格納できません "
         "(書庫ではディレクトリの区切りです): {}"},
        {M::bar_in_link_name, "名前に「|」を含むシンボリックリンクは格納できません: {}"},
        {M::bar_byte_in_link_name, "名前に「|」と同じバイトを含むシンボリックリンクは格納できません: {}"},
        {M::byte_ff_in_link_target,
         "リンク先にバイト 0xFF を含むシンボリックリンクは格納できません (書庫ではディレクトリの区切りです): "
         "{}"},
        {M::name_too_long, "名前が長すぎて格納できません: {}"},
        {M::same_name_twice, "書庫の中で同じ名前になるものが 2 つあります: {} と {}"},
        {M::not_utf8_name, "{} (UTF-8 ではない名前)"},
        {M::cannot_follow_path, "パスをたどれません: {}"},
        {M::cannot_open_file, "ファイルを開けません: {}"},
        {M::cannot_stat_file, "ファイルの情報を読めません: {}"},
        {M::not_a_regular_file_to_read, "通常のファイルではないため読めません: {}"},
        {M::cannot_read_file, "ファイルを読めません: {}"},
        {M::cannot_reread_file, "ファイルを読み直せません: {}"},
        {M::file_changed_while_read, "読み取り中にファイルが変更されました: {}"},
        {M::file_of_4gib, "4 GiB 以上のファイルは格納できません: {}"},
        {M::cannot_read_directory, "ディレクトリを読めません: {}"},
        {M::directory_swapped, "読み取り中にディレクトリが入れ替えられました: {}"},
        {M::cannot_read_link, "シンボリックリンクを読めません: {}"},
        {M::empty_link_target, "シンボリックリンクの参照先が空です: {}"},
        {M::item_not_found, "対象が見つかりません: {}"},
        {M::link_target_missing, "対象が見つかりません: {} (リンク先がありません)"},
        {M::cannot_write, "書き込めません: {}"},
        {M::cannot_write_to_disk, "ディスクに書き込めません: {}"},
        {M::cannot_open_archive, "書庫を開けません: {}"},
        {M::cannot_stat_archive, "書庫の情報を読めません: {}"},
        {M::cannot_read_archive, "書庫を読めません: {}"},
        {M::not_a_regular_file, "通常のファイルではありません: {}"},
        {M::archive_cut_short, "書庫が途中で切れています: {}"},
        {M::not_an_lzh_archive, "LZH 書庫ではありません: {}"},
        {M::empty_file_not_archive, "LZH 書庫ではありません (空のファイルです): {}"},
        {M::damaged_header, "書庫が壊れています: {} (位置 {} のヘッダー: {})"},
        {M::damaged_member, "書庫が壊れています: {} (メンバー「{}」: {})"},
        {M::unsupported_method, "対応していない圧縮方式です: {} (メンバー「{}」: {})"},
        {M::unsupported_lhark,
         "対応していない圧縮方式です: {} (メンバー「{}」: LHARK の -lh7-。同じ名前の別の符号化です)"},
        {M::self_extracting,
         "自己解凍書庫のように、先頭の {} バイトの後に LZH "
         "書庫があるファイルです。更新するとその部分を保てません: {}"},
        {M::bytes_after_end_mark,
         "書庫の終端記号の後に {} バイトの余分なデータがあります (位置 {} "
         "から)。更新するとそのデータを保てません: {}"},
        {M::not_overwriting, "既存のファイルを上書きしません: {}"},
        {M::cannot_create_temp, "書庫の一時ファイルを作れません: {}"},
        {M::archive_read_only, "書庫が読み取り専用のため書き込みません: {}"},
        {M::archive_not_writable, "書庫に書き込めません: {}"},
        {M::archive_path_is_link, "書庫のパスがシンボリックリンクのため書き込みません: {}"},
        {M::archive_path_has_directory, "書庫のパスにディレクトリがあるため書き込みません: {}"},
        {M::archive_path_not_regular, "書庫のパスに通常のファイル以外のものがあるため書き込みません: {}"},
        {M::cannot_replace_archive, "書庫を置き換えられません: {}"},
        {M::archive_replaced, "書庫が他のプログラムに置き換えられました: {}"},
        {M::archive_keeps_appearing, "他の実行が同じ書庫を作り続けるため書き込めません: {}"},
        {M::header_length_changed, "内部エラー: ヘッダーの長さが変わりました: {}"},
        {M::damaged_data, "圧縮データが壊れています: {}"},
        {M::data_ends_early,
         "圧縮データが壊れています: データが途中で終わっています（格納サイズを超えて読もうとしました）"},
        {M::header_cut_short, "ヘッダーが途中で切れています"},
        {M::extended_header_too_short, "拡張ヘッダー {} が短すぎます"},
        {M::header_crc_mismatch, "ヘッダーの CRC が一致しません"},
        {M::header_checksum_mismatch, "ヘッダーのチェックサムが一致しません"},
        {M::not_an_lzh_header, "LZH のヘッダーではありません"},
        {M::unknown_header_level, "ヘッダーレベル {} には対応していません"},
        {M::member_data_cut_short, "メンバー「{}」のデータが途中で切れています"},
        {M::header_size_mismatches_name, "ヘッダーの大きさが名前の長さと合いません"},
        {M::bad_extended_header_size, "拡張ヘッダーの大きさが不正です"},
        {M::extended_headers_too_long, "拡張ヘッダーが長すぎます"},
        {M::extended_headers_past_packed_size, "拡張ヘッダーが格納サイズを超えています"},
        {M::bad_header_word_size, "ヘッダーの語長が不正です"},
        {M::header_too_long, "ヘッダーが長すぎます"},
        {M::bad_header_size, "ヘッダーの大きさが不正です"},
        {M::extended_header_outside, "拡張ヘッダーがヘッダーの外にはみ出しています"},
        {M::stored_size_mismatch, "格納サイズと元のサイズが一致しません"},
        {M::unpacked_size_mismatch, "展開したサイズが元のサイズと一致しません"},
        {M::data_crc_mismatch, "CRC が一致しません"},
        {M::huffman_lengths_all_zero, "ハフマン符号表の符号長がすべて 0 です"},
        {M::huffman_over_subscribed, "ハフマン符号表が過剰です（符号が重複しています）"},
        {M::huffman_incomplete, "ハフマン符号表が不完全です"},
        {M::single_symbol_out_of_range, "単一記号の符号表の記号が範囲外です"},
        {M::length_count_out_of_range, "符号長表の個数が範囲外です"},
        {M::code_length_over_16, "符号長が 16 ビットを超えています"},
        {M::length_skip_out_of_range, "符号長表の省略数が範囲外です"},
        {M::zero_run_past_count, "0 の連続が符号長表の範囲を超えています"},
        {M::block_of_no_codes, "ブロックの符号数が 0 です"},
        {M::distance_before_start, "一致位置がデータの先頭より前を指しています"},
        {M::distance_past_dictionary, "一致位置が辞書の大きさを超えています"},
        {M::match_past_end, "一致長が残りのデータ長を超えています"},
        {M::sys_permission, "権限がありません"},
        {M::sys_not_found, "見つかりません"},
        {M::sys_no_space, "ディスクの空きが足りません"},
        {M::sys_quota, "ディスクの割り当て量を超えました"},
        {M::sys_read_only_fs, "読み取り専用のファイルシステムです"},
        {M::sys_path_too_long, "パスが長すぎます"},
        {M::sys_not_a_directory, "途中にディレクトリではないものがあります"},
        {M::sys_is_a_directory, "ディレクトリです"},
        {M::sys_link, "シンボリックリンクです"},
        {M::sys_too_many_files, "開いているファイルが多すぎます"},
        {M::sys_io, "入出力エラーです"},
        {M::sys_too_big, "ファイルが大きすぎます"},
        {M::sys_busy, "使用中です"},
        {M::verify_failed, "書き込んだ書庫を確かめたところ誤りがあったため、書庫は変更していません: {} ({})"},
        {M::root_has_no_name,
         "{} はルートディレクトリで名前がないため、書庫にできません "
         "(中のファイル・ディレクトリを指定してください)"},
    };
    std::size_t next = 0;
    for (const auto& [code, text] : wording) {
        EXPECT_EQ(std::size_t(code), next++) << "the list follows the codes' order";
        EXPECT_EQ(lzh::message_text(code), text) << std::size_t(code);
    }
    EXPECT_EQ(lzh::message_text(M(next)), "") << "a code past the table has no wording";
}

TEST(Messages, ArgumentsAndSystemErrorsFillTheSentence)
{
    EXPECT_EQ(lzh::message_sentence(M::damaged_member, {"a.lzh", "x.txt", "ハフマン符号表が不完全です"}),
              "書庫が壊れています: a.lzh (メンバー「x.txt」: ハフマン符号表が不完全です)");

    const lzh::Error e(M::cannot_write, {"/out/a.lzh"}, ENOSPC);
    EXPECT_STREQ(e.what(), "書き込めません: /out/a.lzh (ディスクの空きが足りません)");
    EXPECT_EQ(e.code(), M::cannot_write);
    EXPECT_EQ(e.args(), std::vector<std::string>{"/out/a.lzh"});
    EXPECT_EQ(e.system_error(), ENOSPC);
    EXPECT_STREQ(lzh::Error(M::empty_command).what(), "コマンドが空です");
}

// A failure found inside another words the outer template's last "{}", and
// its codes stay reachable through detail().
TEST(Messages, DetailsFillTheLastPlace)
{
    const lzh::DataError data(M::damaged_data, {}, lzh::Error(M::huffman_incomplete));
    const lzh::DataError member(M::damaged_member, {"a.lzh", "x.txt"}, data);
    const lzh::Error refusal(M::not_overwriting, {}, member);
    EXPECT_STREQ(refusal.what(),
                 "既存のファイルを上書きしません: 書庫が壊れています: a.lzh "
                 "(メンバー「x.txt」: 圧縮データが壊れています: ハフマン符号表が不完全です)");
    ASSERT_NE(refusal.detail(), nullptr);
    EXPECT_EQ(refusal.detail()->code(), M::damaged_member);
    EXPECT_EQ(refusal.detail()->args(), (std::vector<std::string>{"a.lzh", "x.txt"}));
    ASSERT_NE(refusal.detail()->detail(), nullptr);
    EXPECT_EQ(refusal.detail()->detail()->detail()->code(), M::huffman_incomplete);
    EXPECT_EQ(
        lzh::Error(M::damaged_header, {"a.lzh", "7"}, lzh::Error(M::unknown_header_level, {"3"})).what(),
        std::string("書庫が壊れています: a.lzh (位置 7 のヘッダー: ヘッダーレベル 3 には対応していません)"));
    EXPECT_EQ(lzh::Error(M::empty_command).detail(), nullptr);
}

}  // namespace
