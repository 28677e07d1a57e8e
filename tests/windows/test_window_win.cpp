// The Windows window, driven with messages: drops, clicks, keys, the picker
// and message boxes behind stand-ins, the saved settings.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "batch_fakes.h"
#include "packer_window.h"
#include "window_run.h"
#include "resource.h"
#include "settings.h"
#include "win_support.h"

using namespace pelkoran;
using namespace pelkoran::win;
using win_test::TempDir;

namespace {

// A drop handle as the shell makes it: DROPFILES and the wide paths.
HDROP MakeDrop(const std::vector<std::string>& paths)
{
    std::wstring list;
    for (const auto& p : paths)
        list += Utf8ToWide(p) + L'\0';
    list += L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(::GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::string Text(HWND hwnd)
{
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    return WideToUtf8(buffer);
}

struct Harness {
    TempDir dir;
    std::string ini = dir / "Pelkoran.ini";
    std::vector<std::string> messages;
    std::vector<std::string> picker_calls;
    std::string picked;
    int runs = 0;
    std::unique_ptr<PackerWindow> window;
    HWND hwnd = nullptr;
    std::vector<std::string> items;
    std::function<void(PackerWindow&)> run;

    void Open()
    {
        WindowServices services;
        services.settings_path = ini;
        services.library_name = "pelkoran-lzh";
        services.library_version = 100;
        services.pick_folder = [this](HWND, const std::string& title, const std::string& initial) {
            picker_calls.push_back(title + "|" + initial);
            return picked;
        };
        services.message_box = [this](HWND, const std::string& text, BoxType type) {
            messages.push_back((type == BoxType::kInformation ? "i:" : "e:") + text);
        };
        services.run = run ? run : [this](PackerWindow&) { ++runs; };
        services.items = items;
        window = std::make_unique<PackerWindow>(std::move(services));
        hwnd = window->Create(::GetModuleHandleW(nullptr));
        ASSERT_NE(hwnd, nullptr) << "CreateDialogParamW: error " << ::GetLastError();
    }
    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)); }
    void Click(int id) { ::SendMessageW(Item(id), BM_CLICK, 0, 0); }
    HWND List() const { return Item(IDC_TARGET_LIST); }
    int Rows() const { return ListView_GetItemCount(List()); }
    std::string Row(int row) const
    {
        wchar_t buffer[1024] = {};
        ListView_GetItemText(List(), row, 0, buffer, 1024);
        return WideToUtf8(buffer);
    }
    int Image(int row) const
    {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        ListView_GetItem(List(), &item);
        return item.iImage;
    }
};

}  // namespace

TEST(WindowsWindow, StartsWithTitleMenuAndTheSavedOptions)
{
    Harness h;
    win_test::WriteFile(h.ini, "[Path]\r\nOutputDir=C:\\\r\nIsSamePlace=FALSE\r\nIsTrimEXT=TRUE\r\n");
    h.Open();
    EXPECT_EQ(Text(h.hwnd), "Pelkoran (Using pelkoran-lzh 1.00)");
    EXPECT_EQ(Text(h.Item(IDC_OUTPUT_DIR)), "C:\\");
    EXPECT_EQ(::IsDlgButtonChecked(h.hwnd, IDC_OTHER_PLACE), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(h.hwnd, IDC_TRIM_EXT), BST_CHECKED);
    EXPECT_TRUE(h.Enabled(IDC_OUTPUT_DIR));
    EXPECT_TRUE(h.Enabled(IDC_BROWSE));
    EXPECT_FALSE(h.Enabled(IDC_DELETE)) << "nothing selected";
    EXPECT_FALSE(h.Enabled(IDC_COMPRESS)) << "nothing listed";

    HMENU menu = ::GetSystemMenu(h.hwnd, FALSE);
    const int count = ::GetMenuItemCount(menu);
    wchar_t entry[128] = {};
    ::GetMenuStringW(menu, IDM_ABOUTBOX, entry, 128, MF_BYCOMMAND);
    EXPECT_EQ(WideToUtf8(entry), "Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));

    // The tab order of the template starts at the list.
    EXPECT_EQ(::GetDlgCtrlID(::GetNextDlgTabItem(h.hwnd, nullptr, FALSE)), IDC_TARGET_LIST);
}

TEST(WindowsWindow, DropsListEachItemOnceWithItsImageAndTheButtonsFollow)
{
    Harness h;
    const std::string folder = h.dir / "写真 表", file = h.dir / "ソ.txt";
    ASSERT_TRUE(std::filesystem::create_directories(win_test::Fs(folder)));
    win_test::WriteFile(file, "x");
    h.Open();
    ::SendMessageW(h.hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file, folder, h.dir / "無い"})),
                   0);
    ::SendMessageW(h.hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file + "\\", h.dir / "."})), 0);
    ASSERT_EQ(h.Rows(), 3) << "the same file twice and a missing path are listed once and not at all";
    EXPECT_EQ(h.Row(0), h.dir.path());
    EXPECT_EQ(h.Row(1), file);
    EXPECT_EQ(h.Row(2), folder);
    EXPECT_EQ(h.Image(1), kImageFile);
    EXPECT_EQ(h.Image(2), kImageDirectory);
    EXPECT_TRUE(h.Enabled(IDC_COMPRESS));
    EXPECT_FALSE(h.Enabled(IDC_DELETE));

    ListView_SetItemState(h.List(), 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(h.Enabled(IDC_DELETE));
    h.Click(IDC_DELETE);
    ASSERT_EQ(h.Rows(), 2);
    EXPECT_EQ(h.Row(0), file);
    EXPECT_FALSE(h.Enabled(IDC_DELETE));

    // The Delete key on the list removes the selected rows.
    ListView_SetItemState(h.List(), 1, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageW(h.List(), WM_KEYDOWN, VK_DELETE, 0);
    ASSERT_EQ(h.Rows(), 1);
    EXPECT_EQ(h.Row(0), file);

    h.Click(IDC_COMPRESS);
    EXPECT_EQ(h.runs, 1);

    // Items of the command line (Send To) are listed when the window opens.
    Harness sent;
    sent.items = {folder, file, h.dir / "無い"};
    sent.Open();
    ASSERT_EQ(sent.Rows(), 2);
    EXPECT_EQ(sent.Row(0), file);
    EXPECT_TRUE(sent.Enabled(IDC_COMPRESS));
}

TEST(WindowsWindow, OutputModePickerEnterAndEveryCloseSaves)
{
    Harness h;
    h.Open();
    EXPECT_EQ(::IsDlgButtonChecked(h.hwnd, IDC_SAME_PLACE), BST_CHECKED) << "the default";
    EXPECT_FALSE(h.Enabled(IDC_OUTPUT_DIR));
    EXPECT_FALSE(h.Enabled(IDC_BROWSE));
    h.Click(IDC_OTHER_PLACE);
    EXPECT_TRUE(h.Enabled(IDC_OUTPUT_DIR));
    EXPECT_TRUE(h.Enabled(IDC_BROWSE));

    ::SetWindowTextW(h.Item(IDC_OUTPUT_DIR), L"D:\\出力 十");
    h.picked = "";
    h.Click(IDC_BROWSE);
    EXPECT_EQ(Text(h.Item(IDC_OUTPUT_DIR)), "D:\\出力 十") << "a cancelled picker keeps the text";
    h.picked = "E:\\能";
    h.Click(IDC_BROWSE);
    EXPECT_EQ(Text(h.Item(IDC_OUTPUT_DIR)), "E:\\能");
    EXPECT_EQ(h.picker_calls,
              (std::vector<std::string>{"出力するディレクトリを選択してください|D:\\出力 十",
                                        "出力するディレクトリを選択してください|D:\\出力 十"}));

    // Enter (IDOK from the dialog manager) never ends the window.
    ::SendMessageW(h.hwnd, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(::IsWindow(h.hwnd));
    h.Click(IDC_TRIM_EXT);
    ::SendMessageW(h.hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(h.hwnd));
    Settings saved = LoadSettings(h.ini);
    EXPECT_EQ(saved.output_dir, "E:\\能");
    EXPECT_FALSE(saved.same_place);
    EXPECT_TRUE(saved.trim_ext);

    // Esc ends it too, and saves as well.
    Harness esc;
    esc.Open();
    esc.Click(IDC_TRIM_EXT);
    ::SendMessageW(esc.hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(::IsWindow(esc.hwnd));
    EXPECT_TRUE(LoadSettings(esc.ini).trim_ext);
}

// The progress window: each item's number and path, and Cancel heard
// between items; the main window takes no input meanwhile.
TEST(WindowsWindow, ProgressWindowShowsEachItemAndCancelStopsTheRun)
{
    Harness h;
    const std::string file = h.dir / "表.txt";
    win_test::WriteFile(file, "x");
    std::vector<std::string> shown;
    int packed = 0;
    bool main_disabled = false;
    // The run is the window's own seam: here a stand-in that walks three items.
    h.items = {file};
    h.run = [&](PackerWindow& w) {
        w.ProgressStart(3);
        for (int i = 1; i <= 3 && !w.Cancelled(); ++i) {
            w.ProgressItem(i, 3, "C:\\十\\" + std::to_string(i));
            wchar_t text[256] = {};
            ::GetDlgItemTextW(w.ProgressHandle(), IDC_PROGRESS_TEXT, text, 256);
            shown.push_back(WideToUtf8(text));
            main_disabled = !::IsWindowEnabled(w.Handle());
            if (i == 2)  // the user presses Cancel while item 2 is packed
                ::PostMessageW(w.ProgressHandle(), WM_COMMAND, IDCANCEL, 0);
            ++packed;
            w.ProgressItem(i, 3, "C:\\十\\" + std::to_string(i));
        }
        w.ProgressFinish();
    };
    h.Open();
    h.Click(IDC_COMPRESS);
    EXPECT_EQ(shown, (std::vector<std::string>{"1 / 3  C:\\十\\1", "2 / 3  C:\\十\\2"}));
    EXPECT_EQ(packed, 2) << "the run stops after the item under way";
    EXPECT_TRUE(main_disabled);
    EXPECT_TRUE(::IsWindowEnabled(h.hwnd)) << "enabled again after the run";
    EXPECT_EQ(h.window->ProgressHandle(), nullptr);
}

// The run from the window: a rejected output directory is an error box with
// the focus on the field and nothing packed (each rejection is the batch's,
// tested there); "C:\\" is taken as a drive root; the completion message.
TEST(WindowsWindow, RunChecksTheOutputDirectoryAndPacksIntoADriveRoot)
{
    Harness h;
    const std::string memo = h.dir / "memo.txt";
    win_test::WriteFile(memo, "x");
    pelkoran::testing::FakeLibrary library;
    h.items = {memo};
    h.run = [&](PackerWindow& w) {
        RunFromWindow(w, library, QueryPathStatus, [](const std::string&) { return std::string(); });
    };
    h.Open();
    ::SetForegroundWindow(h.hwnd);
    h.Click(IDC_OTHER_PLACE);
    auto run_with = [&](const std::string& dir) {
        ::SetWindowTextW(h.Item(IDC_OUTPUT_DIR), Utf8ToWide(dir).c_str());
        ::SetFocus(h.List());
        h.Click(IDC_COMPRESS);
        return h.messages.empty() ? std::string() : h.messages.back();
    };
    EXPECT_EQ(run_with(" D:\\無い\\ "), "e:指定のディレクトリ(D:\\無い)がありません");
    EXPECT_EQ(::GetFocus(), h.Item(IDC_OUTPUT_DIR));
    EXPECT_TRUE(library.commands.empty()) << "nothing is packed after a rejection";
    EXPECT_EQ(h.Rows(), 1);

    EXPECT_EQ(run_with("C:\\"), "i:圧縮がすべて終了しました。");
    ASSERT_EQ(library.commands.size(), 1u);
    EXPECT_EQ(library.commands[0], "a \"C:\\\\memo.txt.lzh\" \"" + h.dir.path() + "\\\" -d1 \"memo.txt\"");
    EXPECT_EQ(h.Rows(), 0);
    EXPECT_FALSE(h.Enabled(IDC_COMPRESS));
}

std::vector<std::string> ComboTexts(HWND combo)
{
    std::vector<std::string> texts;
    const int n = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[64] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        texts.push_back(WideToUtf8(text));
    }
    return texts;
}

// The method, effort and verify controls: the defaults change no command
// text and write no new key; a choice reaches the command, is saved and
// shows again when the window opens.
TEST(WindowsWindow, MethodEffortAndVerifyReachTheCommandAndAreSaved)
{
    Harness h;
    const std::string memo = h.dir / "memo.txt";
    win_test::WriteFile(memo, "x");
    win_test::WriteFile(h.ini, "[Path]\r\nOutputDir=C:\\\r\nIsSamePlace=TRUE\r\nIsTrimEXT=FALSE\r\n");
    const std::string before = win_test::ReadFile(h.ini);
    pelkoran::testing::FakeLibrary library;
    h.items = {memo};
    h.run = [&](PackerWindow& w) { RunFromWindow(w, library); };
    h.Open();
    EXPECT_EQ(Text(h.Item(IDC_METHOD_LABEL)), "圧縮方式:");
    EXPECT_EQ(Text(h.Item(IDC_VERIFY)), "書き込み後に検査");
    EXPECT_EQ(ComboTexts(h.Item(IDC_METHOD)), (std::vector<std::string>{"-lh5-", "-lh6-", "-lh7-"}));
    EXPECT_EQ(ComboTexts(h.Item(IDC_LEVEL)), (std::vector<std::string>{"速度優先", "標準", "高圧縮"}));
    EXPECT_EQ(Text(h.Item(IDC_METHOD)), "-lh5-");
    EXPECT_EQ(Text(h.Item(IDC_LEVEL)), "標準");
    EXPECT_EQ(::IsDlgButtonChecked(h.hwnd, IDC_VERIFY), BST_UNCHECKED);
    h.Click(IDC_COMPRESS);
    ASSERT_EQ(library.commands.size(), 1u);
    EXPECT_EQ(library.commands[0], "a \"" + memo + ".lzh\" \"" + h.dir.path() + "\\\" -d1 \"memo.txt\"");
    ::SendMessageW(h.hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(win_test::ReadFile(h.ini), before) << "the defaults add nothing to the file";

    // lh7, best, verify: the switches in the command, the keys in the file.
    Harness chosen;
    chosen.ini = h.ini;
    chosen.items = {memo};
    chosen.run = h.run;
    chosen.Open();
    ::SendMessageW(chosen.Item(IDC_METHOD), CB_SETCURSEL, 2, 0);
    ::SendMessageW(chosen.Item(IDC_LEVEL), CB_SETCURSEL, 2, 0);
    chosen.Click(IDC_VERIFY);
    chosen.Click(IDC_COMPRESS);
    ASSERT_EQ(library.commands.size(), 2u);
    EXPECT_NE(library.commands[1].find("\" -d1 -lh7 -best -verify \"memo.txt\""), std::string::npos)
        << library.commands[1];
    ::SendMessageW(chosen.hwnd, WM_COMMAND, IDCANCEL, 0);
    const Settings saved = LoadSettings(h.ini);
    EXPECT_EQ(saved.method, "lh7");
    EXPECT_EQ(saved.level, "best");
    EXPECT_TRUE(saved.verify);
    EXPECT_NE(win_test::ReadFile(h.ini).find("[Compression]\r\nMethod=lh7\r\nLevel=best\r\nVerify=TRUE"),
              std::string::npos)
        << win_test::ReadFile(h.ini);

    // Read back: the file just saved, and one with values no version
    // writes (the defaults show).
    struct Case {
        std::string file, method, level;
        UINT verify;
    };
    for (const Case& c : {Case{"", "-lh7-", "高圧縮", BST_CHECKED},
                          Case{"[Compression]\r\nMethod=LH7\r\nLevel=fastest\r\nVerify=true\r\n", "-lh5-",
                               "標準", BST_UNCHECKED}}) {
        if (!c.file.empty())
            win_test::WriteFile(h.ini, c.file);
        Harness again;
        again.ini = h.ini;
        again.Open();
        EXPECT_EQ(Text(again.Item(IDC_METHOD)), c.method);
        EXPECT_EQ(Text(again.Item(IDC_LEVEL)), c.level);
        EXPECT_EQ(::IsDlgButtonChecked(again.hwnd, IDC_VERIFY), c.verify);
    }
}

// No two controls overlap (a group box holds its own), and each lies
// inside the window; the tab order follows the rows.
TEST(WindowsWindow, ControlsDoNotOverlap)
{
    Harness h;
    h.Open();
    struct Control {
        int id;
        RECT rect;
        bool group;
    };
    std::vector<Control> controls;
    RECT client{};
    ::GetClientRect(h.hwnd, &client);
    for (HWND c = ::GetWindow(h.hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        ::GetWindowRect(c, &r);
        ::MapWindowPoints(nullptr, h.hwnd, reinterpret_cast<POINT*>(&r), 2);
        const bool group = (::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
                           ::SendMessageW(c, WM_GETDLGCODE, 0, 0) & DLGC_STATIC;
        controls.push_back({::GetDlgCtrlID(c), r, group});
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << "control " << ::GetDlgCtrlID(c) << " leaves the window";
    }
    for (std::size_t i = 0; i < controls.size(); ++i)
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            RECT both{};
            if (controls[i].group || controls[j].group)
                continue;
            EXPECT_FALSE(::IntersectRect(&both, &controls[i].rect, &controls[j].rect))
                << "controls " << controls[i].id << " and " << controls[j].id << " overlap";
        }
    std::vector<int> order;
    HWND first = ::GetNextDlgTabItem(h.hwnd, nullptr, FALSE);
    for (HWND c = first; c && (order.empty() || c != first); c = ::GetNextDlgTabItem(h.hwnd, c, FALSE))
        order.push_back(::GetDlgCtrlID(c));
    const auto trim = std::find(order.begin(), order.end(), IDC_TRIM_EXT);
    ASSERT_NE(trim, order.end());
    EXPECT_EQ(std::vector<int>(trim, std::min(trim + 4, order.end())),
              (std::vector<int>{IDC_TRIM_EXT, IDC_METHOD, IDC_LEVEL, IDC_VERIFY}));
}

// 「圧縮実行！」 with the engine itself: a folder with a Japanese name goes
// into its archive in the chosen directory, the list empties.
TEST(WindowsWindow, CompressPacksWithTheEngine)
{
    Harness h;
    const std::string item = h.dir / "ソ表能十", out = h.dir / "出力";
    win_test::WriteFile(item + "\\中身.txt", "packed for real");
    ASSERT_TRUE(std::filesystem::create_directories(win_test::Fs(out)));
    h.items = {item};
    h.run = [](PackerWindow& w) { RunFromWindow(w, DefaultArchiverLibrary()); };
    h.Open();
    ::SetForegroundWindow(h.hwnd);
    h.Click(IDC_OTHER_PLACE);
    ::SetWindowTextW(h.Item(IDC_OUTPUT_DIR), Utf8ToWide(out).c_str());
    h.Click(IDC_COMPRESS);
    ASSERT_FALSE(h.messages.empty());
    EXPECT_EQ(h.messages.back(), "i:圧縮がすべて終了しました。");
    const std::string archive = out + "\\ソ表能十.lzh";
    const std::string bytes = win_test::ReadFile(archive);
    ASSERT_GT(bytes.size(), 22u) << archive;
    EXPECT_NE(bytes.find("-lh"), std::string::npos);
    EXPECT_EQ(h.Rows(), 0);
}

namespace {
std::string g_about_text;
std::string g_about_title;
void CALLBACK CloseAbout(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND about = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND w, LPARAM out) -> BOOL {
            if (::GetDlgItem(w, IDC_ABOUT_TEXT)) {
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&about));
    if (!about)
        return;
    ::KillTimer(nullptr, id);
    g_about_title = Text(about);
    g_about_text = Text(::GetDlgItem(about, IDC_ABOUT_TEXT));
    ::SendMessageW(about, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST(WindowsWindow, AboutBoxFromTheSystemMenuEntry)
{
    Harness h;
    h.Open();
    ::SetTimer(nullptr, 0, 50, CloseAbout);
    ::SendMessageW(h.hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
    EXPECT_EQ(g_about_title, "Pelkoranのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_NE(g_about_text.find("\nBUILD:"), std::string::npos) << g_about_text;
    EXPECT_TRUE(::IsWindow(h.hwnd));
}

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
