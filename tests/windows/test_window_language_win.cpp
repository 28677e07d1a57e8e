// The Windows window in English: every text of the main window, the
// progress window, the choices, the system menu and the picker's title;
// the settings file as in Japanese.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "batch_fakes.h"
#include "packer_window.h"
#include "pelkoran/messages.h"
#include "resource.h"
#include "settings.h"
#include "win_support.h"
#include "window_texts.h"

using namespace pelkoran;
using namespace pelkoran::win;
using win_test::TempDir;

namespace {

std::string TextOf(HWND hwnd)
{
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    return WideToUtf8(buffer);
}

// Japanese script (kana, kanji, full-width and half-width forms) in `text`.
bool HasJapanese(const std::string& text)
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

// The texts of `dialog` and all its children that are still Japanese.
std::vector<std::string> JapaneseTexts(HWND dialog)
{
    std::vector<std::string> found;
    if (HasJapanese(TextOf(dialog)))
        found.push_back(TextOf(dialog));
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM out) -> BOOL {
            const std::string text = TextOf(child);
            if (HasJapanese(text))
                reinterpret_cast<std::vector<std::string>*>(out)->push_back(text);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<std::string> ComboTexts(HWND combo)
{
    std::vector<std::string> texts;
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[256] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        texts.push_back(WideToUtf8(buffer));
    }
    return texts;
}

class EnglishWindow : public ::testing::Test {
protected:
    void SetUp() override { lzh::set_message_language(lzh::Language::english); }
    void TearDown() override { lzh::set_message_language(lzh::Language::japanese); }
};

}  // namespace

TEST(WindowsLanguage, TestsRunUnderAJapaneseDisplayLanguage)
{
    EXPECT_EQ(lzh::desktop_language(), lzh::Language::japanese) << "the tests run with LANG=ja_JP.UTF-8";
}

TEST(WindowsLanguage, EveryWordingHasItsEnglish)
{
    for (const WindowWording& w : WindowWordings()) {
        EXPECT_TRUE(HasJapanese(w.japanese)) << w.japanese;
        EXPECT_FALSE(std::string(w.english).empty()) << w.japanese;
        EXPECT_FALSE(HasJapanese(w.english)) << w.english;
    }
}

TEST_F(EnglishWindow, EveryTextIsEnglishAndTheSettingsFileUnchanged)
{
    TempDir dir;
    const std::string ini = dir / "Pelkoran.ini";
    const std::string path_only = "[Path]\nOutputDir=C:\\out\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n";
    win_test::WriteFile(ini, path_only);
    std::vector<std::string> titles;
    int runs = 0;
    WindowServices services;
    services.settings_path = ini;
    services.library_name = "pelkoran-lzh";
    services.library_version = 100;
    services.pick_folder = [&titles](HWND, const std::string& title, const std::string&) {
        titles.push_back(title);
        return std::string();
    };
    services.message_box = [](HWND, const std::string&, BoxType) {};
    services.run = [&runs](PackerWindow&) { ++runs; };
    PackerWindow window(std::move(services));
    HWND hwnd = window.Create(::GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd, nullptr);

    EXPECT_EQ(TextOf(hwnd), "Pelkoran (Using pelkoran-lzh 1.00)");
    EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_COMPRESS)), "Compress!");
    EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_SAME_PLACE)), "Put each archive beside its file or directory");
    EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_METHOD_LABEL)), "Method:");
    EXPECT_EQ(ComboTexts(::GetDlgItem(hwnd, IDC_METHOD)),
              (std::vector<std::string>{"-lh5-", "-lh6-", "-lh7-"}));
    EXPECT_EQ(ComboTexts(::GetDlgItem(hwnd, IDC_LEVEL)),
              (std::vector<std::string>{"fast", "normal", "best"}));
    EXPECT_EQ(JapaneseTexts(hwnd), std::vector<std::string>{});

    wchar_t about[256] = {};
    ::GetMenuStringW(::GetSystemMenu(hwnd, FALSE), IDM_ABOUTBOX, about, 256, MF_BYCOMMAND);
    EXPECT_EQ(WideToUtf8(about), "&About Pelkoran...");

    ::SendMessageW(::GetDlgItem(hwnd, IDC_OTHER_PLACE), BM_CLICK, 0, 0);
    ::SendMessageW(::GetDlgItem(hwnd, IDC_BROWSE), BM_CLICK, 0, 0);
    EXPECT_EQ(titles, std::vector<std::string>{"Choose the directory for the archives"});

    window.ProgressStart(2);
    ASSERT_NE(window.ProgressHandle(), nullptr);
    EXPECT_EQ(TextOf(window.ProgressHandle()), "Packing");
    EXPECT_EQ(TextOf(::GetDlgItem(window.ProgressHandle(), IDCANCEL)), "Cancel");
    EXPECT_EQ(JapaneseTexts(window.ProgressHandle()), std::vector<std::string>{});
    window.ProgressFinish();

    // The settings file is written back as it was read: no key or value is translated.
    ::SendMessageW(::GetDlgItem(hwnd, IDC_SAME_PLACE), BM_CLICK, 0, 0);
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(win_test::ReadFile(ini), path_only);
}
