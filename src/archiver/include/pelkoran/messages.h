// messages.h - what the engine says to the user: one code per message, and
// its wording.
//
// The engine reports a code with the arguments it concerns (paths, counts,
// details) and, for a system error, the errno; message_text() words the code
// in a language, where "{}" stands for the arguments in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lzh {

enum class Message : std::uint16_t {
    no_command,
    empty_command,
    unknown_command,
    unclosed_quote,
    no_blank_after_quote,
    misplaced_quote,
    unknown_switch,
    no_archive_path,
    archive_path_is_directory,
    no_base_directory,
    no_items,
    no_d1_switch,
    empty_item,
    empty_item_named,
    item_not_relative,
    item_with_dotdot,
    nothing_to_pack,
    out_of_memory,
    internal_error_with,
    internal_error,
    cancelled,
    packed_report,
    special_files_left_out,
    waiting_for_other_run,
    empty_stored_name,
    unstorable_path,
    backslash_in_name,
    byte_ff_in_directory_name,
    bar_in_link_name,
    bar_byte_in_link_name,
    byte_ff_in_link_target,
    name_too_long,
    same_name_twice,
    not_utf8_name,
    cannot_follow_path,
    cannot_open_file,
    cannot_stat_file,
    not_a_regular_file_to_read,
    cannot_read_file,
    cannot_reread_file,
    file_changed_while_read,
    file_of_4gib,
    cannot_read_directory,
    directory_swapped,
    cannot_read_link,
    empty_link_target,
    item_not_found,
    link_target_missing,
    cannot_write,
    cannot_write_to_disk,
    cannot_open_archive,
    cannot_stat_archive,
    cannot_read_archive,
    not_a_regular_file,
    archive_cut_short,
    not_an_lzh_archive,
    empty_file_not_archive,
    damaged_header,
    damaged_member,
    unsupported_method,
    unsupported_lhark,
    self_extracting,
    bytes_after_end_mark,
    not_overwriting,
    cannot_create_temp,
    archive_read_only,
    archive_not_writable,
    archive_path_is_link,
    archive_path_has_directory,
    archive_path_not_regular,
    cannot_replace_archive,
    archive_replaced,
    archive_keeps_appearing,
    header_length_changed,
    damaged_data,
    data_ends_early,
    // What a damaged header shows (the detail of damaged_header).
    header_cut_short,
    extended_header_too_short,
    header_crc_mismatch,
    header_checksum_mismatch,
    not_an_lzh_header,
    unknown_header_level,
    member_data_cut_short,
    header_size_mismatches_name,
    bad_extended_header_size,
    extended_headers_too_long,
    extended_headers_past_packed_size,
    bad_header_word_size,
    header_too_long,
    bad_header_size,
    extended_header_outside,
    // What a damaged member shows (the detail of damaged_member).
    stored_size_mismatch,
    unpacked_size_mismatch,
    data_crc_mismatch,
    // What damaged compressed data shows (the detail of damaged_data).
    huffman_lengths_all_zero,
    huffman_over_subscribed,
    huffman_incomplete,
    single_symbol_out_of_range,
    length_count_out_of_range,
    code_length_over_16,
    length_skip_out_of_range,
    zero_run_past_count,
    block_of_no_codes,
    distance_before_start,
    distance_past_dictionary,
    match_past_end,
    sys_permission,
    sys_not_found,
    sys_no_space,
    sys_quota,
    sys_read_only_fs,
    sys_path_too_long,
    sys_not_a_directory,
    sys_is_a_directory,
    sys_link,
    sys_too_many_files,
    sys_io,
    sys_too_big,
    sys_busy,
    verify_failed,
    root_has_no_name,
};

enum class Language : std::uint8_t { japanese, english };

/*
 * language_from_environment - the user's language as gettext reads the
 * environment: the locale is the first non-empty of LC_ALL, LC_MESSAGES and
 * LANG; unset, "C", "C.<codeset>" or "POSIX" means English. Otherwise
 * LANGUAGE, a colon-separated list in order of preference, decides when one
 * of its entries is Japanese ("ja", "ja_JP") or English ("en", "en_GB"):
 * the first such entry wins. Failing that, the locale's language does:
 * Japanese for "ja…", English for any other. Null pointers stand for unset
 * variables.
 */
Language language_from_environment(const char* language, const char* lc_all, const char* lc_messages,
                                   const char* lang);

// The desktop's language: on Windows the user's UI language
// (GetUserDefaultUILanguage), elsewhere language_from_environment() over the
// process's environment.
Language desktop_language();

// The language the engine words its messages in, for the whole process:
// Japanese until a program sets another (set it once at start, before any
// run begins).
Language message_language();
void set_message_language(Language lang);

// The wording of `code`: a template in which each "{}" takes the next argument.
std::string_view message_text(Message code, Language lang = message_language());

// `code` worded with `args` filled in.
std::string message_sentence(Message code, const std::vector<std::string>& args,
                             Language lang = message_language());

// A system error (an errno value) in a few words of message_language().
std::string errno_text(int err);

}  // namespace lzh
