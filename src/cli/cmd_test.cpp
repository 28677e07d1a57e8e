// cmd_test.cpp - `pelkoran-cli test ARCHIVE...`: decodes every member and checks every CRC.
#include "commands.h"

#include "archive_reader.h"
#include "io.h"

#include <cstdio>

namespace {

void TestArchive(const char* path)
{
    lzh::ArchiveReader reader(path);
    std::size_t count = 0;
    for (const lzh::MemberHeader& h : reader.members()) {
        lzh::NullSink sink;
        reader.extract(h, sink);
        ++count;
    }
    std::printf("OK: %s (%zu 個のメンバー)\n", path, count);
}

}  // namespace

int RunTest(int argc, char** argv)
{
    return ForEachArchive(argc, argv, "使い方: pelkoran-cli test ARCHIVE...", TestArchive);
}
