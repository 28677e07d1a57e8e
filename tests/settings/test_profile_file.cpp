// test_profile_file.cpp - the profile-file reader and writer on texts.
#include <gtest/gtest.h>

#include "profile_file.h"

namespace pelkoran {
namespace {

TEST(ProfileFile, ReadsLikeTheWindowsProfileFunctions)
{
    ProfileFile f;
    f.Parse("\xEF\xBB\xBF[path]\r\n"
            "  outputdir =  C:\\out\\  \r\n"
            "; IsSamePlace=FALSE\r\n"
            "IsSamePlace=TRUE\r\n"
            "IsSamePlace=FALSE\r\n"
            "Quoted=\" x \"\r\n"
            "[Path]\r\n"
            "IsTrimEXT=TRUE\r\n");
    EXPECT_EQ(f.Get("Path", "OutputDir"), "C:\\out\\");
    EXPECT_EQ(f.Get("PATH", "IsSamePlace"), "TRUE");  // first key wins, comment skipped
    EXPECT_EQ(f.Get("Path", "Quoted"), " x ");
    EXPECT_EQ(f.Get("Path", "IsTrimEXT"), std::nullopt);  // only the first [Path] counts
    EXPECT_EQ(f.Get("Other", "OutputDir"), std::nullopt);
}

TEST(ProfileFile, RewritesOnlyWhatItSetsAndKeepsLineEnds)
{
    ProfileFile f;
    f.Parse("; my settings\r\n[Other]\r\nOutputDir=keep\r\n\r\n[Path]\r\nExtra=1\r\nOutputDir=old\r\n\r\n[Last]\r\nk=v\r\n");
    f.Set("Path", "OutputDir", "new");
    f.Set("Path", "IsSamePlace", "TRUE");
    f.Set("More", "Key", "x");
    EXPECT_EQ(f.Text(),
              "; my settings\r\n[Other]\r\nOutputDir=keep\r\n\r\n[Path]\r\nExtra=1\r\nOutputDir=new\r\n"
              "IsSamePlace=TRUE\r\n\r\n[Last]\r\nk=v\r\n\r\n[More]\r\nKey=x\r\n");
}

TEST(ProfileFile, QuotesValuesThatWouldNotReadBack)
{
    for (std::string value : {"  blanks  ", "\"quoted\"", "'single'", "", "C:\\", "a=b;c", "\t"}) {
        ProfileFile f;
        f.Set("Path", "OutputDir", value);
        ProfileFile g;
        g.Parse(f.Text());
        EXPECT_EQ(g.Get("Path", "OutputDir"), value) << f.Text();
    }
}

}  // namespace
}  // namespace pelkoran
