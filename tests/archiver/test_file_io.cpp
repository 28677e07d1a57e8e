// test_file_io.cpp - file sources and sinks: no blocking on special files,
// patching and cutting back what was written, and the injected write fault.
#include "file_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-fileio-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        lzh::set_write_fault(std::nullopt);
        EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
    std::string slurp(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int create(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644); }

    std::string dir_;
};

TEST_F(FileIoTest, SourceRefusesFifosDirectoriesAndLinksWithoutBlocking)
{
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_THROW(lzh::FileSource{fifo}, lzh::Error);   // would block forever if opened for reading
    EXPECT_THROW(lzh::FileSource{dir_}, lzh::Error);
    const std::string target = dir_ + "/t";
    std::ofstream(target) << "x";
    ASSERT_EQ(::symlink(target.c_str(), (dir_ + "/l").c_str()), 0);
    EXPECT_THROW(lzh::FileSource{dir_ + "/l"}, lzh::Error);
    try {
        lzh::FileSource missing(dir_ + "/missing");
        ADD_FAILURE();
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find(dir_ + "/missing"), std::string::npos) << e.what();
    }
}

TEST_F(FileIoTest, SinkPatchesAndCutsBackAcrossItsBuffer)
{
    const std::string path = dir_ + "/out";
    lzh::FileSink sink(create(path), path);
    std::string big(3 << 20, 'a');
    sink.write(reinterpret_cast<const std::uint8_t*>("HEAD"), 4);
    sink.write(reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    sink.write_at(0, reinterpret_cast<const std::uint8_t*>("head"), 4);
    sink.truncate(4 + 10);
    sink.write(reinterpret_cast<const std::uint8_t*>("tail"), 4);
    EXPECT_EQ(sink.offset(), 18u);
    sink.sync();
    sink.close();
    EXPECT_EQ(slurp(path), "head" + std::string(10, 'a') + "tail");
}

TEST_F(FileIoTest, InjectedFaultStopsWritesAfterTheGivenBytes)
{
    const std::string path = dir_ + "/out";
    lzh::set_write_fault(lzh::WriteFault{5, ENOSPC});
    lzh::FileSink sink(create(path), path);
    sink.write(reinterpret_cast<const std::uint8_t*>("0123456789"), 10);   // still in the buffer
    try {
        sink.sync();
        ADD_FAILURE() << "the fault did not fire";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(slurp(path), "01234");
}

}  // namespace
