// test_names.cpp - stored names: CP932 where it is exact, UTF-8 otherwise,
// other bytes as they are, and refusals that name the path.
#include "codec/io.h"
#include "fs/names.h"

#include <gtest/gtest.h>

namespace {

// The reason encode_names gives for refusing, "" when it accepts.
std::string refusal(const std::string& path, const std::string& link = "")
{
    try {
        (void)lzh::encode_names(path, link);
    } catch (const lzh::Error& e) {
        return std::string(e.what()).empty() ? "(no reason)" : e.what();
    }
    return "";
}

TEST(Names, JapaneseNamesWithBackslashTrailBytesRoundTripInCp932)
{
    const std::string path = "ソース/表/能力/十.txt";
    const lzh::StoredNames n = lzh::encode_names(path);
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(n.path, "\x83\x5C\x81\x5B\x83\x58/\x95\x5C/\x94\x5C\x97\xCD/\x8F\x5C.txt");
    EXPECT_EQ(lzh::decode_name(n.path, n.code_page), path);
    // Plain ASCII reads the same in every code page: stored as it is, without one.
    EXPECT_EQ(lzh::encode_names("Docs/README").path, "Docs/README");
    EXPECT_EQ(lzh::encode_names("Docs/README").code_page, lzh::kCodePageNone);
    // A level-0/1 style name: only the real backslash separates.
    EXPECT_EQ(lzh::backslashes_to_slashes("\x83\x5C\\\x95\x5C", 932), "\x83\x5C/\x95\x5C");
    EXPECT_EQ(lzh::backslashes_to_slashes("a\\b", lzh::kCodePageUtf8), "a/b");
}

TEST(Names, NamesCp932CannotHoldExactlyAreStoredAsUtf8)
{
    // Emoji, simplified Chinese, the yen sign (CP932 has only 0x5C for it) and
    // the wave dash (comes back as a fullwidth tilde).
    for (const char* path : {"emoji😀.txt", "简体/说明.txt", "¥100.txt", "a〜b", "Ünïcödé"}) {
        const lzh::StoredNames n = lzh::encode_names(path);
        EXPECT_EQ(n.code_page, lzh::kCodePageUtf8) << path;
        EXPECT_EQ(n.path, path);
        EXPECT_EQ(lzh::decode_name(n.path, n.code_page), path);
    }
    // A link and its target share one code page.
    lzh::StoredNames n = lzh::encode_names("リンク", "😀");
    EXPECT_EQ(n.code_page, lzh::kCodePageUtf8);
    EXPECT_EQ(n.path, "リンク");
    EXPECT_EQ(n.link_target, "😀");
    n = lzh::encode_names("リンク", "../対象");
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(lzh::decode_name(n.link_target, n.code_page), "../対象");
    // ポ is 83 7C in CP932: as a link's name it would hold the '|' that ends it.
    EXPECT_EQ(lzh::encode_names("ポ", "README").code_page, lzh::kCodePageUtf8);
    EXPECT_EQ(lzh::encode_names("ポ").code_page, lzh::kCodePageCp932);
    EXPECT_EQ(lzh::find_ascii("\x83\x7C|x", 932, '|'), 2u);
}

TEST(Names, RefusesWhatWouldBeSplitOrAlteredNamingThePath)
{
    for (const char* path : {"a\\b.txt", "bad\xFF\\name", "x/../y", "./x", "a//b", "", "/abs"})
        EXPECT_NE(refusal(path), "") << path;
    // Shown readable: a byte that is not UTF-8 escaped, Japanese as it is.
    EXPECT_TRUE(refusal("dir/bad\xFF\\.txt").find("dir/bad\\xFF\\.txt") != std::string::npos);
    EXPECT_TRUE(refusal("データ/a\\b.txt").find("データ/a\\b.txt") != std::string::npos);
    // Only a link's own name may not hold '|', not even as a trail byte.
    EXPECT_NE(refusal("a|b", "target"), "");
    EXPECT_EQ(refusal("a|b"), "");
    EXPECT_NE(refusal("\x83\x7C", "x"), "");
    EXPECT_NE(refusal("\xFF|", "x"), "");
}

TEST(Names, NamesThatAreNotUtf8KeepTheirBytes)
{
    // A Shift-JIS name on the disk (日本/ソース.txt): stored as it is, as CP932,
    // even with its 0x5C trail byte; a UTF-8 link target joins it in CP932.
    const std::string sjis = "\x93\xFA\x96\x7B/\x83\x5C\x81\x5B\x83\x58.txt";
    lzh::StoredNames n = lzh::encode_names(sjis);
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(n.path, sjis);
    EXPECT_EQ(lzh::decode_name(n.path, n.code_page), "日本/ソース.txt");
    n = lzh::encode_names("\x93\xFA", "対象");
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(n.link_target, "\x91\xCE\x8F\xDB");
    // Bytes of no known encoding: as they are, without a code page.
    for (const char* raw : {"\xFF\xFE.bin", "dir/\377b", "\xFDname"}) {
        n = lzh::encode_names(raw);
        EXPECT_EQ(n.code_page, lzh::kCodePageNone) << raw;
        EXPECT_EQ(n.path, raw);
    }
    n = lzh::encode_names("link", "\xFE\xFE");  // a target of no encoding makes both raw
    EXPECT_EQ(n.code_page, lzh::kCodePageNone);
    EXPECT_EQ(n.link_target, "\xFE\xFE");
}

// 0xFF separates directories in a level-2 header: a directory's name or a
// link's target holding it would come back split, so it is refused naming
// the path; in a file's own name it separates nothing and is kept.
TEST(Names, TheHeaderSeparatorByteIsRefusedWhereItWouldSplit)
{
    EXPECT_TRUE(refusal("caf\xFF/file.txt").find("caf\\xFF/file.txt") != std::string::npos);
    EXPECT_NE(refusal("a/caf\xFF/b"), "");
    EXPECT_NE(refusal("link", "../caf\xFF/x"), "");
    EXPECT_NE(refusal("link", "\xFF\xFF"), "");
    EXPECT_NE(refusal("link\xFF", "../x/y"), "");  // "link\xFF|../x" is the directory part
    EXPECT_EQ(refusal("caf/file\xFF"), "");
    EXPECT_NO_THROW((void)lzh::encode_names("caf\xFF", {}, false));
    EXPECT_THROW((void)lzh::encode_names("caf\xFF", {}, true), lzh::Error);
}

TEST(Names, DecodeWithoutCodePageGuessesUtf8ThenCp932)
{
    EXPECT_EQ(lzh::decode_name("日本", 0), "日本");
    EXPECT_EQ(lzh::decode_name("\x93\xFA\x96\x7B", 0), "日本");
    EXPECT_EQ(lzh::decode_name("x\xFF", 0), "x\\xFF");
    EXPECT_EQ(lzh::decode_name("\xE9t\xE9", 1252), "été");
}

}  // namespace
