// progress_window.h - the window the library talks to while it packs: progress, cancel, its failure box.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelkoran/archiver.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace pelkoran {

/*
 * ProgressDialog - a modal box with the item count of the run ("2 / 5"),
 * the archive, the file being read, a bar for the whole run, the bytes the
 * run has read so far, and a Cancel button.
 *
 * Cancel (the button, Esc, or closing the box) only asks for the stop: the
 * box stays up and modal until the run is over, so the main window never
 * takes input while the library is still inside a command.
 */
class ProgressDialog : public QDialog {
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget* parent);

    // `number` of `count` items (count 0: not known), `run_bytes` read by
    // the run so far, this item's included.
    void Show(const lzh::Progress& progress, int number, int count, std::uint64_t run_bytes);
    bool CancelRequested() const { return cancel_requested_; }
    void ResetCancel();
    QPushButton* CancelButton() const { return cancel_button_; }

signals:
    void cancelRequested();

public slots:
    void reject() override;  // Esc and the Cancel button: request the stop

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* items_label_;
    QLabel* archive_label_;
    QLabel* current_label_;
    QLabel* bytes_label_;
    QProgressBar* bar_;
    QPushButton* cancel_button_;
    bool cancel_requested_ = false;
};

/*
 * ProgressWindow - the main window's side of lzh::ArchiverWindow.
 *
 * The library calls it on the run's worker thread; everything it shows
 * happens on the owner's (the UI) thread. on_progress keeps the latest
 * progress and, at most every 30 ms, queues a refresh of the box; once a
 * run (Start) has lasted the show delay, a refresh shows the modal
 * ProgressDialog. It returns false once the user asked to cancel (or a stop
 * signal arrived). on_failure shows the library's reason in its own message
 * box on the UI thread and returns when it was closed, except after the
 * user's own cancel (the item simply stays listed). Finish() hides the box
 * at the end of the run.
 */
class ProgressWindow : public lzh::ArchiverWindow {
public:
    using FailureBox = std::function<void(QWidget* parent, const QString& reason)>;

    explicit ProgressWindow(QWidget* owner);
    ~ProgressWindow() override;

    // Any thread but the owner's (the library's calls).
    bool on_progress(const lzh::Progress& progress) override;
    void on_failure(std::string_view reason) override;
    void on_skipped(std::string_view path) override;
    // The entries left out since the last call (see RunReporter::TakeSkipped).
    std::vector<std::string> TakeSkipped();
    // Item `number` of `count` of the run is about to be packed.
    void BeginItem(int number, int count);

    // The owner's thread.
    // A run begins: the box shows only if the run lasts the show delay, so
    // that a quick run does not flash it.
    void Start();
    // Hides the progress box (if shown) and forgets a cancel request.
    void Finish();
    // The library's failure `reason` in the failure box, over the progress
    // box while it shows.
    void ShowFailure(const QString& reason);
    void SetShowDelay(int milliseconds) { show_delay_ms_ = milliseconds; }
    // How the library's failure reason is shown (tests put a recorder here).
    void SetFailureBox(FailureBox box) { failure_box_ = std::move(box); }

    // The box, or nullptr before the first refresh of a run.
    ProgressDialog* Dialog() const { return dialog_; }

private:
    // The owner's thread: the box shows the latest state.
    void Refresh();
    bool Cancelled() const;

    QWidget* owner_;
    ProgressDialog* dialog_ = nullptr;  // a child of owner_
    QElapsedTimer since_start_;         // invalid outside a run
    bool active_ = false;               // between Start and Finish
    int show_delay_ms_ = 400;
    FailureBox failure_box_;
    std::atomic<bool> cancel_{false};  // the user asked to cancel

    // Shared with the worker, under mutex_.
    mutable std::mutex mutex_;
    std::string archive_;
    std::string current_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    int item_number_ = 0;
    int item_count_ = 0;
    std::uint64_t earlier_items_bytes_ = 0;  // read by the run's finished items
    std::uint64_t item_bytes_ = 0;           // read by the current item
    bool refresh_queued_ = false;
    QElapsedTimer since_refresh_;
    std::vector<std::string> skipped_;
};

}  // namespace pelkoran
