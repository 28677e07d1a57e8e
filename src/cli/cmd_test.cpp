// cmd_test.cpp - `pelkoran-cli test ARCHIVE...`: decodes every member and checks every CRC.
#include "commands.h"

#include "archive_reader.h"
#include "io.h"

#include <cstdio>

int RunTest(int argc, char** argv)
{
    if (argc < 1) {
        std::fprintf(stderr, "使い方: pelkoran-cli test ARCHIVE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        try {
            lzh::ArchiveReader reader(argv[i]);
            std::size_t count = 0;
            for (const lzh::MemberHeader& h : reader.members()) {
                lzh::NullSink sink;
                reader.extract(h, sink);
                ++count;
            }
            std::printf("OK: %s (%zu 個のメンバー)\n", argv[i], count);
        } catch (const lzh::Error& e) {
            std::printf("エラー: %s\n", e.what());
            status = 1;
        }
    }
    return status;
}
