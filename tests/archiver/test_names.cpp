// test_names.cpp - stored names: CP932 where it is exact, UTF-8 otherwise, refusals.
#include "io.h"
#include "names.h"

#include <gtest/gtest.h>

namespace {

TEST(Names, JapaneseNamesWithBackslashTrailBytesRoundTripInCp932)
{
    const std::string path = "ソース/表/能力/十.txt";
    lzh::StoredNames n = lzh::encode_names(path);
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(n.path, "\x83\x5C\x81\x5B\x83\x58/\x95\x5C/\x94\x5C\x97\xCD/\x8F\x5C.txt");
    EXPECT_EQ(lzh::decode_name(n.path, n.code_page), path);
    // A level-0/1 style name: only the real backslash separates.
    EXPECT_EQ(lzh::backslashes_to_slashes("\x83\x5C\\\x95\x5C", 932), "\x83\x5C/\x95\x5C");
    EXPECT_EQ(lzh::backslashes_to_slashes("a\\b", lzh::kCodePageUtf8), "a/b");
}

TEST(Names, AsciiAndCapitalsAreStoredUnchanged)
{
    lzh::StoredNames n = lzh::encode_names("Docs/README");
    EXPECT_EQ(n.path, "Docs/README");
    EXPECT_EQ(n.code_page, lzh::kCodePageNone);   // the same in every code page
}

TEST(Names, NamesCp932CannotHoldExactlyAreStoredAsUtf8)
{
    // Emoji, simplified Chinese, the yen sign (CP932 has only 0x5C for it) and
    // the wave dash (comes back as a fullwidth tilde).
    for (const char* path : {"emoji😀.txt", "简体/说明.txt", "¥100.txt", "a〜b", "Ünïcödé"}) {
        lzh::StoredNames n = lzh::encode_names(path);
        EXPECT_EQ(n.code_page, lzh::kCodePageUtf8) << path;
        EXPECT_EQ(n.path, path);
        EXPECT_EQ(lzh::decode_name(n.path, n.code_page), path);
    }
}

TEST(Names, LinkAndNameShareOneCodePage)
{
    lzh::StoredNames n = lzh::encode_names("リンク", "😀");
    EXPECT_EQ(n.code_page, lzh::kCodePageUtf8);
    EXPECT_EQ(n.path, "リンク");
    EXPECT_EQ(n.link_target, "😀");
    // ポ is 83 7C in CP932: as a link's name it would hold a '|' byte.
    n = lzh::encode_names("ポ", "README");
    EXPECT_EQ(n.code_page, lzh::kCodePageUtf8);
    EXPECT_EQ(lzh::find_ascii("\x83\x7C|x", 932, '|'), 2u);
    EXPECT_EQ(lzh::encode_names("ポ").code_page, lzh::kCodePageCp932);
    n = lzh::encode_names("リンク", "../対象");
    EXPECT_EQ(n.code_page, lzh::kCodePageCp932);
    EXPECT_EQ(lzh::decode_name(n.link_target, n.code_page), "../対象");
}

TEST(Names, RefusesWhatWouldBeSplitOrAlteredNamingThePath)
{
    const char* bad[] = {"a\\b.txt", "bad\xFF\\name", "x/../y", "./x", "a//b", "", "/abs"};
    for (const char* path : bad) {
        try {
            lzh::encode_names(path);
            ADD_FAILURE() << "accepted " << path;
        } catch (const lzh::Error& e) {
            std::string msg = e.what();
            EXPECT_FALSE(msg.empty());
        }
    }
    try {
        lzh::encode_names("dir/bad\xFF\\.txt");
        ADD_FAILURE() << "accepted a backslash after a non-UTF-8 byte";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find("dir/bad\\xFF\\.txt"), std::string::npos) << e.what();
    }
    try {
        lzh::encode_names("データ/a\\b.txt");
        ADD_FAILURE() << "accepted a backslash";
    } catch (const lzh::Error& e) {
        EXPECT_NE(std::string(e.what()).find("データ/a\\b.txt"), std::string::npos) << e.what();
    }
    EXPECT_THROW(lzh::encode_names("a|b", "target"), lzh::Error);
    EXPECT_NO_THROW(lzh::encode_names("a|b"));   // only a link's own name may not hold '|'
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

    // Bytes of no known encoding: as they are, without a code page, shown escaped.
    for (const char* raw : {"\xFF\xFE.bin", "dir/\xFF" "b", "\xFDname"}) {
        n = lzh::encode_names(raw);
        EXPECT_EQ(n.code_page, lzh::kCodePageNone) << raw;
        EXPECT_EQ(n.path, raw);
    }
    EXPECT_EQ(lzh::decode_name(lzh::encode_names("x\xFF").path, 0), "x\\xFF");
    // A UTF-8 name whose link target is not UTF-8 (nor CP932): both raw.
    n = lzh::encode_names("link", "\xFF\xFF");
    EXPECT_EQ(n.code_page, lzh::kCodePageNone);
    EXPECT_EQ(n.link_target, "\xFF\xFF");
    // Such a link's name must not hold a 0x7C byte, not even as a trail byte.
    EXPECT_THROW(lzh::encode_names("\x83\x7C", "x"), lzh::Error);
    EXPECT_THROW(lzh::encode_names("\xFF|", "x"), lzh::Error);
}

TEST(Names, DecodeWithoutCodePageGuessesUtf8ThenCp932)
{
    EXPECT_EQ(lzh::decode_name("日本", 0), "日本");
    EXPECT_EQ(lzh::decode_name("\x93\xFA\x96\x7B", 0), "日本");
    EXPECT_EQ(lzh::decode_name("\x80\xFF", 0), "\\x80\\xFF");
    EXPECT_EQ(lzh::decode_name("\xE9t\xE9", 1252), "été");
}

}  // namespace
