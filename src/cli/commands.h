// commands.h - the subcommands of pelkoran-cli, one function per cmd_<name>.cpp.
#pragma once

// Each gets the arguments after its own name and returns the exit status.
int RunTest(int argc, char** argv);
int RunList(int argc, char** argv);
int RunCommand(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunPack(int argc, char** argv);
