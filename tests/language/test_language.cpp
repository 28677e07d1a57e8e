// test_language.cpp - the language rule, and both wordings of every text
// outside the window.
#include "batch_fakes.h"
#include "cli_texts.h"
#include "compress_run.h"
#include "pelkoran/error.h"
#include "pelkoran/messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace {

using lzh::Language;
using lzh::Message;

// Sets the process's message language for one test, and back to Japanese.
class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { lzh::set_message_language(Language::japanese); }
};

std::size_t Count(std::string_view text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// The printf conversions of `format`, in order ("%s", "%%", ...).
std::vector<std::string> Conversions(const std::string& format)
{
    std::vector<std::string> found;
    const std::regex conversion("%[-+ #0-9.*]*[a-zA-Z%]");
    for (auto it = std::sregex_iterator(format.begin(), format.end(), conversion);
         it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

// Japanese script (kana, kanji, full-width and half-width forms) in `text`.
bool HasJapanese(std::string_view text)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if ((lead == 0xE3 && next >= 0x80) || (lead >= 0xE4 && lead <= 0xE9) ||
            (lead == 0xEF && next >= 0xBC))
            return true;
    }
    return false;
}

struct Environment {
    const char* language;
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    Language expected;
};

TEST(LanguageRule, FollowsGettextsOrderOfVariables)
{
    const Language ja = Language::japanese, en = Language::english;
    const Environment cases[] = {
        // Unset, C and POSIX: English, and LANGUAGE is not read under them.
        {nullptr, nullptr, nullptr, nullptr, en},
        {"", "", "", "", en},
        {"ja", nullptr, nullptr, nullptr, en},
        {"ja", "C", nullptr, "ja_JP.UTF-8", en},
        {"ja", nullptr, nullptr, "C.UTF-8", en},
        {"ja", nullptr, "POSIX", nullptr, en},
        // The locale: the first non-empty of LC_ALL, LC_MESSAGES, LANG.
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", ja},
        {nullptr, nullptr, nullptr, "ja", ja},
        {nullptr, nullptr, nullptr, "ja_JP.eucJP", ja},
        {nullptr, "", "", "ja_JP.UTF-8", ja},
        {nullptr, nullptr, "ja_JP.UTF-8", "en_US.UTF-8", ja},
        {nullptr, "en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", en},
        {nullptr, "ja_JP.UTF-8", "en_US.UTF-8", "en_US.UTF-8", ja},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", en},
        {nullptr, nullptr, nullptr, "jam_JM", en},  // Jamaican, not Japanese
        // LANGUAGE: the first entry with texts here wins; others are passed over.
        {"ja", nullptr, nullptr, "en_US.UTF-8", ja},
        {"en", nullptr, nullptr, "ja_JP.UTF-8", en},
        {"fr:de:ja_JP:en", nullptr, nullptr, "en_GB.UTF-8", ja},
        {"fr:en_GB:ja", nullptr, nullptr, "ja_JP.UTF-8", en},
        {"fr:de", nullptr, nullptr, "ja_JP.UTF-8", ja},  // none known: the locale decides
        {":ja", nullptr, nullptr, "en_US.UTF-8", ja},
        {"JA", nullptr, nullptr, "en_US.UTF-8", ja},
    };
    for (const Environment& e : cases) {
        EXPECT_EQ(lzh::language_from_environment(e.language, e.lc_all, e.lc_messages, e.lang), e.expected)
            << "LANGUAGE=" << (e.language ? e.language : "(unset)")
            << " LC_ALL=" << (e.lc_all ? e.lc_all : "(unset)")
            << " LC_MESSAGES=" << (e.lc_messages ? e.lc_messages : "(unset)")
            << " LANG=" << (e.lang ? e.lang : "(unset)");
    }
}

TEST(EngineMessages, EveryCodeHasBothWordingsWithTheSameArguments)
{
    // Every code up to the first without a wording: the end of the table.
    std::size_t i = 0;
    for (; !lzh::message_text(Message(i), Language::japanese).empty(); ++i) {
        const std::string_view ja = lzh::message_text(Message(i), Language::japanese);
        const std::string_view en = lzh::message_text(Message(i), Language::english);
        EXPECT_FALSE(en.empty()) << i << ": " << ja;
        EXPECT_EQ(Count(ja, "{}"), Count(en, "{}")) << i << ": " << en;
        EXPECT_FALSE(HasJapanese(en)) << i << ": " << en;
    }
    EXPECT_GT(i, std::size_t(Message::root_has_no_name));
    EXPECT_EQ(lzh::message_text(Message(i), Language::english), "");
}

TEST_F(LanguageTest, EngineWordsErrorsInTheChosenLanguage)
{
    EXPECT_EQ(lzh::message_language(), Language::japanese) << "Japanese until a program sets another";
    lzh::set_message_language(Language::english);
    const lzh::Error e(Message::cannot_write, {"/out/a.lzh"}, ENOSPC);
    EXPECT_STREQ(e.what(), "Cannot write: /out/a.lzh (no space left on the disk)");
    const lzh::Error damaged(Message::damaged_member, {"a.lzh", "x.txt"},
                             lzh::Error(Message::data_crc_mismatch));
    EXPECT_STREQ(damaged.what(), "The archive is damaged: a.lzh (member \"x.txt\": The CRC does not match)");
    lzh::set_message_language(Language::japanese);
    EXPECT_STREQ(lzh::Error(Message::cannot_write, {"/out/a.lzh"}, ENOSPC).what(),
                 "書き込めません: /out/a.lzh (ディスクの空きが足りません)");
}

TEST(RunTexts, EveryTextHasBothWordingsWithTheSameValues)
{
    using namespace pelkoran;
    for (const char* text : {kMsgNoSuchDirectory, kMsgNotADirectory, kMsgAllDone, kMsgCannotWriteDirectory,
                             kMsgArchiveIsItem, kMsgSameStoredName, kMsgSkipped}) {
        bool listed = false;
        for (const RunWording& w : RunWordings())
            listed = listed || std::string_view(w.japanese) == text;
        EXPECT_TRUE(listed) << text;
    }
    for (const RunWording& w : RunWordings()) {
        EXPECT_FALSE(std::string_view(w.japanese).empty());
        EXPECT_FALSE(std::string_view(w.english).empty()) << w.japanese;
        EXPECT_EQ(Count(w.japanese, "%s"), Count(w.english, "%s")) << w.english;
        EXPECT_FALSE(HasJapanese(w.english)) << w.english;
    }
}

TEST_F(LanguageTest, RunSpeaksTheChosenLanguage)
{
    using namespace pelkoran;
    pelkoran::testing::FakeFiles files;
    files.AddFile("/w/a.txt");
    auto run = [&files](const std::string& output_dir) {
        pelkoran::testing::FakeFrontEnd front;
        pelkoran::testing::FakeLibrary library;
        TargetList targets(files.Query());
        targets.AddTarget("/w/a.txt");
        front.same_place = output_dir.empty();
        front.output_dir = output_dir;
        OnCompress(front.Options(), front, front.window, targets, library, files.Query(), files.Probe());
        return front.messages.empty() ? std::string() : front.messages.front().first;
    };
    EXPECT_EQ(run(""), kMsgAllDone);
    EXPECT_EQ(run("/gone"), "指定のディレクトリ(/gone)がありません");
    EXPECT_EQ(SkippedMessage(std::vector<std::string>(21, "/p")).substr(0, sizeof kMsgSkipped - 1),
              kMsgSkipped);
    EXPECT_NE(SkippedMessage(std::vector<std::string>(21, "/p")).find("\nほか 1 件"), std::string::npos);

    lzh::set_message_language(lzh::Language::english);
    EXPECT_EQ(run(""), "All items have been packed.");
    EXPECT_EQ(run("/gone"), "The directory (/gone) does not exist");
    const std::string skipped = SkippedMessage(std::vector<std::string>(21, "/p"));
    EXPECT_EQ(skipped.rfind("These special files", 0), 0u) << skipped;
    EXPECT_NE(skipped.find("\nand 1 more"), std::string::npos) << skipped;
}

TEST(CliTexts, EveryTextHasBothWordingsWithTheSameConversions)
{
    for (std::size_t i = 0; i < kCliTextCount; ++i) {
        const std::string ja = Text(CliText(i), Language::japanese);
        const std::string en = Text(CliText(i), Language::english);
        EXPECT_FALSE(ja.empty()) << i;
        EXPECT_FALSE(en.empty()) << i;
        EXPECT_EQ(Conversions(ja), Conversions(en)) << i << ": " << en;
        EXPECT_EQ(Count(ja, "\n"), Count(en, "\n")) << i << ": " << en;
        EXPECT_FALSE(HasJapanese(en)) << i << ": " << en;
    }
}

}  // namespace
