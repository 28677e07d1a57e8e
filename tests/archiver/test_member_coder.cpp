// test_member_coder.cpp - members coded on worker threads: the same archive
// for any thread count, and a read error met at its own member.
#include "archive_support.h"
#include "container/member_coder.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace test_support;

namespace {

// Many small files of every kind, two above the in-memory limit, with the
// method each should get ("": either, "*": the method asked for).
std::vector<std::pair<lzh::NewEntry, std::string>> mixed_tree(const TempDir& t)
{
    const std::string coded = "*";
    std::vector<std::pair<lzh::NewEntry, std::string>> out;
    auto add = [&](const std::string& name, const std::string& data, const std::string& method) {
        write_file(t / name, data);
        out.emplace_back(entry_for(t / name, name), method);
    };
    for (unsigned i = 0; i < 60; ++i) {
        const std::string name = std::string("f").append(std::to_string(i));
        const unsigned kind = i % 6;  // text, noise, empty, 3 bytes, noise never smaller, 70 KB of text
        const std::string data = kind == 0   ? text_data(100 + 997 * i, i)
                                 : kind == 1 ? noise(50 + 300 * i, i)
                                 : kind == 2 ? ""
                                 : kind == 3 ? text_data(3, i)
                                 : kind == 4 ? noise(200000, i)
                                             : text_data(70000 + 31 * i, i);
        add(name, data, kind == 1 ? "" : kind == 0 || kind == 5 ? coded : "-lh0-");
    }
    // A first part that does not compress decides nothing for the rest, in
    // memory or streaming.
    add("mixed", noise(70000, 9) + text_data(80000, 9), coded);
    add("big-text", text_data(lzh::kMaxPrecoded + 12345, 7), coded);
    add("big-random", noise(lzh::kMaxPrecoded + 1, 8), "-lh0-");
    add("big-mixed", noise(lzh::kMaxPrecoded - 100000, 10) + text_data(300000, 10), coded);
    return out;
}

// Packs `entries` into `archive` with each thread count in turn and expects
// the archive of the first every time; the last one stays.
void expect_same_archive(const std::string& archive, const std::vector<lzh::NewEntry>& entries,
                         const lzh::Method& m, lzh::Effort e, std::initializer_list<unsigned> thread_counts)
{
    std::string first;
    for (unsigned threads : thread_counts) {
        ::unlink(archive.c_str());
        lzh::update_archive(archive, entries, {&m, e, threads}, nullptr);
        if (first.empty())
            first = read_file(archive);
        else
            EXPECT_EQ(read_file(archive), first) << threads << " threads";
    }
}

TEST(MemberCoder, ArchiveIsTheSameForAnyThreadCountAndReadsBack)
{
    TempDir t;
    const struct {
        const lzh::Method* m;
        lzh::Effort e;
    } cases[] = {
        {&lzh::kLh5, lzh::Effort::normal}, {&lzh::kLh7, lzh::Effort::best}, {&lzh::kLh6, lzh::Effort::fast}};
    const auto tree = mixed_tree(t);
    std::vector<lzh::NewEntry> entries;
    for (const auto& [e, method] : tree)
        entries.push_back(e);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m->id) + " effort " + std::to_string(int(c.e)));
        expect_same_archive(t / "t.lzh", entries, *c.m, c.e, {1u, 2u, 5u});
        const auto members = read_archive(t / "t.lzh");
        ASSERT_EQ(members.size(), tree.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            EXPECT_EQ(members[i].data, read_file(tree[i].first.source_path())) << tree[i].first.stored_path();
            if (!tree[i].second.empty()) {
                EXPECT_EQ(members[i].h.method, tree[i].second == "*" ? c.m->id : tree[i].second)
                    << tree[i].first.stored_path();
            }
        }
    }
}

// Random pieces each written twice in a row, the copy one dictionary size - 1
// further on: every method and effort codes the copies as matches at that
// distance (about half the size), in memory (one pair) and streaming (pairs
// past the in-memory limit).
TEST(MemberCoder, RepeatsAtTheLargestDistanceAreFoundByEveryEffort)
{
    TempDir t;
    for (const lzh::Method* m : {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7}) {
        const std::size_t far = m->dict_size() - 1;
        std::string pairs[2];
        for (unsigned seed = 0; pairs[1].size() <= lzh::kMaxPrecoded; ++seed) {
            const std::string piece = noise(far, seed);
            pairs[1] += piece + piece;
            if (seed == 0)
                pairs[0] = pairs[1];
        }
        std::vector<lzh::NewEntry> entries;
        for (const std::string name : {"one", "many"}) {
            write_file(t / name, pairs[entries.size()]);
            entries.push_back(entry_for(t / name, name));
        }
        for (const lzh::Effort e : {lzh::Effort::fast, lzh::Effort::normal, lzh::Effort::best}) {
            SCOPED_TRACE(std::string(m->id) + " effort " + std::to_string(int(e)));
            ::unlink((t / "f.lzh").c_str());
            lzh::update_archive(t / "f.lzh", entries, {m, e, 2}, nullptr);
            const auto members = read_archive(t / "f.lzh");
            ASSERT_EQ(members.size(), 2u);
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(std::string(members[i].h.method), m->id) << i;
                EXPECT_LT(members[i].h.packed_size, pairs[i].size() * 52 / 100) << i;
                EXPECT_EQ(members[i].data, pairs[i]) << i;
            }
        }
    }
}

// More members than the coders may hold ahead of the writer, by count and by
// bytes, with large files among them that the workers start first: still the
// archive of one thread, each member in its place.
TEST(MemberCoder, MembersBeyondTheReachKeepTheirOrder)
{
    TempDir t;
    std::vector<lzh::NewEntry> entries;
    for (unsigned i = 0; i < 700; ++i) {
        const std::string name = std::string("m").append(std::to_string(i));
        const bool large = i % 150 == 75;  // 4 MiB, five of them: past the 12 MiB reach
        write_file(t / name, large ? text_data(4 << 20, i) : text_data(i * 7 % 3000, i));
        entries.push_back(entry_for(t / name, name));
    }
    expect_same_archive(t / "r.lzh", entries, lzh::kLh5, lzh::Effort::fast, {1u, 2u, 3u});
    const auto members = read_archive(t / "r.lzh");
    ASSERT_EQ(members.size(), entries.size());
    for (std::size_t i = 0; i < members.size(); i += 37)
        EXPECT_EQ(members[i].data, read_file(entries[i].source_path())) << entries[i].stored_path();
}

// A file that cannot be read fails the run at its own member, with the same
// message whether a worker or the writer met it, and leaves no archive.
TEST(MemberCoder, UnreadableFileFailsTheRunAtItsMember)
{
    TempDir t;
    std::vector<lzh::NewEntry> entries;
    for (const auto& [e, method] : mixed_tree(t))
        entries.push_back(e);
    entries[10].source = t / "vanished";  // gone since the walk
    std::string messages[2];
    for (unsigned threads : {1u, 2u}) {
        try {
            lzh::update_archive(t / "e.lzh", entries, {&lzh::kLh5, lzh::Effort::normal, threads}, nullptr);
            ADD_FAILURE() << "no error with " << threads << " threads";
        } catch (const lzh::Error& e) {
            messages[threads - 1] = e.what();
        }
        EXPECT_NE(::access((t / "e.lzh").c_str(), F_OK), 0);
    }
    EXPECT_TRUE(contains(messages[0], t / "vanished")) << messages[0];
    EXPECT_EQ(messages[0], messages[1]);
}

}  // namespace
