// packer_dlg.cpp - the main window: the target list, the output options and the compress button.
#include "packer_dlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <cstdint>

#include "about_dlg.h"
#include "item_path.h"
#include "method_switches.h"
#include "settings.h"
#include "target_view_model.h"
#include "ui_packerdialog.h"

namespace pelkoran {

namespace {

// Above this many changes at once the view is told of one reset instead of
// each row, which keeps a drop of many thousand paths quick.
constexpr int kBatchThreshold = 64;

QString Decode(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string Encode(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

void ShowMessageBox(QWidget* parent, const QString& text, MessageType type)
{
    QMessageBox box(type == MessageType::kInformation ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Pelkoran"), text, QMessageBox::Ok, parent);
    box.exec();
}

/*
 * LocalFileBytes - the file system's bytes of a local file URL.
 * QUrl::toLocalFile() decodes the path as UTF-8, which turns a name that is
 * not valid UTF-8 into another name (U+FFFD in place of the bad bytes); the
 * percent-encoded form of the path keeps every byte.
 */
std::string LocalFileBytes(const QUrl& url)
{
    const QString host = url.host();
    if (!host.isEmpty() && host != QStringLiteral("localhost"))
        return Encode(url.toLocalFile());
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// The local files of a drop, in the drop's order; nothing for other URLs.
QList<QUrl> LocalFiles(const QMimeData* mime)
{
    QList<QUrl> local;
    if (!mime || !mime->hasUrls())
        return local;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            local.append(url);
    return local;
}

// The combo box's entry whose data is `name`; the default's when none is.
void SelectByName(QComboBox* combo, const std::string& name, const char* fallback)
{
    int index = combo->findData(QString::fromStdString(name));
    if (index < 0)
        index = combo->findData(QString::fromLatin1(fallback));
    combo->setCurrentIndex(index);
}

}  // namespace

QString WindowTitle(const std::string& library_name, unsigned version)
{
    return QString::asprintf("Pelkoran (Using %s %.2lf)", library_name.c_str(),
                             static_cast<std::uint16_t>(version) * 0.01);
}

CPackerDlg::CPackerDlg(ArchiverLibrary& library, std::string settings_path, StatusQuery query,
                       QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::CPackerDlg>()),
      library_(library),
      settings_path_(settings_path.empty() ? SettingsFilePath() : std::move(settings_path)),
      query_(std::move(query)),
      targets_(query_),
      progress_(this),
      run_([this](std::function<void()> task) {
          QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
      })
{
    ui_->setupUi(this);
    // A caption and a close button; no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    SetMessageBox(ShowMessageBox);

    // The context menus: the list's offers 削除 and the about entry, the
    // rest of the window the about entry. The Delete key works on the list.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowContextMenu(this, mapToGlobal(pos)); });
    connect(ui_->targetList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ShowContextMenu(ui_->targetList, ui_->targetList->viewport()->mapToGlobal(pos));
    });
    connect(ui_->aboutAction, &QAction::triggered, this, &CPackerDlg::OnAbout);
    ui_->deleteAction->setShortcut(QKeySequence::Delete);
    ui_->deleteAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ui_->targetList->addAction(ui_->deleteAction);
    connect(ui_->deleteAction, &QAction::triggered, this, &CPackerDlg::RemoveSelectedTargets);
    // The same menus from the keyboard, wherever the focus is.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            QWidget* focus = focusWidget();
            QWidget* at = focus ? focus : this;
            if (at == ui_->targetList || at == ui_->targetList->viewport()) {
                QTreeView* view = ui_->targetList;
                const QRect current = view->visualRect(view->currentIndex());
                const QPoint pos = current.isValid() ? current.center() : view->viewport()->rect().center();
                ShowContextMenu(view, view->viewport()->mapToGlobal(pos));
            } else {
                ShowContextMenu(this, at->mapToGlobal(at->rect().center()));
            }
        });
    }
    // Drops on the output directory field add items like drops anywhere
    // else; the field takes none itself.
    ui_->outputDirEdit->setAcceptDrops(false);

    setWindowTitle(WindowTitle(library_.GetName(), library_.GetVersion()));
    setWindowIcon(QIcon(QStringLiteral(":/icons/pelkoran.svg")));
    ui_->deleteButton->setIcon(QIcon(QStringLiteral(":/icons/delete.svg")));

    // The method and effort entries carry the names the command language
    // and the settings file use; the texts are what the user reads.
    for (int i = 0; i < 3; ++i) {
        ui_->methodCombo->setItemData(i, QString::fromLatin1(kMethodNames[i]));
        ui_->levelCombo->setItemData(i, QString::fromLatin1(kLevelNames[i]));
    }

    SetUpTargetView();
    LoadOutputOptions();
    UpdateData(false);

    connect(ui_->samePlaceRadio, &QRadioButton::toggled, this, &CPackerDlg::OnOutputModeClicked);
    connect(ui_->browseButton, &QPushButton::clicked, this, &CPackerDlg::OnBrowse);
    connect(ui_->deleteButton, &QPushButton::clicked, this, &CPackerDlg::RemoveSelectedTargets);
    connect(ui_->compressButton, &QPushButton::clicked, this, &CPackerDlg::OnCompressClicked);

    // The buttons start enabled; the first update sets them by the list.
    UpdateDialogControls();
    ui_->targetList->setFocus(Qt::OtherFocusReason);
}

CPackerDlg::~CPackerDlg()
{
    WaitForRun();
    // The view model refers to targets_, a member that dies before the
    // dialog's children: detach and delete it first.
    if (QItemSelectionModel* selection = ui_->targetList->selectionModel())
        disconnect(selection, nullptr, this, nullptr);
    disconnect(view_model_, nullptr, this, nullptr);
    ui_->targetList->viewport()->removeEventFilter(this);
    ui_->targetList->setModel(nullptr);
    delete view_model_;
}

void CPackerDlg::SetMessageBox(MessageBoxFn box)
{
    message_box_ = std::move(box);
    progress_.SetFailureBox([this](QWidget* parent, const QString& reason) {
        message_box_(parent, reason, MessageType::kError);
    });
}

/*
 * SetUpTargetView - one column "ファイル・ディレクトリ", as wide as its content,
 * an icon per row, several rows selectable, whole rows selected, no sorting
 * by the header, no editing. The view's selection and the model's changes
 * drive UpdateDialogControls.
 */
void CPackerDlg::SetUpTargetView()
{
    view_model_ = new TargetViewModel(targets_.Model(), this);
    QTreeView* view = ui_->targetList;
    view->setModel(view_model_);
    view_model_->BindSelection(view->selectionModel());

    QHeaderView* header = view->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    view->viewport()->installEventFilter(this);
    FitTargetColumn();

    connect(view_model_, &QAbstractItemModel::rowsInserted, this, &CPackerDlg::UpdateDialogControls);
    connect(view_model_, &QAbstractItemModel::rowsRemoved, this, &CPackerDlg::UpdateDialogControls);
    connect(view_model_, &QAbstractItemModel::modelReset, this, &CPackerDlg::UpdateDialogControls);
    connect(view_model_, &QAbstractItemModel::layoutChanged, this, &CPackerDlg::UpdateDialogControls);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CPackerDlg::UpdateDialogControls);
    connect(view_model_, &QAbstractItemModel::rowsInserted, this, &CPackerDlg::FitTargetColumn);
    connect(view_model_, &QAbstractItemModel::rowsRemoved, this, &CPackerDlg::FitTargetColumn);
    connect(view_model_, &QAbstractItemModel::modelReset, this, &CPackerDlg::FitTargetColumn);
}

/*
 * FitTargetColumn - the column is as wide as its widest row (the view
 * measures the rows it would show, at most a thousand), and never narrower
 * than the view: an empty or short list shows no horizontal scroll bar, a
 * long path can be scrolled to.
 */
void CPackerDlg::FitTargetColumn()
{
    QTreeView* view = ui_->targetList;
    const int content =
        view_model_->rowCount() > 0 ? static_cast<QAbstractItemView*>(view)->sizeHintForColumn(0) : 0;
    view->header()->resizeSection(0, std::max(content, view->viewport()->width()));
}

bool CPackerDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui_->targetList->viewport() && event->type() == QEvent::Resize)
        FitTargetColumn();
    return QDialog::eventFilter(watched, event);
}

void CPackerDlg::LoadOutputOptions()
{
    const Settings settings = LoadSettings(settings_path_);
    m_strOutputDir = settings.output_dir;
    if (settings.same_place)
        ui_->samePlaceRadio->setChecked(true);
    else
        ui_->otherPlaceRadio->setChecked(true);
    m_bTrimExt = settings.trim_ext;
    m_strMethod = settings.method;
    m_strLevel = settings.level;
    m_bVerify = settings.verify;
}

void CPackerDlg::SaveOutputOptions()
{
    UpdateData(true);
    Settings settings;
    settings.output_dir = m_strOutputDir;
    settings.same_place = IsSamePlaceChecked();
    settings.trim_ext = m_bTrimExt;
    settings.method = m_strMethod;
    settings.level = m_strLevel;
    settings.verify = m_bVerify;
    SaveSettings(settings_path_, settings);
}

void CPackerDlg::UpdateData(bool save_and_validate)
{
    if (save_and_validate) {
        m_strOutputDir = Encode(ui_->outputDirEdit->text());
        m_bTrimExt = ui_->trimExtCheck->isChecked();
        m_strMethod = ui_->methodCombo->currentData().toString().toStdString();
        m_strLevel = ui_->levelCombo->currentData().toString().toStdString();
        m_bVerify = ui_->verifyCheck->isChecked();
    } else {
        ui_->outputDirEdit->setText(Decode(m_strOutputDir));
        ui_->trimExtCheck->setChecked(m_bTrimExt);
        SelectByName(ui_->methodCombo, m_strMethod, kDefaultMethod);
        SelectByName(ui_->levelCombo, m_strLevel, kDefaultLevel);
        ui_->verifyCheck->setChecked(m_bVerify);
    }
}

RunOptions CPackerDlg::ReadRunOptions()
{
    UpdateData(true);
    return {IsSamePlaceChecked(), m_strOutputDir, m_bTrimExt,
            CommandSwitches(m_strMethod, m_strLevel, m_bVerify)};
}

bool CPackerDlg::IsSamePlaceChecked() const
{
    return ui_->samePlaceRadio->isChecked();
}

void CPackerDlg::Message(const std::string& text, MessageType type)
{
    progress_.Finish();  // the run's own messages come after the library is done
    message_box_(this, QString::fromUtf8(text), type);
}

void CPackerDlg::FocusOutputDir()
{
    if (IsRunning()) {
        focus_output_dir_ = true;  // the field is disabled until the run ends
        return;
    }
    ui_->outputDirEdit->setFocus(Qt::OtherFocusReason);
}

// Both radio buttons: the field and its browse button follow the mode.
void CPackerDlg::OnOutputModeClicked()
{
    UpdateDialogControls();
}

void CPackerDlg::UpdateOutputControls()
{
    const bool elsewhere = !IsSamePlaceChecked();
    ui_->outputDirEdit->setEnabled(elsewhere);
    ui_->browseButton->setEnabled(elsewhere);
}

/*
 * UpdateDialogControls - every enabled state of the window in one place:
 * delete follows the selection, compress the number of rows, the output
 * field and its browse button the output mode. Run after each change of
 * the list, the selection or the mode, and when a run ends; while a run
 * lasts, every control stays disabled.
 */
void CPackerDlg::UpdateDialogControls()
{
    if (IsRunning())
        return;  // SetRunning keeps every control disabled
    ui_->deleteButton->setEnabled(targets_.OnUpdateDelete());
    ui_->compressButton->setEnabled(targets_.OnUpdateCompress());
    UpdateOutputControls();
}

void CPackerDlg::OnBrowse()
{
    UpdateData(true);
    const QString picked = folder_picker_(this, QCoreApplication::translate("FolderPicker", kBrowseTitle),
                                          Decode(m_strOutputDir));
    if (!picked.isEmpty())
        m_strOutputDir = Encode(picked);
    UpdateData(false);
}

/*
 * OnCompressClicked - the compress button: the run over the list, on a
 * worker thread. The window's content is disabled until it has finished,
 * so the list changes only by the run's removal of each packed item.
 */
void CPackerDlg::OnCompressClicked()
{
    if (run_.Running())
        return;
    const RunOptions options = ReadRunOptions();
    SetRunning(true);
    progress_.Start();
    run_.Start(options, *this, &progress_, targets_, library_, query_, ProbeWritableDirectory,
               [this](RunResult result) { OnRunFinished(result); });
}

void CPackerDlg::OnRunFinished(RunResult result)
{
    progress_.Finish();
    SetRunning(false);
    emit runFinished(result);
}

void CPackerDlg::WaitForRun()
{
    run_.Wait([] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
}

/*
 * SetRunning - the window's content (every control) is disabled while a
 * run lasts; its focus comes back afterwards, or goes to the output
 * directory field when the run asked for that (a rejected directory).
 */
void CPackerDlg::SetRunning(bool running)
{
    if (running) {
        focus_before_run_ = focusWidget();
        focus_output_dir_ = false;
    }
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            child->setEnabled(!running);
    setAcceptDrops(!running);
    if (running)
        return;
    UpdateDialogControls();
    QWidget* focus = focus_output_dir_ ? ui_->outputDirEdit : focus_before_run_.data();
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
}

void CPackerDlg::ItemFailed(const std::string& reason)
{
    progress_.ShowFailure(QString::fromUtf8(reason));
}

void CPackerDlg::RemoveSelectedTargets()
{
    if (IsRunning())
        return;
    const bool batch = targets_.Rows().SelectedCount() > kBatchThreshold;
    if (batch)
        targets_.Model().BeginBatch();
    targets_.RemoveSelectedTargets();
    if (batch)
        targets_.Model().EndBatch();
    UpdateDialogControls();
}

void CPackerDlg::AddTargets(const std::vector<std::string>& paths)
{
    if (IsRunning())
        return;
    const bool batch = paths.size() > static_cast<std::size_t>(kBatchThreshold);
    if (batch)
        targets_.Model().BeginBatch();
    for (const std::string& path : paths)
        targets_.AddTarget(ResolveItemPath(path));
    if (batch)
        targets_.Model().EndBatch();
    UpdateDialogControls();
}

void CPackerDlg::OnDropFiles(const QList<QUrl>& urls)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(urls.size()));
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths.push_back(LocalFileBytes(url));
    AddTargets(paths);
}

void CPackerDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CPackerDlg::ShowContextMenu(QWidget* widget, const QPoint& global_pos)
{
    if (IsRunning())
        return;
    QMenu menu(this);
    if (widget == ui_->targetList) {
        ui_->deleteAction->setEnabled(targets_.OnUpdateDelete());
        menu.addAction(ui_->deleteAction);
        menu.addSeparator();
    }
    menu.addAction(ui_->aboutAction);
    menu.exec(global_pos);
}

void CPackerDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!IsRunning() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CPackerDlg::dragMoveEvent(QDragMoveEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// Drops anywhere on the window, the list included, end up here.
void CPackerDlg::dropEvent(QDropEvent* event)
{
    const QList<QUrl> local = LocalFiles(event->mimeData());
    if (local.isEmpty())
        return;
    event->acceptProposedAction();
    OnDropFiles(local);
}

// Closing the window (title bar, window menu, Alt+F4) ends the dialog
// through done(), which saves the settings; not while a run is under way.
void CPackerDlg::closeEvent(QCloseEvent* event)
{
    if (IsRunning()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// Every way of ending the dialog (Esc, closing the window) saves the settings.
void CPackerDlg::done(int result)
{
    if (IsRunning())
        return;
    SaveOutputOptions();
    QDialog::done(result);
}

/*
 * No button is a default button, and Enter never ends the dialog: on a
 * focused push button it clicks the button, anywhere else it does nothing
 * (a typed output directory is not lost by pressing Enter in its field).
 */
void CPackerDlg::keyPressEvent(QKeyEvent* event)
{
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            if (button->isEnabled())
                button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace pelkoran
