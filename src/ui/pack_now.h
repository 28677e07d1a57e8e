// pack_now.h - `pelkoran --pack PATH...`: the items packed at once with the saved settings, without the list.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "archiver_library.h"
#include "compress_run.h"
#include "packer_dlg.h"
#include "progress_window.h"
#include "settings.h"

namespace pelkoran {

// What the command line of `pelkoran` asks for.
struct LaunchRequest {
    bool help = false;               // --help, -h: the usage, nothing else
    bool pack = false;               // --pack: pack at once, no window
    std::vector<std::string> paths;  // the items, as bytes
};

// The usage that `pelkoran --help` prints.
inline constexpr const char kLaunchUsage[] =
    "使い方: pelkoran [PATH...]\n"
    "        pelkoran --pack PATH...\n"
    "  PATH...         ウィンドウを開き、項目をリストに並べます\n"
    "  --pack PATH...  保存した設定ですぐに LZH 書庫にします (進行状況と結果だけを表示します)\n"
    "  --help          この説明を表示します\n";
inline constexpr const char kLaunchUsageEnglish[] =
    "Usage: pelkoran [PATH...]\n"
    "       pelkoran --pack PATH...\n"
    "  PATH...         opens the window with the items listed\n"
    "  --pack PATH...  packs the items at once with the saved settings (shows only the progress and the "
    "result)\n"
    "  --help          shows this help\n";

// What `pelkoran` says when there is no display to show a window on.
inline constexpr const char kMsgNoDisplay[] =
    "pelkoran: 画面がありません (DISPLAY も WAYLAND_DISPLAY もありません)。"
    "ウィンドウなしで圧縮するには: pelkoran-cli pack --same-place PATH...\n";
inline constexpr const char kMsgNoDisplayEnglish[] =
    "pelkoran: no display (neither DISPLAY nor WAYLAND_DISPLAY is set). "
    "To pack without a window: pelkoran-cli pack --same-place PATH...\n";

// Paths named on the command line that are not there (one per line follows);
// translated in the context "CPackNow", as the next.
inline constexpr const char kMsgMissingItems[] =
    QT_TRANSLATE_NOOP("CPackNow", "次の項目がないため圧縮しません:");
// `pelkoran --pack` with no path.
inline constexpr const char kMsgNoItems[] = QT_TRANSLATE_NOOP("CPackNow", "圧縮する項目を指定してください");

/*
 * ReadCommandLine - `args` are the arguments after the program's name, Qt's
 * own options already taken out. "--help" or "-h" first asks for the usage;
 * "--pack" first asks to pack the rest at once. Otherwise every argument is
 * a path for the window's list. A "--" right after "--pack" (or first)
 * ends the options, so that a path may start with "--".
 */
LaunchRequest ReadCommandLine(const std::vector<std::string>& args);

/*
 * CPackNow - the file manager's "LZH 書庫にする": the items are listed as a
 * drop lists them (each once, resolved, in the list's order) and packed by
 * the run of the compress button with the options saved in Pelkoran.ini
 * (output place, trim, method, effort), on a worker thread while this one
 * shows the progress window; then the run's own completion or failure message. Items that
 * are not there are named in a message first and left out. Nothing is
 * saved.
 */
class CPackNow : private RunReporter {
public:
    // library:        the archiver library (the engine; a fake in tests)
    // settings_path:  Pelkoran.ini to read (empty: SettingsFilePath())
    // query:          the status query of the list and the run
    explicit CPackNow(ArchiverLibrary& library = DefaultArchiverLibrary(), std::string settings_path = {},
                      StatusQuery query = QueryPathStatus);
    ~CPackNow() override;

    // Every message box, the library's failure box included.
    void SetMessageBox(MessageBoxFn box);
    ProgressWindow& Progress() { return progress_; }

    // Packs `paths`; returns the exit status: 0 when every item was packed,
    // 1 when an item failed or was not there, 2 when the saved output
    // directory was refused or no path was given.
    int Run(const std::vector<std::string>& paths);

private:
    // The saved options, fixed for the run.
    RunOptions Options() const;
    // RunReporter
    void Message(const std::string& text, MessageType type) override;
    void ItemStarting(int number, int count) override { progress_.BeginItem(number, count); }
    void ItemFailed(const std::string& reason) override;
    std::vector<std::string> TakeSkipped() override { return progress_.TakeSkipped(); }

    ArchiverLibrary& library_;
    Settings settings_;
    StatusQuery query_;
    QWidget owner_;  // never shown: the progress window's owner
    ProgressWindow progress_;
    MessageBoxFn message_box_;
};

}  // namespace pelkoran
