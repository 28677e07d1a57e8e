// cli_texts.h - what pelkoran-cli itself prints, in Japanese and in English.
//
// The engine's reports come worded already (lzh::message_text); these are the
// command line's own: usage, headings, notes. Each text is a printf format,
// with the same conversions in the same order in both languages.
#pragma once

#include "pelkoran/messages.h"

#include <cstddef>

enum class CliText {
    usage,
    help_entry,
    unknown_command,
    cannot_write_stdout,
    broken_pipe,
    error_line,
    warn_stub,
    warn_trailing,
    summary_test,
    summary_list,
    summary_command,
    summary_version,
    summary_pack,
    pack_usage,
    pack_bad_method,
    pack_bad_level,
    pack_no_output_dir,
    pack_unknown_option,
    pack_no_items,
    pack_path_missing,
    list_usage,
    list_method,
    list_original,
    list_packed,
    list_ratio,
    list_time,
    list_name,
    list_time_unknown,
    list_total,
    list_members,
    test_usage,
    test_unchecked_member,
    test_unchecked,
    test_ok,
    command_usage,
    special_file_left_out,
};

// How many texts there are (the last code plus one).
inline constexpr std::size_t kCliTextCount = std::size_t(CliText::special_file_left_out) + 1;

// `text` in `lang`.
const char* Text(CliText text, lzh::Language lang = lzh::message_language());
