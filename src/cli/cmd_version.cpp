// cmd_version.cpp - pelkoran-cli version: the library's version as the title shows it.
#include "commands.h"

#include "pelkoran/archiver.h"

#include <cstdio>

int RunVersion(int, char**)
{
    std::printf("%.2f\n", ArchiverGetVersion() * 0.01);
    return 0;
}
