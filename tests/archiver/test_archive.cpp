// test_archive.cpp - damaged archives the reader reports, never a crash.
#include "archive_support.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

/*
 * Damage in a member's data is reported naming the member; a cut archive or
 * bytes after the end mark are refused; random damage anywhere ends in a
 * DataError or in plausible output, never a crash, a hang or another error.
 */
TEST(ArchiveTest, RandomDamageEndsInDataErrorNeverACrash)
{
    TempDir t;
    write_file(t / "src/d/t", text_data(40000));
    write_file(t / "src/r", noise(500, 9));
    write_file(t / "src/e", "");
    write_file(t / "src/b", text_data(3000, 2));
    const std::string archive = t / "a.lzh";
    ASSERT_EQ(run_command(add_command(archive, t / "src/", {"d", "r", "e", "b"}, " -lh7")).rc,
              lzh::kArchiverOk);
    const std::string good = read_file(archive);
    const auto members = lzh::ArchiveReader(archive).members();

    for (std::size_t i : {1, 2}) {  // coded, stored
        std::string bad = good;
        bad[members[i].data_offset + members[i].packed_size / 2] ^= 0x40;
        write_file(archive, bad);
        try {
            read_archive(archive);
            ADD_FAILURE() << "damage in " << members[i].path << " not found";
        } catch (const lzh::DataError& e) {
            EXPECT_TRUE(contains(e.what(), members[i].path)) << e.what();
        }
    }
    for (const std::string& bad : {good.substr(0, good.size() - 10), good + "x"}) {
        write_file(archive, bad);
        EXPECT_THROW(lzh::ArchiveReader(archive).members(), lzh::DataError);
    }
    std::mt19937 rng(99);
    int errors = 0;
    for (int round = 0; round < 300; ++round) {
        std::string b = good;
        for (int k = 0, hits = 1 + int(rng() % 3); k < hits; ++k)
            b[rng() % b.size()] ^= char(1 + rng() % 255);
        write_file(archive, b);
        try {
            read_archive(archive);
        } catch (const lzh::DataError&) {
            ++errors;
        }
    }
    EXPECT_GT(errors, 225);  // nearly every damage is noticed (header CRC, data CRC)
}

}  // namespace
