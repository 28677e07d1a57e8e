// progress_window.cpp - the window the library talks to while it packs: progress, cancel, its failure box.
#include "progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "stop_signals.h"

namespace pelkoran {

namespace {

QString Decode(std::string_view bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// Events are let through at most this often while the library works.
constexpr qint64 kEventIntervalMs = 30;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(QStringLiteral("Pelkoran"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setMinimumWidth(420);

    items_label_ = new QLabel(this);
    items_label_->setObjectName(QStringLiteral("itemsLabel"));
    archive_label_ = new QLabel(this);
    current_label_ = new QLabel(this);
    bytes_label_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    cancel_button_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_button_->setObjectName(QStringLiteral("cancelButton"));
    cancel_button_->setAutoDefault(false);
    for (QLabel* label : {archive_label_, current_label_})
        label->setTextFormat(Qt::PlainText);
    archive_label_->setObjectName(QStringLiteral("archiveLabel"));
    current_label_->setObjectName(QStringLiteral("currentLabel"));
    bytes_label_->setObjectName(QStringLiteral("bytesLabel"));
    connect(cancel_button_, &QPushButton::clicked, this, &ProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_button_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(items_label_);
    layout->addWidget(archive_label_);
    layout->addWidget(current_label_);
    layout->addWidget(bar_);
    layout->addWidget(bytes_label_);
    layout->addLayout(buttons);
}

/*
 * Show - the run's state: which item of how many, the archive and file,
 * a bar over the whole run (finished items plus this item's share), and
 * the bytes read so far. Nothing is said about bytes before any were read.
 */
void ProgressDialog::Show(const lzh::Progress& progress, int number, int count, std::uint64_t run_bytes) {
    items_label_->setText(count > 0 ? QStringLiteral("%1 / %2 項目").arg(number).arg(count) : QString());
    const QString archive = Decode(progress.archive);
    archive_label_->setText(QStringLiteral("書庫: ") +
                            fontMetrics().elidedText(archive, Qt::ElideMiddle, 380));
    current_label_->setText(fontMetrics().elidedText(Decode(progress.current), Qt::ElideMiddle, 400));
    const double item_part =
        progress.total > 0 ? static_cast<double>(std::min(progress.done, progress.total)) /
                                 static_cast<double>(progress.total)
                           : 0.0;
    if (count > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>((number - 1 + item_part) / count * 1000.0));
    } else if (progress.total > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(item_part * 1000.0));
    } else {
        bar_->setRange(0, 0);  // nothing known: a busy bar
    }
    bytes_label_->setText(run_bytes > 0 ? QLocale().formattedDataSize(static_cast<qint64>(run_bytes)) +
                                              QStringLiteral(" 読み込み済み")
                                        : QString());
}

void ProgressDialog::ResetCancel() {
    cancel_requested_ = false;
    cancel_button_->setEnabled(true);
}

void ProgressDialog::reject() {
    // Stay up: the library stops at its next progress call and fails the
    // item; the run then ends and hides this box.
    cancel_requested_ = true;
    cancel_button_->setEnabled(false);
    current_label_->setText(QStringLiteral("キャンセルしています..."));
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    reject();
    event->ignore();
}

ProgressWindow::ProgressWindow(QWidget* owner)
    : owner_(owner), failure_box_([](QWidget* parent, const QString& reason) {
          QMessageBox::warning(parent, QStringLiteral("Pelkoran"), reason);
      }) {}

ProgressWindow::~ProgressWindow() = default;  // the dialog is a child of owner_

void ProgressWindow::Start() {
    since_start_.start();
    item_number_ = item_count_ = 0;
    earlier_items_bytes_ = item_bytes_ = 0;
}

void ProgressWindow::BeginItem(int number, int count) {
    earlier_items_bytes_ += item_bytes_;
    item_bytes_ = 0;
    item_number_ = number;
    item_count_ = count;
}

bool ProgressWindow::on_progress(const lzh::Progress& progress) {
    if (StopRequested()) return false;  // the process is asked to end: cancel
    item_bytes_ = std::max(item_bytes_, progress.done);
    const bool shown = dialog_ && dialog_->isVisible();
    if (!shown && since_start_.isValid() && since_start_.elapsed() < show_delay_ms_)
        return true;  // a quick run: no box, and no events either
    if (!dialog_) dialog_ = new ProgressDialog(owner_);
    const bool first = !shown;
    if (first || since_events_.elapsed() >= kEventIntervalMs) {
        dialog_->Show(progress, item_number_, item_count_, earlier_items_bytes_ + item_bytes_);
        if (first) {
            // Modal before any event is let through: from here on the main
            // window takes no input until Finish().
            dialog_->show();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        since_events_.start();
    }
    return !dialog_->CancelRequested();
}

void ProgressWindow::on_failure(std::string_view reason) {
    // After the user's own cancel, or the cancel a stop signal asked for, the
    // item stays listed; that is answer enough.
    if (StopRequested() || (dialog_ && dialog_->CancelRequested())) return;
    QWidget* parent = dialog_ && dialog_->isVisible() ? static_cast<QWidget*>(dialog_) : owner_;
    failure_box_(parent, Decode(reason));
}

void ProgressWindow::Finish() {
    since_start_.invalidate();
    if (!dialog_) return;
    dialog_->hide();
    dialog_->ResetCancel();
}

}  // namespace pelkoran
