// packer_dlg.h - the main window: the target list, the output options and the compress button.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archiver_library.h"
#include "background_run.h"
#include "compress_run.h"
#include "folder_picker.h"
#include "progress_window.h"
#include "target_list.h"

namespace Ui {
class CPackerDlg;
}

namespace pelkoran {

class TargetViewModel;

// Shows a message to the user and returns when it was closed.
using MessageBoxFn = std::function<void(QWidget* parent, const QString& text, MessageType type)>;

// The title, with the library's name and its version (hundredths) shown
// with two decimals: "Pelkoran (Using pelkoran-lzh 1.00)".
QString WindowTitle(const std::string& library_name, unsigned version);

/*
 * CPackerDlg - the main dialog.
 *
 * It owns the target list and shows it in the list view; its handlers are
 * the drop intake (OnDropFiles: a drop anywhere on the window adds items),
 * the delete button and the Delete key (RemoveSelectedTargets), the output
 * mode (OnOutputModeClicked), the browse button (OnBrowse), the compress
 * button (the run, OnCompress), the context menus (the list's offers 削除
 * and the about entry, the rest of the window the about entry; the Menu
 * key and Shift+F10 open them from the keyboard), and ending the dialog.
 * Enter never ends it (on a focused button it presses the button); Esc and
 * closing the window do, and every way of ending it saves the settings.
 *
 * The controls' enabled states come from one function, UpdateDialogControls,
 * run whenever the list, the selection or the output mode changes.
 *
 * For the run it reads the output options once (data exchange between the
 * members m_strOutputDir, m_bTrimExt, m_strMethod, m_strLevel, m_bVerify and the
 * controls) and is the run's reporter: the message boxes, focus, and the
 * progress window, which is the library's window. The run works on a worker
 * thread (BackgroundRun); its reports reach the window on the UI thread, in
 * order, each message box answered before the run goes on. While it lasts
 * the window's content is disabled (SetRunning), and the window can be
 * neither closed nor ended.
 */
class CPackerDlg : public QDialog, private RunReporter {
    Q_OBJECT

public:
    // library:        the archiver library (the engine; a fake in tests)
    // settings_path:  Pelkoran.ini to load now and save on close
    //                 (empty: SettingsFilePath())
    // query:          the status query of the list and the run
    explicit CPackerDlg(ArchiverLibrary& library = DefaultArchiverLibrary(), std::string settings_path = {},
                        StatusQuery query = QueryPathStatus, QWidget* parent = nullptr);
    ~CPackerDlg() override;

    // Admits the local files of a drop, in the drop's order; other URLs are
    // ignored. Nothing happens while a run is in progress.
    void OnDropFiles(const QList<QUrl>& urls);
    // Admits paths as a drop does (the command line's paths).
    void AddTargets(const std::vector<std::string>& paths);
    // Writes the output options to the settings file; every way of ending
    // the window does, a stop signal's included.
    void SaveOutputOptions();

    void SetFolderPicker(FolderPicker picker) { folder_picker_ = std::move(picker); }
    // Every message box of the window, the library's failure box included.
    void SetMessageBox(MessageBoxFn box);

    TargetList& Targets() { return targets_; }
    ProgressWindow& Progress() { return progress_; }
    const std::string& SettingsPath() const { return settings_path_; }
    bool IsRunning() const { return run_.Running(); }
    // Returns once a run under way has finished (its messages answered).
    void WaitForRun();

    // The handlers, public so that the window's behaviour can be driven.
    void OnOutputModeClicked();
    void UpdateOutputControls();
    void OnBrowse();
    void OnCompressClicked();
    void RemoveSelectedTargets();
    void UpdateDialogControls();
    void OnAbout();
    // The context menu for `widget` (the list or any other part of the
    // window) at `global_pos`.
    void ShowContextMenu(QWidget* widget, const QPoint& global_pos);
    // The list's one column: as wide as its content, never narrower than the view.
    void FitTargetColumn();

signals:
    // A run started by the compress button has ended.
    void runFinished(RunResult result);

public slots:
    void done(int result) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The output options of the controls, for a run.
    RunOptions ReadRunOptions();
    // Data exchange: true moves the controls into the members, false the
    // members into the controls.
    void UpdateData(bool save_and_validate);
    bool IsSamePlaceChecked() const;
    // RunReporter
    void Message(const std::string& text, MessageType type) override;
    void FocusOutputDir() override;
    void ItemStarting(int number, int count) override { progress_.BeginItem(number, count); }
    void ItemFailed(const std::string& reason) override;
    std::vector<std::string> TakeSkipped() override { return progress_.TakeSkipped(); }

    // Every control that a run must keep untouched, in one place: the
    // window's content is disabled while `running` and takes no drops.
    void SetRunning(bool running);
    void OnRunFinished(RunResult result);
    void SetUpTargetView();
    void LoadOutputOptions();

    std::unique_ptr<Ui::CPackerDlg> ui_;
    ArchiverLibrary& library_;
    std::string settings_path_;
    StatusQuery query_;
    TargetList targets_;
    TargetViewModel* view_model_ = nullptr;  // a child of this dialog
    ProgressWindow progress_;
    FolderPicker folder_picker_ = BrowseForFolder;
    MessageBoxFn message_box_;

    std::string m_strOutputDir;  // the output directory field, as bytes
    bool m_bTrimExt = false;     // the trim check box
    std::string m_strMethod;     // the method choice: "lh5", "lh6" or "lh7"
    std::string m_strLevel;      // the effort choice: "fast", "normal" or "best"
    bool m_bVerify = false;      // the verify check box

    BackgroundRun run_;                   // the compress button's run, on a worker thread
    QPointer<QWidget> focus_before_run_;  // gets the focus back when the run ends
    bool focus_output_dir_ = false;       // the run asked for the field's focus
};

}  // namespace pelkoran
