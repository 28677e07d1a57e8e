// progress_window.cpp - the window the library talks to while it packs: progress, cancel, its failure box.
#include "progress_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QMetaObject>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "stop_signals.h"

namespace pelkoran {

namespace {

QString Decode(std::string_view bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The box is refreshed at most this often while the library works.
constexpr qint64 kRefreshIntervalMs = 30;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent)
{
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
    cancel_button_ = new QPushButton(tr("キャンセル"), this);
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
void ProgressDialog::Show(const lzh::Progress& progress, int number, int count, std::uint64_t run_bytes)
{
    items_label_->setText(count > 0 ? tr("%1 / %2 項目").arg(number).arg(count) : QString());
    const QString archive = Decode(progress.archive);
    archive_label_->setText(tr("書庫: ") + fontMetrics().elidedText(archive, Qt::ElideMiddle, 380));
    current_label_->setText(fontMetrics().elidedText(Decode(progress.current), Qt::ElideMiddle, 400));
    const double item_part = progress.total > 0
                                 ? static_cast<double>(std::min(progress.done, progress.total)) /
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
    bytes_label_->setText(
        run_bytes > 0 ? tr("%1 読み込み済み").arg(QLocale().formattedDataSize(static_cast<qint64>(run_bytes)))
                      : QString());
}

void ProgressDialog::ResetCancel()
{
    cancel_requested_ = false;
    cancel_button_->setEnabled(true);
}

void ProgressDialog::reject()
{
    // Stay up: the library stops at its next progress call and fails the
    // item; the run then ends and hides this box.
    cancel_requested_ = true;
    cancel_button_->setEnabled(false);
    current_label_->setText(tr("キャンセルしています..."));
    emit cancelRequested();
}

void ProgressDialog::closeEvent(QCloseEvent* event)
{
    reject();
    event->ignore();
}

ProgressWindow::ProgressWindow(QWidget* owner)
    : owner_(owner), failure_box_([](QWidget* parent, const QString& reason) {
          QMessageBox::warning(parent, QStringLiteral("Pelkoran"), reason);
      })
{}

ProgressWindow::~ProgressWindow() = default;  // the dialog is a child of owner_

void ProgressWindow::Start()
{
    since_start_.start();
    active_ = true;
    cancel_ = false;
    std::lock_guard lock(mutex_);
    item_number_ = item_count_ = 0;
    earlier_items_bytes_ = item_bytes_ = 0;
    archive_.clear();
    current_.clear();
    done_ = total_ = 0;
    skipped_.clear();
}

void ProgressWindow::BeginItem(int number, int count)
{
    std::lock_guard lock(mutex_);
    earlier_items_bytes_ += item_bytes_;
    item_bytes_ = 0;
    item_number_ = number;
    item_count_ = count;
}

bool ProgressWindow::Cancelled() const
{
    return StopRequested() || cancel_;
}

bool ProgressWindow::on_progress(const lzh::Progress& progress)
{
    if (Cancelled())
        return false;
    std::lock_guard lock(mutex_);
    item_bytes_ = std::max(item_bytes_, progress.done);
    archive_.assign(progress.archive);
    current_.assign(progress.current);
    done_ = progress.done;
    total_ = progress.total;
    if (!refresh_queued_ && (!since_refresh_.isValid() || since_refresh_.elapsed() >= kRefreshIntervalMs)) {
        refresh_queued_ = true;
        since_refresh_.start();
        QMetaObject::invokeMethod(
            owner_, [this] { Refresh(); }, Qt::QueuedConnection);
    }
    return true;
}

void ProgressWindow::Refresh()
{
    lzh::Progress progress;
    int number = 0, count = 0;
    std::uint64_t run_bytes = 0;
    std::string archive, current;
    {
        std::lock_guard lock(mutex_);
        refresh_queued_ = false;
        archive = archive_;
        current = current_;
        progress = {archive, current, done_, total_};
        number = item_number_;
        count = item_count_;
        run_bytes = earlier_items_bytes_ + item_bytes_;
    }
    if (!active_)
        return;  // the run is over: a late refresh shows nothing
    const bool shown = dialog_ && dialog_->isVisible();
    if (!shown && since_start_.elapsed() < show_delay_ms_)
        return;  // a quick run: no box
    if (!dialog_) {
        dialog_ = new ProgressDialog(owner_);
        QObject::connect(dialog_, &ProgressDialog::cancelRequested, dialog_, [this] { cancel_ = true; });
    }
    dialog_->Show(progress, number, count, run_bytes);
    if (!shown)
        dialog_->show();  // modal: the main window takes no input until Finish()
}

void ProgressWindow::on_skipped(std::string_view path)
{
    std::lock_guard lock(mutex_);
    skipped_.emplace_back(path);
}

std::vector<std::string> ProgressWindow::TakeSkipped()
{
    std::lock_guard lock(mutex_);
    return std::exchange(skipped_, {});
}

void ProgressWindow::on_failure(std::string_view reason)
{
    // After the user's own cancel, or the cancel a stop signal asked for, the
    // item stays listed; that is answer enough.
    if (Cancelled())
        return;
    const QString text = Decode(reason);
    const bool here = QThread::currentThread() == owner_->thread();
    QMetaObject::invokeMethod(
        owner_, [this, text] { ShowFailure(text); },
        here ? Qt::DirectConnection : Qt::BlockingQueuedConnection);
}

void ProgressWindow::ShowFailure(const QString& reason)
{
    if (Cancelled())
        return;
    QWidget* parent = dialog_ && dialog_->isVisible() ? static_cast<QWidget*>(dialog_) : owner_;
    failure_box_(parent, reason);
}

void ProgressWindow::Finish()
{
    since_start_.invalidate();
    active_ = false;
    cancel_ = false;
    if (!dialog_)
        return;
    dialog_->hide();
    dialog_->ResetCancel();
}

}  // namespace pelkoran
