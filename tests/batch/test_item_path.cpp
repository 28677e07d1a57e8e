// test_item_path.cpp - dropped and named paths resolved as the kernel reads them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "item_path.h"
#include "test_support.h"

namespace pelkoran {
namespace {

std::string Real(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    std::string result = real ? real : "";
    std::free(real);
    return result;
}

// Restores the working directory on the way out.
struct InDirectory {
    std::string old;
    explicit InDirectory(const std::string& dir)
    {
        char buffer[PATH_MAX];
        old = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
        EXPECT_EQ(::chdir(dir.c_str()), 0);
    }
    ~InDirectory() { (void)::chdir(old.c_str()); }
};

// With link -> real/sub, "link/../memo.txt" is real/memo.txt (what cat
// reads), not memo.txt beside the link; "/a/b/.." is /a; "dir/", "dir/."
// and "./dir/.//" are the directory under its own name; the last component
// is kept, so a link is listed as itself; relative paths start at the
// working directory; bytes that are not UTF-8 stay; a path that is not
// there is only made absolute.
TEST(ItemPath, ResolvedAsTheKernelReadsIt)
{
    test_support::TempDir tmp;
    const std::string w = Real(tmp.path());
    ASSERT_EQ(mkdir((w + "/real").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((w + "/real/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((w + "/a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((w + "/a/b").c_str(), 0755), 0);
    ASSERT_EQ(symlink("real/sub", (w + "/link").c_str()), 0);
    test_support::write_file(w + "/real/memo.txt", "real");
    test_support::write_file(w + "/memo.txt", "beside the link");
    test_support::write_file(w + "/caf\xff.txt", "x");

    EXPECT_EQ(ResolveItemPath(w + "/link/../memo.txt"), w + "/real/memo.txt");
    EXPECT_EQ(ResolveItemPath(w + "/a/b/.."), w + "/a");
    EXPECT_EQ(ResolveItemPath(w + "/a/b/../"), w + "/a");
    EXPECT_EQ(ResolveItemPath(w + "/link"), w + "/link");
    EXPECT_EQ(ResolveItemPath(w + "/link/"), w + "/link");
    EXPECT_EQ(ResolveItemPath("/"), "/");
    EXPECT_EQ(ResolveItemPath("//"), "/");
    EXPECT_EQ(ResolveItemPath("/no/such/x.txt"), "/no/such/x.txt");
    EXPECT_EQ(ResolveItemPath(""), "");
    {
        InDirectory in(w);
        EXPECT_EQ(ResolveItemPath("memo.txt"), w + "/memo.txt");
        EXPECT_EQ(ResolveItemPath("a/"), w + "/a");
        EXPECT_EQ(ResolveItemPath("a/."), w + "/a");
        EXPECT_EQ(ResolveItemPath("./a/.//"), w + "/a");
        EXPECT_EQ(ResolveItemPath("."), w);
        EXPECT_EQ(ResolveItemPath("link/../memo.txt"), w + "/real/memo.txt");
        EXPECT_EQ(ResolveItemPath("caf\xff.txt"), w + "/caf\xff.txt");
        EXPECT_EQ(ResolveItemPath("gone/x"), w + "/gone/x");
    }
}

}  // namespace
}  // namespace pelkoran
