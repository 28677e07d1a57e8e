// test_command.cpp - the command language: the texts the batch writes, quoting, switches, refusals.
#include "command.h"

#include <gtest/gtest.h>

using namespace lzh;

TEST(CommandLanguage, ParsesTheTextsTheBatchWrites)
{
    struct Case {
        const char* text;
        AddCommand want;
    };
    const Case cases[] = {
        {R"(a "/home/u/work/memo.txt.lzh" "/home/u/work/" -d1 "memo.txt")",
         {"/home/u/work/memo.txt.lzh", "/home/u/work/", {"memo.txt"}, &kLh5, Effort::normal}},
        {R"(a "C:\\b.lzh" "C:\a\" -d1 "b.txt")", {"C:\\\\b.lzh", "C:\\a\\", {"b.txt"}}},
        {R"(a "//memo.txt.lzh" "/" -d1 "memo.txt")", {"//memo.txt.lzh", "/", {"memo.txt"}}},
        // Switches anywhere; a quoted token starting with '-' is a name.
        {R"(a -lh7 "x.lzh" -best "d/" "-rf" -d1 "b")", {"x.lzh", "d/", {"-rf", "b"}, &kLh7, Effort::best}},
        {R"(a x.lzh d/ -d1 -lh6 -fast b)", {"x.lzh", "d/", {"b"}, &kLh6, Effort::fast}},
        {R"(a "x.lzh" "d/" -d1 -lh7 -verify "-verify")",
         {"x.lzh", "d/", {"-verify"}, &kLh7, Effort::normal, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const AddCommand got = parse_command(c.text);
        EXPECT_EQ(got.archive, c.want.archive);
        EXPECT_EQ(got.base, c.want.base);
        EXPECT_EQ(got.items, c.want.items);
        EXPECT_EQ(got.method, c.want.method);
        EXPECT_EQ(got.effort, c.want.effort);
        EXPECT_EQ(got.verify, c.want.verify);
    }
}

TEST(CommandLanguage, QuotesHoldBlanksAndDoubledQuotes)
{
    const auto t = tokenize_command("a\t\"x y\"  \"say \"\"hi\"\"\" \"\" -d1");
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[1].text, "x y");
    EXPECT_EQ(t[2].text, "say \"hi\"");
    EXPECT_EQ(t[3].text, "");
    EXPECT_TRUE(t[3].quoted);
    EXPECT_FALSE(t[4].quoted);
    // quote_token is the inverse the batch uses for names holding a quote.
    for (std::string s : {"plain", "a\"b", "\"\"", "with blank", ""})
        EXPECT_EQ(tokenize_command(quote_token(s)).at(0).text, s);
}

TEST(CommandLanguage, RefusesWithAReason)
{
    const char* bad[] = {
        "",                                     // empty
        "   ",                                  // blanks only
        R"(x "a.lzh" "d/" -d1 "b")",            // unknown command
        R"("a" "a.lzh" "d/" -d1 "b")",          // quoted command letter
        R"(a "a.lzh" "d/" -d2 "b")",            // unknown switch
        R"(a -d1)",                             // no archive
        R"(a "a.lzh" -d1 "b")",                 // no base directory
        R"(a "a.lzh" "d" -d1 "b")",             // base does not end in a separator
        R"(a "a.lzh" "d/" -d1)",                // no item
        R"(a "a.lzh" "d/" "b")",                // no -d1
        R"(a "a.lzh" "d/" -d1 "b)",             // unbalanced quote
        R"(a "a.lzh""d/" -d1 "b")",             // no blank after a quoted token
        R"(a a"b.lzh "d/" -d1 "b")",            // quote inside a bare token
        R"(a "dir/" "d/" -d1 "b")",             // archive path is a directory
        R"(a "a.lzh" "d/" -d1 "/etc/passwd")",  // absolute item
        R"(a "a.lzh" "d/" -d1 "x/../../b")",    // item escaping the base
        R"(a "a.lzh" "d/" -d1 "")",             // empty item
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

// The root directory as the item ("/", what packing "/" writes) has no name
// to be stored under: the message says so and names it. An empty item below
// any other base keeps its own message.
TEST(CommandLanguage, TheRootItselfIsRefusedByName)
{
    const auto message = [](const char* text) {
        try {
            parse_command(text);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    const std::string root =
        "/ はルートディレクトリで名前がないため、書庫にできません "
        "(中のファイル・ディレクトリを指定してください)";
    EXPECT_EQ(message(R"(a "/.lzh" "/" -d1 "")"), root);
    EXPECT_EQ(message(R"(a "x.lzh" "//" -d1 "./")"),
              "// はルートディレクトリで名前がないため、書庫にできません "
              "(中のファイル・ディレクトリを指定してください)");
    EXPECT_EQ(message(R"(a "x.lzh" "/home/" -d1 "")"), "対象の名前が空です");
    EXPECT_EQ(message(R"(a "x.lzh" "/" -d1 "/")"),
              "対象は基準ディレクトリからの相対パスで指定してください: /");
    EXPECT_EQ(message(R"(a "x.lzh" "/" -d1 "...")"), "accepted") << "\"...\" is a name";
}
