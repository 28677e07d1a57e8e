// tst_packer_dlg.cpp - the main window end to end, with a fake archiver library.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "about_dlg.h"
#include "archiver.h"
#include "japanese_ui.h"
#include "packer_dlg.h"
#include "settings.h"

using namespace pelkoran;

namespace {

// The library's stand-in: records each command text; `behaviour` decides
// the result (0, the archive was written, when it is not set).
class FakeLibrary : public ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                std::uint32_t reply_size) override {
        commands.push_back(text);
        if (reply && reply_size) reply[0] = '\0';
        return behaviour ? behaviour(window, text) : 0;
    }
    std::uint16_t GetVersion() override { return version; }

    std::uint16_t version = 300;
    std::vector<std::string> commands;
    std::function<int(lzh::ArchiverWindow*, const std::string&)> behaviour;
};

struct Box {
    QString text;
    MessageType type;
};

// Runs `fn` on the first modal widget of type T that shows up; closes any
// other modal widget after `timeout_ms`, so a test fails instead of hanging.
template <class T>
void WhenModalAppears(std::function<void(T*)> fn, int timeout_ms = 5000) {
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(timeout_ms);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, fn] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(widget);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        }
    });
    timer->start(10);
}

template <class T>
T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no child %s", name);
    return child;
}

// Sends a drag-enter and a drop of `mime` to `target`; true when both were taken.
bool Drop(QWidget* target, const QMimeData& mime) {
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    return Drop(target, mime);
}

// The entries of the context menu that a right click on `target` opens
// (none when it opens no menu).
QStringList ContextMenuEntries(QWidget* target) {
    QStringList entries;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) entries << action->text();
            menu->close();
        }
    });
    timer.start(10);
    const QPoint pos = target->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QCoreApplication::sendEvent(target, &event);
    QTest::qWait(50);
    return entries;
}

}  // namespace

class PackerDlgTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titleShowsVersionWithTwoDecimals_data();
    void titleShowsVersionWithTwoDecimals();
    void dropAdmitsLocalItemsOnceWithTheirIcons();
    void dropKeepsTheBytesOfANameThatIsNotUtf8();
    void buttonsFollowRowsAndSelection();
    void selectionAgreesAfterALargeDrop();
    void outputModeEnablesFieldAndBrowse();
    void browseKeepsTypedTextOnEmptyResult();
    void rejectedOutputDirShowsMessageAndFocusesField_data();
    void rejectedOutputDirShowsMessageAndFocusesField();
    void runPacksEveryItemAndSaysSo();
    void failedItemShowsOnlyTheLibrarysReason();
    void cancelStopsTheItemAndTheWindowIgnoresInput();
    void quickRunShowsNoBoxAndLetsNoEventThrough();
    void realEnginePacksThroughTheProgressWindow();
    void closeSavesSettingsEscAndEnterDoNot();
    void enterOnAFocusedButtonClicksIt();
    void aboutEntryOpensBoxWithStamp();
    void commandLinePathsAreListedAsDropped_data();
    void commandLinePathsAreListedAsDropped();

private:
    std::unique_ptr<CPackerDlg> MakeDialog();
    QString Path(const QString& name) const { return tmp_->filePath(name); }
    QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }
    void WriteSettings(const QByteArray& text);

    std::unique_ptr<QTemporaryDir> tmp_;
    FakeLibrary library_;
    std::vector<Box> boxes_;
    QStringList picker_calls_;
    QString picker_answer_;
};

void PackerDlgTest::initTestCase() {
    SetUpJapaneseUi(*qApp);
}

// Each case: a fresh folder with two files and a directory, no settings file.
void PackerDlgTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    for (const char* name : {"b.txt", "c.dat"}) {
        QFile file(Path(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("data");
    }
    QVERIFY(QDir(tmp_->path()).mkdir(QStringLiteral("a_dir")));
    library_ = FakeLibrary();
    boxes_.clear();
    picker_calls_.clear();
    picker_answer_.clear();
}

void PackerDlgTest::cleanup() {
    tmp_.reset();
}

std::unique_ptr<CPackerDlg> PackerDlgTest::MakeDialog() {
    auto dialog = std::make_unique<CPackerDlg>(library_, Path(QStringLiteral("Pelkoran.ini")).toStdString());
    dialog->SetMessageBox([this](QWidget*, const QString& text, MessageType type) {
        boxes_.push_back({text, type});
    });
    dialog->Progress().SetShowDelay(0);
    dialog->SetFolderPicker([this](QWidget*, const QString& title, const QString& start) {
        picker_calls_ << title << start;
        return picker_answer_;
    });
    return dialog;
}

void PackerDlgTest::WriteSettings(const QByteArray& text) {
    QFile file(Path(QStringLiteral("Pelkoran.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void PackerDlgTest::titleShowsVersionWithTwoDecimals_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("title");
    QTest::newRow("whole number") << 300 << "Pelkoran (Using unlha32.dll 3.00)";
    QTest::newRow("hundredths") << 253 << "Pelkoran (Using unlha32.dll 2.53)";
    QTest::newRow("below one") << 5 << "Pelkoran (Using unlha32.dll 0.05)";
    QTest::newRow("largest") << 65535 << "Pelkoran (Using unlha32.dll 655.35)";
}

void PackerDlgTest::titleShowsVersionWithTwoDecimals() {
    QFETCH(int, version);
    QFETCH(QString, title);
    library_.version = static_cast<std::uint16_t>(version);
    auto dialog = MakeDialog();
    QCOMPARE(dialog->windowTitle(), title);
}

void PackerDlgTest::dropAdmitsLocalItemsOnceWithTheirIcons() {
    auto dialog = MakeDialog();
    auto* list = Child<QTreeView>(*dialog, "targetList");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    // Onto the list: a file, a directory, the file again, a web address and
    // a path that names nothing. Only the two local items are listed.
    QVERIFY(Drop(list->viewport(), {Url("b.txt"), Url("a_dir"), Url("b.txt"),
                                    QUrl(QStringLiteral("https://example.org/x.txt")),
                                    Url("missing.txt")}));
    // Onto the window itself: the directory again and a new file.
    QVERIFY(Drop(dialog.get(), {Url("a_dir"), Url("c.dat")}));
    // Web addresses alone are refused outright.
    QVERIFY(!Drop(dialog.get(), {QUrl(QStringLiteral("https://example.org/y"))}));

    QAbstractItemModel* model = list->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル・ディレクトリ"));
    QCOMPARE(list->header()->sectionSize(0), 1024);
    const QStringList expected{Path("a_dir"), Path("b.txt"), Path("c.dat")};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(model->index(row, 0).data().toString(), expected[row]);
        QVERIFY(!model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    }
    TargetListModel& rows = dialog->Targets().Model();
    QCOMPARE(rows.RowImage(0), int(kImageDirectory));
    QCOMPARE(rows.RowImage(1), int(kImageFile));
    QCOMPARE(rows.RowImage(2), int(kImageFile));
    // The two icons differ, so the kinds can be told apart.
    QVERIFY(model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey() !=
            model->index(1, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey());
}

// A name in Latin-1 (caf\xE9.txt) arrives percent-encoded; it must reach
// the list and the command text as the same bytes, or it would name nothing.
void PackerDlgTest::dropKeepsTheBytesOfANameThatIsNotUtf8() {
    const QByteArray dir = QFile::encodeName(tmp_->path());
    const QByteArray raw = dir + "/caf\xE9.txt";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);

    auto dialog = MakeDialog();
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), "file://" + dir + "/caf%E9.txt\r\n");
    QVERIFY(Drop(dialog.get(), mime));
    QCOMPARE(dialog->Targets().Count(), 1);
    QCOMPARE(QByteArray::fromStdString(dialog->Targets().FirstText()), raw);

    dialog->OnCompressClicked();
    QCOMPARE(library_.commands.size(), std::size_t(1));
    QVERIFY(QByteArray::fromStdString(library_.commands[0]).contains("\"caf\xE9.txt\""));
}

void PackerDlgTest::buttonsFollowRowsAndSelection() {
    auto dialog = MakeDialog();
    auto* list = Child<QTreeView>(*dialog, "targetList");
    auto* remove = Child<QPushButton>(*dialog, "deleteButton");
    auto* compress = Child<QPushButton>(*dialog, "compressButton");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    QVERIFY(!remove->isEnabled());
    QVERIFY(!compress->isEnabled());

    dialog->OnDropFiles({Url("a_dir"), Url("b.txt"), Url("c.dat")});
    QVERIFY(compress->isEnabled());
    QVERIFY(!remove->isEnabled());

    // A click on the second row selects it; Ctrl+click adds the third.
    // (The column is wider than the view: click near its left end.)
    auto at = [&](int row) {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        return QPoint(rect.left() + 30, rect.center().y());
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(1));
    QVERIFY(remove->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, at(2));
    QCOMPARE(dialog->Targets().Rows().SelectedCount(), 2);

    // The Delete key does nothing; the button removes both rows.
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->model()->rowCount(), 3);
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(list->model()->index(0, 0).data().toString(), Path("a_dir"));
    QVERIFY(!remove->isEnabled());
    QVERIFY(compress->isEnabled());

    // A removed path can be listed again.
    dialog->OnDropFiles({Url("c.dat")});
    QCOMPARE(list->model()->rowCount(), 2);

    list->selectAll();
    QVERIFY(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(!remove->isEnabled());
    QVERIFY(!compress->isEnabled());
}

// A drop of many paths resets the view. Afterwards the view's selection and
// the rows' selected flags must agree, or Delete would remove rows that are
// shown unselected.
void PackerDlgTest::selectionAgreesAfterALargeDrop() {
    std::vector<std::string> many;
    for (int i = 0; i < 200; ++i) many.push_back(QStringLiteral("/virtual/%1").arg(i).toStdString());
    // A status query that admits everything, so no files are needed.
    auto dialog = std::make_unique<CPackerDlg>(library_, Path(QStringLiteral("s.ini")).toStdString(),
                                               [](const std::string&) {
                                                   return PathStatus{true, false};
                                               });
    auto* list = Child<QTreeView>(*dialog, "targetList");
    dialog->AddTargets({"/virtual/keep"});
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(dialog->Targets().Rows().SelectedCount(), 1);
    dialog->AddTargets(many);
    QCOMPARE(list->model()->rowCount(), 201);
    const int shown = static_cast<int>(list->selectionModel()->selectedRows().size());
    QCOMPARE(shown, dialog->Targets().Rows().SelectedCount());
    QCOMPARE(Child<QPushButton>(*dialog, "deleteButton")->isEnabled(), shown > 0);

    // A large delete (also one reset) leaves them in agreement as well.
    list->selectAll();
    QCOMPARE(dialog->Targets().Rows().SelectedCount(), 201);
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    dialog->RemoveSelectedTargets();
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(list->selectionModel()->selectedRows().size(), qsizetype(0));
    QCOMPARE(dialog->Targets().Rows().SelectedCount(), 0);
    QVERIFY(!Child<QPushButton>(*dialog, "deleteButton")->isEnabled());
}

void PackerDlgTest::outputModeEnablesFieldAndBrowse() {
    auto dialog = MakeDialog();
    auto* same = Child<QRadioButton>(*dialog, "samePlaceRadio");
    auto* other = Child<QRadioButton>(*dialog, "otherPlaceRadio");
    auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
    auto* browse = Child<QPushButton>(*dialog, "browseButton");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    // No settings file: next to each item, the field holding the home directory.
    QVERIFY(same->isChecked());
    QCOMPARE(field->text(), QString::fromStdString(HomeDirectory()));
    QVERIFY(!field->isEnabled());
    QVERIFY(!browse->isEnabled());
    QTest::mouseClick(other, Qt::LeftButton);
    QVERIFY(field->isEnabled());
    QVERIFY(browse->isEnabled());
    QTest::mouseClick(same, Qt::LeftButton);
    QVERIFY(!field->isEnabled());
    QVERIFY(!browse->isEnabled());

    // Stored settings come back: the other place, its text, the check box.
    WriteSettings("[Path]\nOutputDir=/srv/out\nIsSamePlace=FALSE\nIsTrimEXT=TRUE\n");
    auto stored = MakeDialog();
    QVERIFY(Child<QRadioButton>(*stored, "otherPlaceRadio")->isChecked());
    QVERIFY(Child<QLineEdit>(*stored, "outputDirEdit")->isEnabled());
    QCOMPARE(Child<QLineEdit>(*stored, "outputDirEdit")->text(), QStringLiteral("/srv/out"));
    QVERIFY(Child<QCheckBox>(*stored, "trimExtCheck")->isChecked());
}

void PackerDlgTest::browseKeepsTypedTextOnEmptyResult() {
    WriteSettings("[Path]\nIsSamePlace=FALSE\n");
    auto dialog = MakeDialog();
    auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
    auto* browse = Child<QPushButton>(*dialog, "browseButton");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    field->clear();
    QTest::keyClicks(field, QStringLiteral("/no/such/dir"));
    QTest::mouseClick(browse, Qt::LeftButton);
    // The picker starts at what the field names now, even though it does not exist.
    QCOMPARE(picker_calls_, (QStringList{QStringLiteral("出力するディレクトリを選択してください"),
                                        QStringLiteral("/no/such/dir")}));
    QCOMPARE(field->text(), QStringLiteral("/no/such/dir"));

    picker_answer_ = Path("a_dir");
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(field->text(), Path("a_dir"));
}

void PackerDlgTest::rejectedOutputDirShowsMessageAndFocusesField_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "/no/such/dir" << "指定のディレクトリ(/no/such/dir)がありません";
    QTest::newRow("a file") << "b.txt" << "ディレクトリを指定してください";
}

void PackerDlgTest::rejectedOutputDirShowsMessageAndFocusesField() {
    QFETCH(QString, dir);
    QFETCH(QString, message);
    WriteSettings("[Path]\nIsSamePlace=FALSE\n");
    auto dialog = MakeDialog();
    auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
    auto* list = Child<QTreeView>(*dialog, "targetList");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    field->setText(dir.startsWith(QLatin1Char('/')) ? dir : Path(dir));
    dialog->OnDropFiles({Url("a_dir"), Url("c.dat")});
    list->setFocus();

    QTest::mouseClick(Child<QPushButton>(*dialog, "compressButton"), Qt::LeftButton);
    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, message);
    QCOMPARE(boxes_[0].type, MessageType::kError);
    QCOMPARE(QApplication::focusWidget(), field);
    QVERIFY(library_.commands.empty());
    QCOMPARE(list->model()->rowCount(), 2);
}

void PackerDlgTest::runPacksEveryItemAndSaysSo() {
    auto dialog = MakeDialog();
    auto* compress = Child<QPushButton>(*dialog, "compressButton");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->OnDropFiles({Url("b.txt"), Url("a_dir")});

    QTest::mouseClick(compress, Qt::LeftButton);
    const std::string base = tmp_->path().toStdString() + "/";
    QCOMPARE(library_.commands.size(), std::size_t(2));
    QCOMPARE(library_.commands[0],
             "a \"" + base + "a_dir.lzh\" \"" + base + "\" -d1 \"a_dir\"");
    QCOMPARE(library_.commands[1],
             "a \"" + base + "b.txt.lzh\" \"" + base + "\" -d1 \"b.txt\"");
    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, QStringLiteral("圧縮がすべて終了しました。"));
    QCOMPARE(boxes_[0].type, MessageType::kInformation);
    QCOMPARE(Child<QTreeView>(*dialog, "targetList")->model()->rowCount(), 0);
    QVERIFY(!compress->isEnabled());
}

void PackerDlgTest::failedItemShowsOnlyTheLibrarysReason() {
    auto dialog = MakeDialog();
    dialog->OnDropFiles({Url("a_dir"), Url("b.txt"), Url("c.dat")});
    library_.behaviour = [this](lzh::ArchiverWindow* window, const std::string&) {
        if (library_.commands.size() < 2) return 0;
        window->on_failure("書庫 /x/b.txt.lzh を書けません");
        return 1;
    };
    dialog->OnCompressClicked();

    QCOMPARE(library_.commands.size(), std::size_t(2));
    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, QStringLiteral("書庫 /x/b.txt.lzh を書けません"));
    QCOMPARE(boxes_[0].type, MessageType::kError);
    TargetList& targets = dialog->Targets();
    QCOMPARE(targets.Count(), 2);
    QCOMPARE(QString::fromStdString(targets.FirstText()), Path("b.txt"));
    QVERIFY(Child<QPushButton>(*dialog, "compressButton")->isEnabled());
}

/*
 * While the library works, the progress window is modal; Cancel makes the
 * next progress call answer false, and the item fails and stays listed.
 * A drop, a close and the delete button during the call change nothing.
 */
void PackerDlgTest::cancelStopsTheItemAndTheWindowIgnoresInput() {
    auto dialog = MakeDialog();
    auto* list = Child<QTreeView>(*dialog, "targetList");
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->OnDropFiles({Url("a_dir"), Url("b.txt")});
    list->selectAll();

    QWidget* modal_during_run = nullptr;
    bool drop_taken = true;
    int calls_after_cancel = 0;
    library_.behaviour = [&](lzh::ArchiverWindow* window, const std::string&) {
        lzh::Progress progress;
        progress.archive = "/x/a_dir.lzh";
        progress.current = "a_dir/big.bin";
        progress.total = 1000000;
        const QDeadlineTimer deadline(10000);
        for (bool first = true; !deadline.hasExpired(); first = false) {
            progress.done = std::min<std::uint64_t>(progress.done + 1000, progress.total);
            if (!window->on_progress(progress)) {
                window->on_failure("キャンセルしました: /x/a_dir.lzh");
                return 1;
            }
            if (first) {
                modal_during_run = QApplication::activeModalWidget();
                drop_taken = Drop(dialog.get(), {Url("c.dat")});
                dialog->close();
                dialog->RemoveSelectedTargets();
                QTimer::singleShot(50, [&] {
                    ProgressDialog* box = dialog->Progress().Dialog();
                    if (box) QTest::mouseClick(box->CancelButton(), Qt::LeftButton);
                });
            } else if (dialog->Progress().Dialog()->CancelRequested()) {
                ++calls_after_cancel;
            }
            QThread::msleep(1);
        }
        return 0;
    };
    dialog->OnCompressClicked();

    QVERIFY(modal_during_run != nullptr);
    QCOMPARE(modal_during_run, static_cast<QWidget*>(dialog->Progress().Dialog()));
    QVERIFY(!drop_taken);
    QVERIFY(dialog->isVisible());
    QCOMPARE(calls_after_cancel, 0);
    QCOMPARE(library_.commands.size(), std::size_t(1));
    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, QStringLiteral("キャンセルしました: /x/a_dir.lzh"));
    QCOMPARE(list->model()->rowCount(), 2);
    QVERIFY(!dialog->Progress().Dialog()->isVisible());
    QVERIFY(!dialog->IsRunning());
}

// The same run with the engine itself: a file large enough for progress
// calls, packed next to itself, the progress window shown and hidden again.
void PackerDlgTest::realEnginePacksThroughTheProgressWindow() {
    QFile big(Path(QStringLiteral("big.bin")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QByteArray block(1 << 16, Qt::Uninitialized);
    quint32 seed = 12345;
    for (int round = 0; round < 48; ++round) {
        for (char& byte : block) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<char>((seed >> 16) % 7 == 0 ? seed >> 24 : 'a' + round % 3);
        }
        big.write(block);
    }
    big.close();

    auto dialog = std::make_unique<CPackerDlg>(DefaultArchiverLibrary(),
                                               Path(QStringLiteral("Pelkoran.ini")).toStdString());
    dialog->SetMessageBox([this](QWidget*, const QString& text, MessageType type) {
        boxes_.push_back({text, type});
    });
    dialog->Progress().SetShowDelay(0);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->OnDropFiles({Url("big.bin"), Url("a_dir")});
    dialog->OnCompressClicked();

    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, QStringLiteral("圧縮がすべて終了しました。"));
    QCOMPARE(dialog->Targets().Count(), 0);
    QVERIFY(QFileInfo(Path(QStringLiteral("big.bin.lzh"))).size() > 0);
    QVERIFY(QFileInfo(Path(QStringLiteral("a_dir.lzh"))).size() > 0);
    QVERIFY(dialog->Progress().Dialog() != nullptr);  // the engine reported progress
    QVERIFY(!dialog->Progress().Dialog()->isVisible());
}

// Before the progress box is up (a run shorter than the show delay), the
// progress calls must not run the event loop: nothing could stop the user
// from changing the list then.
void PackerDlgTest::quickRunShowsNoBoxAndLetsNoEventThrough() {
    auto dialog = MakeDialog();
    dialog->Progress().SetShowDelay(60000);
    dialog->OnDropFiles({Url("b.txt")});
    bool event_ran = false;
    library_.behaviour = [&](lzh::ArchiverWindow* window, const std::string&) {
        QTimer::singleShot(0, [&] { event_ran = true; });
        lzh::Progress progress;
        for (int i = 0; i < 5; ++i) {
            progress.done = i;
            window->on_progress(progress);
        }
        return event_ran ? 1 : 0;
    };
    dialog->OnCompressClicked();
    QVERIFY(dialog->Progress().Dialog() == nullptr);
    QCOMPARE(boxes_.size(), std::size_t(1));
    QCOMPARE(boxes_[0].text, QStringLiteral("圧縮がすべて終了しました。"));
    QTRY_VERIFY(event_ran);
}

void PackerDlgTest::closeSavesSettingsEscAndEnterDoNot() {
    const QString ini = Path(QStringLiteral("Pelkoran.ini"));
    auto edit = [](CPackerDlg& dialog) {
        QTest::mouseClick(Child<QRadioButton>(dialog, "otherPlaceRadio"), Qt::LeftButton);
        auto* field = Child<QLineEdit>(dialog, "outputDirEdit");
        field->setText(QStringLiteral(" /srv/out "));
        Child<QCheckBox>(dialog, "trimExtCheck")->setChecked(true);
    };

    auto escaped = MakeDialog();
    escaped->show();
    QVERIFY(QTest::qWaitForWindowActive(escaped.get()));
    edit(*escaped);
    QTest::keyClick(Child<QTreeView>(*escaped, "targetList"), Qt::Key_Escape);
    QVERIFY(!escaped->isVisible());
    QCOMPARE(escaped->result(), int(QDialog::Rejected));
    QVERIFY(!QFile::exists(ini));

    auto entered = MakeDialog();
    entered->show();
    QVERIFY(QTest::qWaitForWindowActive(entered.get()));
    edit(*entered);
    QTest::keyClick(Child<QLineEdit>(*entered, "outputDirEdit"), Qt::Key_Return);
    QVERIFY(!entered->isVisible());
    QCOMPARE(entered->result(), int(QDialog::Accepted));
    QVERIFY(!QFile::exists(ini));

    auto closed = MakeDialog();
    closed->show();
    QVERIFY(QTest::qWaitForWindowExposed(closed.get()));
    edit(*closed);
    QVERIFY(closed->close());
    QVERIFY(QFile::exists(ini));
    const Settings saved = LoadSettings(ini.toStdString());
    QCOMPARE(saved.output_dir, std::string(" /srv/out "));  // as typed, blanks kept
    QCOMPARE(saved.same_place, false);
    QCOMPARE(saved.trim_ext, true);
}

void PackerDlgTest::enterOnAFocusedButtonClicksIt() {
    WriteSettings("[Path]\nIsSamePlace=FALSE\n");
    auto dialog = MakeDialog();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* browse = Child<QPushButton>(*dialog, "browseButton");
    browse->setFocus();
    QTest::keyClick(browse, Qt::Key_Return);
    QCOMPARE(picker_calls_.size(), 2);
    QVERIFY(dialog->isVisible());
}

void PackerDlgTest::aboutEntryOpensBoxWithStamp() {
    auto dialog = MakeDialog();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    // A right click on the window offers the entry; on the list, nothing.
    const QString entry = QStringLiteral("Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    QCOMPARE(ContextMenuEntries(dialog.get()), QStringList{entry});
    QCOMPARE(ContextMenuEntries(Child<QCheckBox>(*dialog, "trimExtCheck")), QStringList{entry});
    QCOMPARE(ContextMenuEntries(Child<QTreeView>(*dialog, "targetList")->viewport()), QStringList{});

    QString caption, product, text;
    WhenModalAppears<CAboutDlg>([&](CAboutDlg* about) {
        caption = about->windowTitle();
        product = Child<QLabel>(*about, "productLabel")->text();
        text = Child<QLabel>(*about, "aboutTextLabel")->text();
        about->accept();
    });
    QAction* action = Child<QAction>(*dialog, "aboutAction");
    QCOMPARE(action->text(), entry);
    action->trigger();

    QCOMPARE(caption, QStringLiteral("Pelkoranのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(product, QStringLiteral("Pelkoran Version 1.1"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString::fromUtf8(kAboutNotice));
    const QRegularExpression stamp(QStringLiteral("^BUILD:[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} "
                                                  "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]$"));
    QVERIFY2(stamp.match(lines[1]).hasMatch(), qPrintable(lines[1]));
}

void PackerDlgTest::commandLinePathsAreListedAsDropped_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("listed");
    QTest::newRow("relative file") << "b.txt" << "b.txt";
    QTest::newRow("directory with slash") << "a_dir/" << "a_dir";
    QTest::newRow("dot slash and dot") << "./a_dir/." << "a_dir";
    QTest::newRow("absolute, slashes") << "@/a_dir//" << "a_dir";
}

void PackerDlgTest::commandLinePathsAreListedAsDropped() {
    QFETCH(QString, given);
    QFETCH(QString, listed);
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp_->path()));
    if (given.startsWith(QLatin1Char('@'))) given = tmp_->path() + given.mid(1);
    auto dialog = MakeDialog();
    dialog->AddTargets({given.toStdString()});
    QDir::setCurrent(old);
    QCOMPARE(dialog->Targets().Count(), 1);
    QCOMPARE(QString::fromStdString(dialog->Targets().FirstText()), Path(listed));
}

QTEST_MAIN(PackerDlgTest)
#include "tst_packer_dlg.moc"
