// commands.h - the subcommands of pelkoran-cli, one function per cmd_<name>.cpp.
#pragma once

// Each gets the arguments after its own name and returns the exit status.
int RunTest(int argc, char** argv);
int RunList(int argc, char** argv);
int RunCommand(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunPack(int argc, char** argv);

// Runs `each` on every archive named in argv; an lzh::Error from it is printed
// to stderr as "エラー: ..." and makes the result 1. No archive: usage, 2.
int ForEachArchive(int argc, char** argv, const char* usage, void (*each)(const char* archive));
