// test_member_coder.cpp - members coded on worker threads: the same archive for
// any thread count, errors at their member, incompressible data stored early.
#include "archive_reader.h"
#include "archive_writer.h"
#include "decoder.h"
#include "member_coder.h"
#include "names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct VectorSink : lzh::ByteSink {
    void write(const std::uint8_t* data, std::size_t size) override { bytes.insert(bytes.end(), data, data + size); }
    Bytes bytes;
};

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Text with some variety, so blocks and tables differ from file to file.
Bytes text_bytes(std::size_t size, unsigned seed)
{
    static const char* words[] = {"archive ", "member ", "書庫 ", "header ", "block\n", "table ", "圧縮 ",
                                  "window ", "match ", "literal "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < size) {
        const char* w = words[rng() % 10];
        b.insert(b.end(), w, w + std::strlen(w));
    }
    b.resize(size);
    return b;
}

Bytes random_bytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b)
        x = std::uint8_t(rng());
    return b;
}

class MemberCoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-coder-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    lzh::NewEntry file(const std::string& rel, const Bytes& data)
    {
        lzh::NewEntry e;
        e.source_path = root_ + "/" + rel;
        e.stored_path = rel;
        std::ofstream(e.source_path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        struct stat st {};
        EXPECT_EQ(::lstat(e.source_path.c_str(), &st), 0);
        e.st = st;
        return e;
    }

    // Many small files of every kind, a few above the in-memory limit.
    std::vector<lzh::NewEntry> mixed_tree()
    {
        std::vector<lzh::NewEntry> entries;
        for (unsigned i = 0; i < 60; ++i) {
            const std::string name = "f" + std::to_string(i);
            switch (i % 6) {
            case 0: entries.push_back(file(name, text_bytes(100 + 997 * i, i))); break;
            case 1: entries.push_back(file(name, random_bytes(50 + 300 * i, i))); break;
            case 2: entries.push_back(file(name, {})); break;
            case 3: entries.push_back(file(name, text_bytes(3, i))); break;
            case 4: entries.push_back(file(name, random_bytes(200000, i))); break;   // stored after the sample
            default: entries.push_back(file(name, text_bytes(70000 + 31 * i, i))); break;
            }
        }
        entries.push_back(file("big-text", text_bytes(lzh::kMaxPrecoded + 12345, 7)));
        entries.push_back(file("big-random", random_bytes(lzh::kMaxPrecoded + 1, 8)));
        return entries;
    }

    Bytes pack(const std::vector<lzh::NewEntry>& entries, const lzh::Method& m, lzh::Effort e, unsigned threads)
    {
        const std::string archive = root_ + "/t" + std::to_string(threads) + ".lzh";
        ::unlink(archive.c_str());
        lzh::WriteOptions options{&m, e, threads};
        lzh::update_archive(archive, entries, options, nullptr);
        return read_file(archive);
    }

    std::string root_;
};

TEST_F(MemberCoderTest, ArchiveIsTheSameForAnyThreadCountAndReadsBack)
{
    const std::vector<lzh::NewEntry> entries = mixed_tree();
    const struct {
        const lzh::Method* m;
        lzh::Effort e;
    } cases[] = {{&lzh::kLh5, lzh::Effort::normal}, {&lzh::kLh7, lzh::Effort::best}, {&lzh::kLh6, lzh::Effort::fast}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m->id, 5) + " effort " + std::to_string(int(c.e)));
        const Bytes one = pack(entries, *c.m, c.e, 1);
        EXPECT_EQ(pack(entries, *c.m, c.e, 2), one);
        EXPECT_EQ(pack(entries, *c.m, c.e, 5), one);

        const std::string archive = root_ + "/t1.lzh";
        std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(one.data()), std::streamsize(one.size()));
        lzh::ArchiveReader reader(archive);
        const std::vector<lzh::MemberHeader> members = reader.members();
        ASSERT_EQ(members.size(), entries.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            VectorSink sink;
            reader.extract(members[i], sink);
            EXPECT_EQ(sink.bytes, read_file(entries[i].source_path)) << entries[i].stored_path;
            const bool incompressible = entries[i].stored_path == "big-random" ||
                                        (entries[i].stored_path != "big-text" && i % 6 == 4);
            if (incompressible) {
                EXPECT_STREQ(members[i].method, "-lh0-") << entries[i].stored_path;
            }
            if (i % 6 == 0 || i % 6 == 5) {
                EXPECT_STREQ(members[i].method, c.m->id) << entries[i].stored_path;
            }
        }
    }
}

// A file that cannot be read fails the run at its own member, with the same
// message whether a worker or the writer met it, and leaves no archive.
TEST_F(MemberCoderTest, UnreadableFileFailsTheRunAtItsMember)
{
    std::vector<lzh::NewEntry> entries = mixed_tree();
    entries[10].source_path = root_ + "/vanished";   // gone since the walk
    std::string messages[2];
    for (unsigned threads : {1u, 2u}) {
        const std::string archive = root_ + "/e.lzh";
        lzh::WriteOptions options{&lzh::kLh5, lzh::Effort::normal, threads};
        try {
            lzh::update_archive(archive, entries, options, nullptr);
            ADD_FAILURE() << "no error with " << threads << " threads";
        } catch (const lzh::Error& e) {
            messages[threads - 1] = e.what();
        }
        EXPECT_NE(::access(archive.c_str(), F_OK), 0);
    }
    EXPECT_NE(messages[0].find(root_ + "/vanished"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0], messages[1]);
}

// The sample rule: data that does not shrink in its first 64 KiB is stored
// without coding the rest; data that shrinks is coded to the end.
TEST(FeedMember, StopsOnIncompressibleSampleOnly)
{
    VectorSink sink;
    const Bytes noise = random_bytes(300000, 1);
    lzh::Encoder coder(lzh::kLh5, lzh::Effort::normal, sink, noise.size());
    EXPECT_TRUE(lzh::feed_member(coder, noise.data(), 40000, 0, noise.size()));   // before the sample ends
    EXPECT_FALSE(lzh::feed_member(coder, noise.data() + 40000, 60000, 40000, noise.size()));

    VectorSink sink2;
    const Bytes text = text_bytes(300000, 2);
    lzh::Encoder coder2(lzh::kLh5, lzh::Effort::normal, sink2, text.size());
    EXPECT_TRUE(lzh::feed_member(coder2, text.data(), 100000, 0, text.size()));
    EXPECT_TRUE(lzh::feed_member(coder2, text.data() + 100000, 200000, 100000, text.size()));

    // A member no larger than the sample is always coded whole.
    VectorSink sink3;
    lzh::Encoder coder3(lzh::kLh5, lzh::Effort::normal, sink3, 65536);
    EXPECT_TRUE(lzh::feed_member(coder3, noise.data(), 65536, 0, 65536));
}

// A size hint far below the real size (a file that grew after its stat)
// still gives a sound stream: the window made for the hint slides.
TEST(SizeHint, InputLongerThanItsHintRoundTrips)
{
    Bytes data = text_bytes(300000, 3);
    const Bytes noise = random_bytes(100000, 4);
    data.insert(data.begin() + 150000, noise.begin(), noise.end());
    for (const lzh::Method* m : {&lzh::kLh5, &lzh::kLh7})
        for (lzh::Effort e : {lzh::Effort::fast, lzh::Effort::normal, lzh::Effort::best}) {
            VectorSink sink;
            lzh::Encoder enc(*m, e, sink, 100);
            for (std::size_t at = 0; at < data.size(); at += 7000)
                enc.write(data.data() + at, std::min<std::size_t>(7000, data.size() - at));
            enc.finish();
            EXPECT_EQ(lzh::decode(*m, sink.bytes, data.size()), data) << m->id << " effort " << int(e);
        }
}

}  // namespace
