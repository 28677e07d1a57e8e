// packer_window.cpp - Pelkoran's window on Windows.
#include "packer_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "item_path.h"
#include "method_switches.h"
#include "resource.h"
#include "wide_text.h"
#include "window_texts.h"

namespace pelkoran::win {

namespace {

constexpr char kNotice[] = "LZH 圧縮ツール (pelkoran-lzh エンジン)";

// What the effort box shows for each of kLevelNames, in its order.
constexpr const char* kLevelTexts[] = {"速度優先", "標準", "高圧縮"};
static_assert(std::size(kLevelTexts) == std::size(kLevelNames));

// The index of `name` in `names`; that of `fallback` when it is none of them.
template <std::size_t N>
int IndexOfName(const char* const (&names)[N], const std::string& name, const char* fallback)
{
    for (const std::string_view wanted : {std::string_view(name), std::string_view(fallback)})
        for (std::size_t i = 0; i < N; ++i)
            if (wanted == names[i])
                return static_cast<int>(i);
    return 0;
}

// Fills combo box `id` with `texts` (one for each of `names`) and selects
// the entry of `name`, the one of `fallback` when it is none of them.
template <std::size_t N>
void FillChoice(HWND dialog, int id, const std::string (&texts)[N], const char* const (&names)[N],
                const std::string& name, const char* fallback)
{
    for (const std::string& text : texts)
        ::SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
    ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(IndexOfName(names, name, fallback)),
                          0);
}

// The name of the entry combo box `id` shows; `fallback` when none is selected.
template <std::size_t N>
std::string ChosenName(HWND dialog, int id, const char* const (&names)[N], const char* fallback)
{
    const LRESULT i = ::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return i >= 0 && static_cast<std::size_t>(i) < N ? names[i] : fallback;
}

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

std::string WindowText(HWND hwnd)
{
    int n = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    n = ::GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    return WideToUtf8(text);
}

HICON LoadIconSized(int id, int size)
{
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           size, size, LR_DEFAULTCOLOR));
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        TranslateDialog(hwnd);
        const std::string text = Translated(kNotice) + "\nBUILD:" + __DATE__ + " " + __TIME__;
        ::SetDlgItemTextW(hwnd, IDC_ABOUT_TEXT, Utf8ToWide(text).c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            ::EndDialog(hwnd, LOWORD(wparam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED)
        ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

std::string WindowTitle(const std::string& library_name, unsigned version)
{
    char text[256];
    std::snprintf(text, sizeof text, "Pelkoran (Using %s %.2f)", library_name.c_str(),
                  static_cast<unsigned short>(version) * 0.01);
    return text;
}

std::string PickFolder(HWND owner, const std::string& title, const std::string& initial)
{
    std::wstring wide_title = Utf8ToWide(title);
    std::wstring start = Utf8ToWide(initial);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wide_title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE picked = ::SHBrowseForFolderW(&info);
    if (!picked)
        return {};
    std::wstring path(32768, L'\0');
    std::string result;
    if (::SHGetPathFromIDListEx(picked, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
        result = WideToUtf8(path.c_str());
    ::CoTaskMemFree(picked);
    return result;
}

void ShowMessageBox(HWND owner, const std::string& text, BoxType type)
{
    UINT flags = MB_OK | (type == BoxType::kInformation ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
    ::MessageBoxW(owner, Utf8ToWide(text).c_str(), L"Pelkoran", flags);
}

PackerWindow::PackerWindow(WindowServices services)
    : services_(std::move(services)),
      settings_path_(services_.settings_path.empty() ? SettingsFilePath() : services_.settings_path),
      targets_(services_.query)
{
    if (!services_.pick_folder)
        services_.pick_folder = PickFolder;
    if (!services_.message_box)
        services_.message_box = ShowMessageBox;
}

PackerWindow::~PackerWindow()
{
    if (hwnd_ && !modal_)
        ::DestroyWindow(hwnd_);
    for (HICON icon : {icon_big_, icon_small_, delete_icon_})
        if (icon)
            ::DestroyIcon(icon);
    if (images_)
        ::ImageList_Destroy(images_);
}

INT_PTR PackerWindow::RunModal(HINSTANCE instance)
{
    modal_ = true;
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PACKER_DIALOG), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

HWND PackerWindow::Create(HINSTANCE instance)
{
    return ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PACKER_DIALOG), nullptr, DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PackerWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto* self = reinterpret_cast<PackerWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<PackerWindow*>(lparam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        self->hwnd_ = hwnd;
    }
    return self ? self->OnMessage(message, wparam, lparam) : FALSE;
}

INT_PTR PackerWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == IDM_ABOUTBOX) {
            ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), hwnd_, AboutProc,
                              0);
            return TRUE;
        }
        return FALSE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wparam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    case WM_NOTIFY:
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, OnNotify(reinterpret_cast<NMHDR*>(lparam)));
        return TRUE;
    case WM_CLOSE:
        SaveAndEnd(IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        hwnd_ = nullptr;
        return FALSE;
    }
    return FALSE;
}

void PackerWindow::OnInitDialog()
{
    TranslateDialog(hwnd_);
    // The about entry of the system menu.
    if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
        std::wstring about = Utf8ToWide(Translated(WideToUtf8(LoadText(IDS_ABOUTBOX))));
        if (!about.empty()) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    ::SetWindowTextW(hwnd_,
                     Utf8ToWide(WindowTitle(services_.library_name, services_.library_version)).c_str());

    const UINT dpi = ::GetDpiForWindow(hwnd_) ? ::GetDpiForWindow(hwnd_) : 96;
    const int small = ::MulDiv(16, static_cast<int>(dpi), 96);
    icon_big_ = LoadIconSized(IDR_MAINFRAME, ::MulDiv(32, static_cast<int>(dpi), 96));
    icon_small_ = LoadIconSized(IDR_MAINFRAME, small);
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));
    delete_icon_ = LoadIconSized(IDI_DELETE, small);
    ::SendDlgItemMessageW(hwnd_, IDC_DELETE, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(delete_icon_));

    // The list: one column as wide as the list, rows selected whole, the
    // folder and file images in the order of TargetImage.
    list_ = Item(IDC_TARGET_LIST);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    images_ = ::ImageList_Create(small, small, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (int id : {IDI_DIRECTORY, IDI_FILE}) {
        HICON icon = LoadIconSized(id, small);
        ::ImageList_AddIcon(images_, icon);
        ::DestroyIcon(icon);
    }
    ListView_SetImageList(list_, images_, LVSIL_SMALL);
    RECT client{};
    ::GetClientRect(list_, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = client.right - ::GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
    ListView_InsertColumn(list_, 0, &column);
    ::SetWindowLongPtrW(list_, GWL_STYLE, ::GetWindowLongPtrW(list_, GWL_STYLE) | LVS_NOCOLUMNHEADER);
    // Drops anywhere on the window reach the dialog: the controls take none themselves.
    ::DragAcceptFiles(hwnd_, TRUE);
    ::ChangeWindowMessageFilterEx(hwnd_, WM_DROPFILES, MSGFLT_ALLOW, nullptr);
    ::ChangeWindowMessageFilterEx(hwnd_, 0x0049 /* WM_COPYGLOBALDATA */, MSGFLT_ALLOW, nullptr);

    settings_ = LoadSettings(settings_path_);
    ::CheckRadioButton(hwnd_, IDC_SAME_PLACE, IDC_OTHER_PLACE,
                       settings_.same_place ? IDC_SAME_PLACE : IDC_OTHER_PLACE);
    ::SetDlgItemTextW(hwnd_, IDC_OUTPUT_DIR, Utf8ToWide(settings_.output_dir).c_str());
    ::CheckDlgButton(hwnd_, IDC_TRIM_EXT, settings_.trim_ext ? BST_CHECKED : BST_UNCHECKED);
    SetUpCompressionControls();
    UpdateControls();
    if (!services_.items.empty())
        AddTargets(services_.items);
}

// The method box shows "-lh5-" for lh5 and so on, the effort box the words
// of kLevelTexts; both start at the saved choice, the check box at the
// saved verify flag.
void PackerWindow::SetUpCompressionControls()
{
    std::string methods[std::size(kMethodNames)];
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i)
        methods[i] = std::string("-") + kMethodNames[i] + "-";
    std::string levels[std::size(kLevelNames)];
    for (std::size_t i = 0; i < std::size(kLevelNames); ++i)
        levels[i] = Translated(kLevelTexts[i]);
    FillChoice(hwnd_, IDC_METHOD, methods, kMethodNames, settings_.method, kDefaultMethod);
    FillChoice(hwnd_, IDC_LEVEL, levels, kLevelNames, settings_.level, kDefaultLevel);
    ::CheckDlgButton(hwnd_, IDC_VERIFY, settings_.verify ? BST_CHECKED : BST_UNCHECKED);
}

void PackerWindow::OnDropFiles(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        length = ::DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(length);
        paths.push_back(WideToUtf8(path));
    }
    ::DragFinish(drop);
    AddTargets(paths);
}

void PackerWindow::AddTargets(const std::vector<std::string>& paths)
{
    if (running_)
        return;
    TargetListModel& model = targets_.Model();
    model.BeginBatch();
    for (const std::string& path : paths)
        targets_.AddTarget(ResolveItemPath(path));
    model.EndBatch();
    Refresh();
}

void PackerWindow::Refresh()
{
    const int rows = targets_.Model().RowCount();
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    ListView_SetItemCountEx(list_, rows, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
    UpdateControls();
}

void PackerWindow::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_SAME_PLACE:
    case IDC_OTHER_PLACE:
        if (code == BN_CLICKED)
            UpdateControls();
        break;
    case IDC_BROWSE:
        if (code == BN_CLICKED)
            OnBrowse();
        break;
    case IDC_DELETE:
        if (code == BN_CLICKED)
            RemoveSelectedTargets();
        break;
    case IDC_COMPRESS:
        if (code == BN_CLICKED)
            OnCompress();
        break;
    case IDOK:
        // Enter outside a push button: nothing (a typed directory stays, the window stays).
        break;
    case IDCANCEL:
        SaveAndEnd(IDCANCEL);
        break;
    }
}

LRESULT PackerWindow::OnNotify(NMHDR* header)
{
    if (header->idFrom != IDC_TARGET_LIST)
        return 0;
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        const TargetListModel& model = targets_.Model();
        const int row = info->item.iItem;
        if (row < 0 || row >= model.RowCount())
            return 0;
        if (info->item.mask & LVIF_TEXT) {
            display_text_ = Utf8ToWide(model.RowText(row));
            info->item.pszText = display_text_.data();
        }
        if (info->item.mask & LVIF_IMAGE)
            info->item.iImage = model.RowImage(row);
        return 0;
    }
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        UpdateControls();
        return 0;
    case LVN_KEYDOWN:
        if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE)
            RemoveSelectedTargets();
        return 0;
    }
    return 0;
}

void PackerWindow::OnBrowse()
{
    if (running_)
        return;
    const std::string title = Translated(WideToUtf8(LoadText(IDS_BROWSE_TITLE)));
    const std::string picked = services_.pick_folder(hwnd_, title, OutputDir());
    if (!picked.empty())
        ::SetDlgItemTextW(hwnd_, IDC_OUTPUT_DIR, Utf8ToWide(picked).c_str());
}

void PackerWindow::OnCompress()
{
    if (running_ || !services_.run)
        return;
    running_ = true;
    services_.run(*this);
    running_ = false;
    Refresh();
}

void PackerWindow::RemoveSelectedTargets()
{
    if (running_)
        return;
    TargetListModel& model = targets_.Model();
    model.BeginBatch();
    model.ClearSelection();
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED))
        model.SetSelected(row, true);
    targets_.RemoveSelectedTargets();
    model.EndBatch();
    Refresh();
}

// Delete follows the selection, compress the number of rows, the output
// field and its browse button the output mode.
void PackerWindow::UpdateControls()
{
    const bool elsewhere = !IsSamePlaceChecked();
    ::EnableWindow(Item(IDC_OUTPUT_DIR), elsewhere && !running_);
    ::EnableWindow(Item(IDC_BROWSE), elsewhere && !running_);
    ::EnableWindow(Item(IDC_DELETE), ListView_GetSelectedCount(list_) > 0 && !running_);
    ::EnableWindow(Item(IDC_COMPRESS), targets_.Model().RowCount() > 0 && !running_);
}

bool PackerWindow::IsSamePlaceChecked() const
{
    return ::IsDlgButtonChecked(hwnd_, IDC_SAME_PLACE) == BST_CHECKED;
}

std::string PackerWindow::OutputDir() const
{
    return WindowText(Item(IDC_OUTPUT_DIR));
}

bool PackerWindow::TrimExt() const
{
    return ::IsDlgButtonChecked(hwnd_, IDC_TRIM_EXT) == BST_CHECKED;
}

std::string PackerWindow::Method() const
{
    return ChosenName(hwnd_, IDC_METHOD, kMethodNames, kDefaultMethod);
}

std::string PackerWindow::Level() const
{
    return ChosenName(hwnd_, IDC_LEVEL, kLevelNames, kDefaultLevel);
}

bool PackerWindow::Verify() const
{
    return ::IsDlgButtonChecked(hwnd_, IDC_VERIFY) == BST_CHECKED;
}

void PackerWindow::FocusOutputDir()
{
    ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_OUTPUT_DIR)), TRUE);
}

void PackerWindow::Message(const std::string& text, BoxType type)
{
    services_.message_box(hwnd_, text, type);
}

INT_PTR CALLBACK PackerWindow::ProgressProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        return TRUE;
    }
    auto* self = reinterpret_cast<PackerWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    // Cancel, Esc and the close box all ask the run to stop after its item.
    if (self && ((message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) || message == WM_CLOSE)) {
        self->cancelled_ = true;
        ::EnableWindow(::GetDlgItem(hwnd, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}

void PackerWindow::ProgressStart(int count)
{
    cancelled_ = false;
    progress_ = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), hwnd_,
                                     ProgressProc, reinterpret_cast<LPARAM>(this));
    if (!progress_)
        return;
    TranslateDialog(progress_);
    ::SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, count);
    ::EnableWindow(hwnd_, FALSE);
    ::ShowWindow(progress_, SW_SHOW);
}

void PackerWindow::ProgressItem(int number, int count, const std::string& path)
{
    if (progress_) {
        const std::string text = std::to_string(number) + " / " + std::to_string(count) + "  " + path;
        ::SetDlgItemTextW(progress_, IDC_PROGRESS_TEXT, Utf8ToWide(text).c_str());
        ::SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETPOS, number - 1, 0);
    }
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (progress_ && ::IsDialogMessageW(progress_, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void PackerWindow::ProgressFinish()
{
    ::EnableWindow(hwnd_, TRUE);
    if (progress_)
        ::DestroyWindow(progress_);
    progress_ = nullptr;
    ::SetActiveWindow(hwnd_);
}

// Every way of ending the window (its close button, the system menu,
// Alt+F4, Esc) saves the settings; none while a run is under way.
void PackerWindow::SaveAndEnd(INT_PTR result)
{
    if (running_)
        return;
    settings_.output_dir = OutputDir();
    settings_.same_place = IsSamePlaceChecked();
    settings_.trim_ext = TrimExt();
    settings_.method = Method();
    settings_.level = Level();
    settings_.verify = Verify();
    SaveSettings(settings_path_, settings_);
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        ::DestroyWindow(hwnd_);
}

}  // namespace pelkoran::win
