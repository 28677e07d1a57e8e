// test_bt_match_finder.cpp - the tree finder reports, for each length, the nearest match at least that long.
#include "archive_support.h"
#include "codec/bt_match_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Found = std::vector<std::pair<unsigned, unsigned>>;  // (length, distance)

// What a walk over every earlier position finds at `pos`: each match longer
// than all nearer ones, up to 256 bytes and the end of the data.
Found brute_force(const std::string& d, std::size_t pos, unsigned dict_bits)
{
    Found out;
    const std::size_t max_len = std::min<std::size_t>(lzh::kMaxMatch, d.size() - pos);
    const std::size_t reach = std::min<std::size_t>(pos, (std::size_t(1) << dict_bits) - 1);
    unsigned best = lzh::kMinMatch - 1;
    for (std::size_t dist = 1; dist <= reach; ++dist) {
        unsigned len = 0;
        while (len < max_len && d[pos - dist + len] == d[pos + len])
            ++len;
        if (len > best) {
            best = len;
            out.emplace_back(len, unsigned(dist));
        }
    }
    return out;
}

// Feeds `d` in pieces of `piece` bytes and compares every position with the
// brute-force walk; the tree is deep enough never to be cut.
void expect_nearest_matches(const std::string& d, unsigned dict_bits, std::size_t piece, std::uint64_t hint)
{
    lzh::BtMatchFinder f(dict_bits, 100000, hint);
    const auto* p = reinterpret_cast<const std::uint8_t*>(d.data());
    std::size_t fed = 0, pos = 0;
    lzh::Match all[lzh::kMaxMatch];
    while (pos < d.size()) {
        while (fed < d.size() && (fed == pos || f.lookahead() < lzh::kMaxMatch + 2))
            fed += f.fill(p + fed, std::min(piece, d.size() - fed));
        ASSERT_EQ(f.byte_at(0), std::uint8_t(d[pos]));
        unsigned n = 0;
        f.find(all, &n);
        Found got;
        for (unsigned k = 0; k < n; ++k)
            got.emplace_back(all[k].len, all[k].dist);
        // Positions at the end of what was fed see a shorter lookahead than
        // the whole data: compare only where the finder saw 256 bytes or the end.
        if (fed == d.size() || fed - pos >= lzh::kMaxMatch) {
            ASSERT_EQ(got, brute_force(d, pos, dict_bits)) << "position " << pos;
        }
        ++pos;
    }
}

TEST(BtMatchFinder, FindsTheNearestMatchOfEveryLength)
{
    // Text with many repeats, a run longer than a match, and the dictionary
    // edge (-lh5-: 8 KiB) inside the data.
    std::string d = test_support::text_data(12000, 3);
    d.insert(5000, std::string(600, 'z'));
    d += d.substr(100, 300);
    expect_nearest_matches(d, 13, d.size(), d.size());
    // Fed in small pieces, with a size hint far too small (the tree grows
    // past what the hint made room for), and on a thread that has coded
    // before (its buffers are reused): the same matches.
    expect_nearest_matches(d, 13, 777, 50);
    expect_nearest_matches(d.substr(0, 3000), 16, 3000, 3000);
}

TEST(BtMatchFinder, SkippedPositionsStillMatchLater)
{
    // 400 random bytes passed by skip(), then found again 700 bytes later.
    const std::string part = test_support::noise(400, 9);
    const std::string d = part + test_support::noise(300, 10) + part;
    lzh::BtMatchFinder f(16, 32, d.size());
    f.fill(reinterpret_cast<const std::uint8_t*>(d.data()), d.size());
    f.skip(700);
    lzh::Match all[lzh::kMaxMatch];
    unsigned n = 0;
    f.find(all, &n);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(all[n - 1].len, lzh::kMaxMatch);
    EXPECT_EQ(all[n - 1].dist, 700u);
}

}  // namespace
