// commands.h - the subcommands of pelkoran-cli, one function per cmd_<name>.cpp.
#pragma once

// Each gets the arguments after its own name and returns the exit status.
int RunTest(int argc, char** argv);
int RunList(int argc, char** argv);
int RunCommand(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunPack(int argc, char** argv);

#include "pelkoran/archive_contents.h"

#include <string>
#include <string_view>

// Exit status of `test` when no member is damaged but some use a method this
// engine does not decode (damage or an unreadable archive: 1).
inline constexpr int kExitUnsupported = 3;

/*
 * Runs `each` on every archive named in argv; it returns 0 or kExitUnsupported.
 * An lzh::Error from it is printed to stderr as "エラー: ..." and makes the
 * result 1, which wins over kExitUnsupported. No archive: usage, 2.
 */
int ForEachArchive(int argc, char** argv, const char* usage, int (*each)(const char* archive));

// `s` (UTF-8) with control characters (C0, DEL, C1) shown as \xNN or \u00NN,
// so that no name can move the cursor or change the terminal.
std::string EscapeControls(std::string_view s);

// Warns on stderr about an executable stub before the archive and bytes after its end mark.
void WarnAboutLayout(const char* archive, const lzh::ArchiveLayout& layout);
