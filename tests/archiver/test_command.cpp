// Parsing of the command language: quoting, switches and every refusal.
#include "command.h"

#include <gtest/gtest.h>

using namespace lzh;

TEST(CommandLanguage, ParsesTheTextsTheBatchWrites)
{
    const AddCommand posix = parse_command(R"(a "/home/u/work/memo.txt.lzh" "/home/u/work/" -d1 "memo.txt")");
    EXPECT_EQ(posix.archive, "/home/u/work/memo.txt.lzh");
    EXPECT_EQ(posix.base, "/home/u/work/");
    ASSERT_EQ(posix.items.size(), 1u);
    EXPECT_EQ(posix.items[0], "memo.txt");
    EXPECT_EQ(posix.method, &kLh5);
    EXPECT_EQ(posix.effort, Effort::normal);

    const AddCommand windows = parse_command(R"(a "C:\\b.lzh" "C:\a\" -d1 "b.txt")");
    EXPECT_EQ(windows.archive, "C:\\\\b.lzh");
    EXPECT_EQ(windows.base, "C:\\a\\");
    EXPECT_EQ(windows.items[0], "b.txt");

    const AddCommand root = parse_command(R"(a "//memo.txt.lzh" "/" -d1 "memo.txt")");
    EXPECT_EQ(root.archive, "//memo.txt.lzh");
    EXPECT_EQ(root.base, "/");
}

TEST(CommandLanguage, QuotesHoldBlanksAndDoubledQuotes)
{
    const auto t = tokenize_command("a\t\"x y\"  \"say \"\"hi\"\"\" \"\" -d1");
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[1].text, "x y");
    EXPECT_TRUE(t[1].quoted);
    EXPECT_EQ(t[2].text, "say \"hi\"");
    EXPECT_EQ(t[3].text, "");
    EXPECT_TRUE(t[3].quoted);
    EXPECT_FALSE(t[4].quoted);

    // quote_token is the inverse the batch uses for names holding a quote.
    for (std::string s : {"plain", "a\"b", "\"\"", "with blank", ""})
        EXPECT_EQ(tokenize_command(quote_token(s)).at(0).text, s);
}

TEST(CommandLanguage, SwitchesAnywhereAndQuotedDashIsAName)
{
    const AddCommand c = parse_command(R"(a -lh7 "x.lzh" -best "d/" "-rf" -d1 "b")");
    EXPECT_EQ(c.method, &kLh7);
    EXPECT_EQ(c.effort, Effort::best);
    ASSERT_EQ(c.items.size(), 2u);
    EXPECT_EQ(c.items[0], "-rf");
    EXPECT_EQ(parse_command(R"(a x.lzh d/ -d1 -lh6 -fast b)").method, &kLh6);
}

TEST(CommandLanguage, RefusesWithAReason)
{
    const char* bad[] = {
        "",                                        // empty
        "   ",                                     // blanks only
        R"(x "a.lzh" "d/" -d1 "b")",               // unknown command
        R"("a" "a.lzh" "d/" -d1 "b")",             // quoted command letter
        R"(a "a.lzh" "d/" -d2 "b")",               // unknown switch
        R"(a -d1)",                                // no archive
        R"(a "a.lzh" -d1 "b")",                    // no base directory
        R"(a "a.lzh" "d" -d1 "b")",                // base does not end in a separator
        R"(a "a.lzh" "d/" -d1)",                   // no item
        R"(a "a.lzh" "d/" "b")",                   // no -d1
        R"(a "a.lzh" "d/" -d1 "b)",                // unbalanced quote
        R"(a "a.lzh""d/" -d1 "b")",                // no blank after a quoted token
        R"(a a"b.lzh "d/" -d1 "b")",               // quote inside a bare token
        R"(a "dir/" "d/" -d1 "b")",                // archive path is a directory
        R"(a "a.lzh" "d/" -d1 "/etc/passwd")",     // absolute item
        R"(a "a.lzh" "d/" -d1 "x/../../b")",       // item escaping the base
        R"(a "a.lzh" "d/" -d1 "")",                // empty item
    };
    for (const char* text : bad) {
        try {
            parse_command(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Error& e) {
            EXPECT_GT(std::string(e.what()).size(), 0u) << text;
        }
    }
}
