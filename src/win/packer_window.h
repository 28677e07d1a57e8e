// packer_window.h - Pelkoran's window on Windows: the dialog of the target
// list and output options, over the batch layer and the settings.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "path_status.h"
#include "settings.h"
#include "target_list.h"

namespace pelkoran::win {

// The kind of a message box: an error with OK, or the completion message
// with OK and the information icon.
enum class BoxType { kError, kInformation };

class PackerWindow;

// What the window takes from outside; tests replace each part.
struct WindowServices {
    // The folder picker: the picked folder, or the empty text.
    std::function<std::string(HWND owner, const std::string& title, const std::string& initial)> pick_folder;
    // A message box; returns when it is closed.
    std::function<void(HWND owner, const std::string& text, BoxType type)> message_box;
    // The compress button's work: the run over the window's list.
    std::function<void(PackerWindow& window)> run;
    StatusQuery query = QueryPathStatus;
    // Paths admitted when the window opens (its command line: Send To, a
    // shortcut with items dropped on it).
    std::vector<std::string> items;
    // Where the settings live; empty: SettingsFilePath().
    std::string settings_path;
    // The engine's name and version (hundredths) for the title.
    std::string library_name;
    unsigned library_version = 0;
};

// The real folder picker and message box.
std::string PickFolder(HWND owner, const std::string& title, const std::string& initial);
void ShowMessageBox(HWND owner, const std::string& text, BoxType type);

// "Pelkoran (Using NAME 1.00)".
std::string WindowTitle(const std::string& library_name, unsigned version);

class PackerWindow {
public:
    explicit PackerWindow(WindowServices services);
    ~PackerWindow();
    PackerWindow(const PackerWindow&) = delete;
    PackerWindow& operator=(const PackerWindow&) = delete;

    // Shows the window and returns when it ends.
    INT_PTR RunModal(HINSTANCE instance);
    // Creates the window without a loop of its own (tests drive it with messages).
    HWND Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }

    // Admits paths as a drop does.
    void AddTargets(const std::vector<std::string>& paths);
    TargetList& Targets() { return targets_; }

    // The output options as the controls show them.
    bool IsSamePlaceChecked() const;
    std::string OutputDir() const;
    bool TrimExt() const;
    // The method and effort as the combo boxes show them, by the names
    // pelkoran-cli pack and Pelkoran.ini use ("lh5", "normal"), and the
    // verify check box.
    std::string Method() const;
    std::string Level() const;
    bool Verify() const;
    void FocusOutputDir();
    void Message(const std::string& text, BoxType type);
    // Shows the list as the model holds it, and the enabled states.
    void Refresh();

    // The progress window of a run: shown by ProgressStart, told of each
    // item, closed by ProgressFinish. While it is up the main window takes
    // no input; each ProgressItem handles the messages waiting, so its
    // Cancel button is heard between items. Cancelled(): it was pressed.
    void ProgressStart(int count);
    void ProgressItem(int number, int count, const std::string& path);
    bool Cancelled() const { return cancelled_; }
    void ProgressFinish();
    HWND ProgressHandle() const { return progress_; }

private:
    static INT_PTR CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnInitDialog();
    void SetUpCompressionControls();
    void OnDropFiles(HDROP drop);
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR* header);
    void OnBrowse();
    void OnCompress();
    void RemoveSelectedTargets();
    void UpdateControls();
    void SaveAndEnd(INT_PTR result);
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

    WindowServices services_;
    std::string settings_path_;
    Settings settings_;
    TargetList targets_;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HICON icon_big_ = nullptr;
    HICON icon_small_ = nullptr;
    HICON delete_icon_ = nullptr;
    HIMAGELIST images_ = nullptr;
    std::wstring display_text_;  // the text a list row shows, while the list reads it
    HWND progress_ = nullptr;
    bool cancelled_ = false;
    bool modal_ = false;
    bool running_ = false;
};

}  // namespace pelkoran::win
