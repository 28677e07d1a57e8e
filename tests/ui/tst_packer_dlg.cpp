// tst_packer_dlg.cpp - the main window end to end, with a fake archiver library.
#include <QtTest>
#include <QtWidgets>
#include <unistd.h>

#include <functional>
#include <memory>

#include "about_dlg.h"
#include "batch_fakes.h"
#include "japanese_ui.h"
#include "packer_dlg.h"
#include "settings.h"
#include "test_support.h"

using namespace pelkoran;

namespace {

const QString kAllDone = QStringLiteral("info: 圧縮がすべて終了しました。");

template <class T>
T* Child(QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

// Sends a drag-enter and a drop of `urls` to `target`; true when both were taken.
bool Drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QCoreApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

// Runs `task` on the UI thread from the library's (the run's worker thread)
// and returns once it has run.
template <typename Task>
void OnUiThread(Task task)
{
    QMetaObject::invokeMethod(qApp, task, Qt::BlockingQueuedConnection);
}

// The entries of the context menu that a right click on `target` opens (none: no menu).
QStringList ContextMenuEntries(QWidget* target)
{
    QStringList entries;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                entries << action->text();
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

    std::unique_ptr<QTemporaryDir> tmp_;
    testing::FakeLibrary library_;
    QStringList boxes_;  // "info: TEXT" or "error: TEXT"
    QStringList picker_calls_;
    QString picker_answer_;

    QString Path(const QString& name) const { return tmp_->filePath(name); }
    QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }

    // A shown window over the fake library (or `library`), its settings file in the test's folder.
    std::unique_ptr<CPackerDlg> MakeDialog(ArchiverLibrary* library = nullptr,
                                           StatusQuery query = QueryPathStatus)
    {
        auto dialog = std::make_unique<CPackerDlg>(library ? *library : library_,
                                                   Path(QStringLiteral("Pelkoran.ini")).toStdString(), query);
        dialog->SetMessageBox([this](QWidget*, const QString& text, MessageType type) {
            boxes_ << (type == MessageType::kInformation ? QStringLiteral("info: ")
                                                         : QStringLiteral("error: ")) +
                          text;
        });
        dialog->Progress().SetShowDelay(0);
        dialog->SetFolderPicker([this](QWidget*, const QString& title, const QString& start) {
            picker_calls_ << title << start;
            return picker_answer_;
        });
        dialog->show();
        return dialog;
    }

    void WriteSettings(const char* text)
    {
        test_support::write_file(Path(QStringLiteral("Pelkoran.ini")).toStdString(), text);
    }

private slots:
    void initTestCase() { SetUpJapaneseUi(*qApp); }

    // Each case: a fresh folder with two files and a directory, no settings file.
    void init()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        for (const char* name : {"b.txt", "c.dat"})
            test_support::write_file(Path(name).toStdString(), "data");
        QVERIFY(QDir(tmp_->path()).mkdir(QStringLiteral("a_dir")));
        library_ = testing::FakeLibrary();
        boxes_.clear();
        picker_calls_.clear();
        picker_answer_.clear();
    }

    // The title names the library as it names itself, with its version in
    // two decimals; the engine calls itself pelkoran-lzh. No display name is
    // set, so the platform appends nothing to any title (the display name
    // then follows the application's name instead of being fixed).
    void titleNamesTheLibraryAndItsVersion()
    {
        const std::pair<int, const char*> cases[] = {{300, "3.00"}, {253, "2.53"}, {5, "0.05"}};
        for (const auto& [version, shown] : cases) {
            library_.version = static_cast<std::uint16_t>(version);
            QCOMPARE(MakeDialog()->windowTitle(), QStringLiteral("Pelkoran (Using fake-lzh %1)").arg(shown));
        }
        QCOMPARE(QString::fromStdString(DefaultArchiverLibrary().GetName()), QStringLiteral("pelkoran-lzh"));
        SetUpApplicationNames(*qApp);
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Pelkoran"));
        QApplication::setApplicationName(QStringLiteral("renamed"));
        QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("renamed"));
        SetUpApplicationNames(*qApp);
    }

    // Onto the list: a file, a directory, the file again, a web address and a
    // path that names nothing; onto the window: the directory again, a new
    // file, and a Latin-1 name (caf\xE9.txt) that arrives percent-encoded and
    // must keep its bytes, or it would name nothing. Each local item is listed
    // once, the directory with its own icon; web addresses alone are refused.
    void dropAdmitsLocalItemsOnceWithTheirIconsAndBytes()
    {
        const QByteArray raw = QFile::encodeName(tmp_->path()) + "/caf\xE9.txt";
        test_support::write_file(raw.toStdString(), "x");
        auto dialog = MakeDialog();
        auto* list = Child<QTreeView>(*dialog, "targetList");
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QVERIFY(
            Drop(list->viewport(), {Url("b.txt"), Url("a_dir"), Url("b.txt"),
                                    QUrl(QStringLiteral("https://example.org/x.txt")), Url("missing.txt")}));
        const QUrl latin1 = QUrl::fromEncoded("file://" + QFile::encodeName(tmp_->path()) + "/caf%E9.txt");
        QVERIFY(Drop(dialog.get(), {Url("a_dir"), Url("c.dat"), latin1}));
        ::unlink(raw.constData());  // QTemporaryDir cannot remove a name that is not UTF-8
        QVERIFY(!Drop(dialog.get(), {QUrl(QStringLiteral("https://example.org/y"))}));

        QAbstractItemModel* model = list->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル・ディレクトリ"));
        auto row = [&](int r) {
            return std::pair(model->index(r, 0).data().toString(),
                             model->index(r, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey());
        };
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(QStringList({row(0).first, row(1).first, row(2).first}),
                 (QStringList{Path("a_dir"), Path("b.txt"), Path("c.dat")}));
        QCOMPARE(dialog->Targets().Model().RowImage(0), int(kImageDirectory));
        QVERIFY(row(0).second != row(1).second);
        QCOMPARE(row(1).second, row(2).second);
        QVERIFY(dialog->Targets().Contains(raw.toStdString()));
    }

    // Paths from the command line and drops list alike: absolute, a
    // directory under its own name however written (else its archive would
    // be ".lzh" inside it), and ".." read as the kernel reads it: with
    // link -> a_dir/sub, "link/../b.txt" is a_dir/b.txt, the file that
    // would be packed, and "a_dir/sub/.." is a_dir.
    void commandLineAndDroppedPathsAreResolvedAlike()
    {
        QVERIFY(QDir(Path("a_dir")).mkdir(QStringLiteral("sub")));
        test_support::write_file(Path("a_dir/b.txt").toStdString(), "inner");
        QVERIFY(QFile::link(Path("a_dir/sub"), Path("link")));
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp_->path()));
        auto dialog = MakeDialog();
        dialog->AddTargets(
            {"b.txt", "a_dir/", "./a_dir/.", Path("a_dir/.//").toStdString(), "link/../b.txt"});
        QDir::setCurrent(old);
        const QString real = QFileInfo(tmp_->path()).canonicalFilePath();
        QCOMPARE(dialog->Targets().Count(), 3);
        QCOMPARE(QString::fromStdString(dialog->Targets().FirstText()), real + QStringLiteral("/a_dir"));
        QVERIFY(dialog->Targets().Contains((real + QStringLiteral("/b.txt")).toStdString()));
        QVERIFY(dialog->Targets().Contains((real + QStringLiteral("/a_dir/b.txt")).toStdString()));

        dialog->Targets().RemoveTarget((real + QStringLiteral("/a_dir")).toStdString());
        QVERIFY(Drop(dialog.get(), {QUrl::fromLocalFile(Path("a_dir/sub/..")),
                                    QUrl::fromLocalFile(Path("link/../b.txt"))}));
        QCOMPARE(dialog->Targets().Count(), 3);
        QCOMPARE(QString::fromStdString(dialog->Targets().FirstText()), real + QStringLiteral("/a_dir"));
    }

    // A drop on the output directory field adds the items like a drop
    // anywhere else; the field's text stays as it was (and so does what
    // closing saves).
    void dropOnTheOutputFieldAddsItems()
    {
        WriteSettings("[Path]\nIsSamePlace=FALSE\nOutputDir=/srv/out\n");
        auto dialog = MakeDialog();
        auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QVERIFY(Drop(field, {Url("b.txt"), Url("a_dir")}));
        QCOMPARE(field->text(), QStringLiteral("/srv/out"));
        QCOMPARE(dialog->Targets().Count(), 2);
        QVERIFY(dialog->close());
        QCOMPARE(QString::fromStdString(LoadSettings(dialog->SettingsPath()).output_dir),
                 QStringLiteral("/srv/out"));
    }

    // The buttons follow every change of the rows and the selection. A drop
    // of many rows (one reset of the view) keeps the selection, shown and in
    // the rows' flags alike; after a delete of many rows they still agree,
    // or Delete would remove rows shown unselected. The Delete key removes
    // the selected rows as the button does.
    void buttonsFollowRowsAndSelection()
    {
        auto dialog = MakeDialog(nullptr, [](const std::string&) { return PathStatus{true, false}; });
        auto* list = Child<QTreeView>(*dialog, "targetList");
        auto* remove = Child<QPushButton>(*dialog, "deleteButton");
        auto* compress = Child<QPushButton>(*dialog, "compressButton");
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto buttons = [&] { return std::pair(remove->isEnabled(), compress->isEnabled()); };
        auto selected = [&] {
            return std::pair(int(list->selectionModel()->selectedRows().size()),
                             dialog->Targets().Rows().SelectedCount());
        };
        QCOMPARE(buttons(), std::pair(false, false));
        dialog->AddTargets({"/v/a", "/v/b", "/v/c"});
        QCOMPARE(buttons(), std::pair(false, true));

        // A click selects the second row, Ctrl+click adds the third (near the
        // column's left end: it is wider than the view).
        auto at = [&](int row) {
            const QRect rect = list->visualRect(list->model()->index(row, 0));
            return QPoint(rect.left() + 30, rect.center().y());
        };
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(1));
        QCOMPARE(buttons(), std::pair(true, true));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, at(2));
        QCOMPARE(selected(), std::pair(2, 2));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(buttons(), std::pair(false, true));
        dialog->AddTargets({"/v/b", "/v/c"});
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(2));
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(buttons(), std::pair(false, true));

        // The rows left selected, then a large drop (which lists a removed
        // path again) and a small one: the same rows stay selected.
        list->selectAll();
        auto selected_texts = [&] {
            QStringList texts;
            for (const QModelIndex& index : list->selectionModel()->selectedRows())
                texts << index.data().toString();
            texts.sort();
            return texts;
        };
        std::vector<std::string> many{"/v/c"};
        for (int i = 0; i < 200; ++i)
            many.push_back("/v/many/" + std::to_string(i));
        dialog->AddTargets(many);
        QCOMPARE(list->model()->rowCount(), 203);
        QCOMPARE(selected_texts(), (QStringList{QStringLiteral("/v/a"), QStringLiteral("/v/b")}));
        QCOMPARE(selected(), std::pair(2, 2));
        dialog->AddTargets({"/v/0"});
        QCOMPARE(selected_texts(), (QStringList{QStringLiteral("/v/a"), QStringLiteral("/v/b")}));
        QVERIFY(remove->isEnabled());

        // A large delete: every row but the first.
        list->selectAll();
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        QCOMPARE(selected(), std::pair(203, 203));
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("/v/0"));
        QCOMPARE(selected(), std::pair(0, 0));
        QCOMPARE(buttons(), std::pair(false, true));
    }

    // Without a settings file: next to each item, the field holding the home
    // directory, off with its browse button until the other place is chosen.
    // The picker starts at what the field names now, even if it does not
    // exist; an empty answer (cancelled) keeps the typed text. Enter on the
    // focused browse button clicks it.
    void outputModeFieldAndPicker()
    {
        auto dialog = MakeDialog();
        auto* same = Child<QRadioButton>(*dialog, "samePlaceRadio");
        auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
        auto* browse = Child<QPushButton>(*dialog, "browseButton");
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        auto controls = [&] { return std::pair(field->isEnabled(), browse->isEnabled()); };
        QVERIFY(same->isChecked());
        QCOMPARE(field->text(), QString::fromStdString(HomeDirectory()));
        QCOMPARE(controls(), std::pair(false, false));
        QTest::mouseClick(Child<QRadioButton>(*dialog, "otherPlaceRadio"), Qt::LeftButton);
        QCOMPARE(controls(), std::pair(true, true));

        field->clear();
        QTest::keyClicks(field, QStringLiteral("/no/such/dir"));
        browse->setFocus();
        QTest::keyClick(browse, Qt::Key_Return);
        QCOMPARE(picker_calls_, (QStringList{QStringLiteral("出力するディレクトリを選択してください"),
                                             QStringLiteral("/no/such/dir")}));
        QCOMPARE(field->text(), QStringLiteral("/no/such/dir"));
        QVERIFY(dialog->isVisible());
        picker_answer_ = Path("a_dir");
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(field->text(), Path("a_dir"));
        QTest::mouseClick(same, Qt::LeftButton);
        QCOMPARE(controls(), std::pair(false, false));
    }

    // A directory that is not there: its message (the file case is the
    // batch's and the command line's), the focus on the field, nothing
    // packed, the list as it was.
    void rejectedOutputDirShowsMessageAndFocusesField()
    {
        WriteSettings("[Path]\nIsSamePlace=FALSE\n");
        auto dialog = MakeDialog();
        auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        field->setText(QStringLiteral("/no/such/dir"));
        dialog->OnDropFiles({Url("a_dir"), Url("c.dat")});
        Child<QTreeView>(*dialog, "targetList")->setFocus();
        QTest::mouseClick(Child<QPushButton>(*dialog, "compressButton"), Qt::LeftButton);
        dialog->WaitForRun();
        QCOMPARE(boxes_, QStringList{QStringLiteral("error: 指定のディレクトリ(/no/such/dir)がありません")});
        QCOMPARE(QApplication::focusWidget(), field);
        QVERIFY(library_.commands.empty());
        QCOMPARE(dialog->Targets().Count(), 2);
    }

    // The library fails the second of three items with its reason: that
    // reason is the only message, and the item and the one after it stay
    // listed. The next run packs them, next to themselves, and says so.
    void failedItemShowsOnlyTheLibrarysReasonThenTheRunCompletes()
    {
        auto dialog = MakeDialog();
        auto* compress = Child<QPushButton>(*dialog, "compressButton");
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("a_dir"), Url("b.txt"), Url("c.dat")});
        library_.behaviour = [this](lzh::ArchiverWindow* window, const std::string&) {
            if (library_.commands.size() < 2)
                return 0;
            window->on_failure("書庫 /x/b.txt.lzh を書けません");
            return 1;
        };
        QTest::mouseClick(compress, Qt::LeftButton);
        dialog->WaitForRun();
        QCOMPARE(boxes_, QStringList{QStringLiteral("error: 書庫 /x/b.txt.lzh を書けません")});
        QCOMPARE(dialog->Targets().Count(), 2);
        QCOMPARE(QString::fromStdString(dialog->Targets().FirstText()), Path("b.txt"));
        QVERIFY(compress->isEnabled());

        library_.behaviour = nullptr;
        QTest::mouseClick(compress, Qt::LeftButton);
        dialog->WaitForRun();
        const std::string base = tmp_->path().toStdString() + "/";
        QCOMPARE(library_.commands.size(), std::size_t(4));
        QCOMPARE(library_.commands[0], "a \"" + base + "a_dir.lzh\" \"" + base + "\" -d1 \"a_dir\"");
        QCOMPARE(library_.commands[3], "a \"" + base + "c.dat.lzh\" \"" + base + "\" -d1 \"c.dat\"");
        QCOMPARE(boxes_.last(), kAllDone);
        QCOMPARE(dialog->Targets().Count(), 0);
        QVERIFY(!compress->isEnabled());
    }

    // Entries the library left out of an archive (a FIFO in a folder) are
    // listed in one box after the completion message, which stays as it is.
    void specialFilesLeftOutAreListedAfterTheCompletionMessage()
    {
        auto dialog = MakeDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("a_dir"), Url("b.txt")});
        library_.behaviour = [](lzh::ArchiverWindow* window, const std::string& text) {
            if (text.find("a_dir") != std::string::npos)
                window->on_skipped("/x/a_dir/pipe");
            return 0;
        };
        dialog->OnCompressClicked();
        dialog->WaitForRun();
        QCOMPARE(boxes_, (QStringList{kAllDone, QStringLiteral("error: ") + QString::fromUtf8(kMsgSkipped) +
                                                    QStringLiteral("\n/x/a_dir/pipe")}));
        boxes_.clear();
        dialog->OnDropFiles({Url("b.txt")});
        dialog->OnCompressClicked();
        dialog->WaitForRun();
        QCOMPARE(boxes_, QStringList{kAllDone});
    }

    // While the library works, the progress window is modal: a drop, a close
    // and the delete button change nothing. Cancel makes the next progress
    // call answer false; the item fails and stays listed, with no box.
    void cancelStopsTheItemAndTheWindowIgnoresInput()
    {
        auto dialog = MakeDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("a_dir"), Url("b.txt")});
        Child<QTreeView>(*dialog, "targetList")->selectAll();
        QWidget* modal_during_run = nullptr;
        bool drop_taken = true;
        int calls_after_cancel = 0;
        library_.behaviour = [&](lzh::ArchiverWindow* window, const std::string&) {
            window->on_progress({});
            OnUiThread([&] {
                modal_during_run = QApplication::activeModalWidget();
                drop_taken = Drop(dialog.get(), {Url("c.dat")});
                dialog->close();
                dialog->RemoveSelectedTargets();
                QTest::mouseClick(dialog->Progress().Dialog()->CancelButton(), Qt::LeftButton);
            });
            for (const QDeadlineTimer deadline(10000); window->on_progress({}); QThread::msleep(1)) {
                if (deadline.hasExpired())
                    return 0;
                ++calls_after_cancel;
            }
            window->on_failure("キャンセルしました: /x/a_dir.lzh");
            return 1;
        };
        dialog->OnCompressClicked();
        dialog->WaitForRun();
        QVERIFY(modal_during_run != nullptr);
        QCOMPARE(modal_during_run, static_cast<QWidget*>(dialog->Progress().Dialog()));
        QVERIFY(!drop_taken);
        QVERIFY(dialog->isVisible());
        QCOMPARE(calls_after_cancel, 0);
        QCOMPARE(boxes_, QStringList{});  // the user's own cancel: no box
        QCOMPARE(dialog->Targets().Count(), 2);
        QVERIFY(!dialog->Progress().Dialog()->isVisible());
        QVERIFY(!dialog->IsRunning());
    }

    // The library works off the UI thread, which keeps running its event
    // loop; meanwhile every control of the window is disabled. Afterwards
    // the controls follow the list again and the focus is where it was.
    void runWorksOffTheUiThreadWithTheControlsDisabled()
    {
        auto dialog = MakeDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("a_dir"), Url("b.txt")});
        auto* list = Child<QTreeView>(*dialog, "targetList");
        list->setFocus();
        const QStringList controls{"targetList",   "samePlaceRadio", "otherPlaceRadio", "outputDirEdit",
                                   "browseButton", "compressButton", "deleteButton",    "trimExtCheck",
                                   "methodCombo",  "levelCombo"};
        bool off_ui_thread = true;
        QStringList enabled_during_run;
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(5);
        library_.behaviour = [&](lzh::ArchiverWindow*, const std::string&) {
            off_ui_thread = off_ui_thread && QThread::currentThread() != qApp->thread();
            QThread::msleep(60);
            OnUiThread([&] {
                for (const QString& name : controls)
                    if (Child<QWidget>(*dialog, name.toLatin1().constData())->isEnabled())
                        enabled_during_run << name;
            });
            return 0;
        };
        dialog->OnCompressClicked();
        QVERIFY(dialog->IsRunning());
        dialog->WaitForRun();
        QVERIFY(off_ui_thread);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QCOMPARE(enabled_during_run.join(QLatin1Char(',')), QString());
        QCOMPARE(boxes_, QStringList{kAllDone});
        QCOMPARE(dialog->Targets().Count(), 0);
        QVERIFY(list->isEnabled());
        QVERIFY(Child<QRadioButton>(*dialog, "samePlaceRadio")->isEnabled());
        QVERIFY(!Child<QPushButton>(*dialog, "compressButton")->isEnabled());
        QVERIFY(!Child<QLineEdit>(*dialog, "outputDirEdit")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
    }

    // Progress of a run of three items: "k / N" and the bytes read by the
    // whole run so far, the bar over the whole run; no byte count before
    // anything was read (a "0 バイト / 1.18 KiB" says nothing).
    void progressShowsItemsAndBytesOfTheWholeRun()
    {
        auto dialog = MakeDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("a_dir"), Url("b.txt"), Url("c.dat")});
        QStringList seen;
        library_.behaviour = [&](lzh::ArchiverWindow* window, const std::string&) {
            for (std::uint64_t done : {std::uint64_t(0), std::uint64_t(500), std::uint64_t(1000)}) {
                window->on_progress({"/x/a.lzh", "a", done, 1000});
                OnUiThread([&] {
                    ProgressDialog* box = dialog->Progress().Dialog();
                    seen << Child<QLabel>(*box, "itemsLabel")->text() + QLatin1Char('|') +
                                Child<QLabel>(*box, "bytesLabel")->text() + QLatin1Char('|') +
                                QString::number(box->findChild<QProgressBar*>()->value());
                });
                QThread::msleep(40);  // the box is refreshed at most every 30 ms
            }
            return 0;
        };
        dialog->OnCompressClicked();
        dialog->WaitForRun();
        const QLocale locale;
        auto bytes = [&](int n) { return locale.formattedDataSize(n) + QStringLiteral(" 読み込み済み"); };
        QCOMPARE(seen, (QStringList{QStringLiteral("1 / 3 項目||0"),
                                    QStringLiteral("1 / 3 項目|") + bytes(500) + QStringLiteral("|166"),
                                    QStringLiteral("1 / 3 項目|") + bytes(1000) + QStringLiteral("|333"),
                                    QStringLiteral("2 / 3 項目|") + bytes(1000) + QStringLiteral("|333"),
                                    QStringLiteral("2 / 3 項目|") + bytes(1500) + QStringLiteral("|500"),
                                    QStringLiteral("2 / 3 項目|") + bytes(2000) + QStringLiteral("|666"),
                                    QStringLiteral("3 / 3 項目|") + bytes(2000) + QStringLiteral("|666"),
                                    QStringLiteral("3 / 3 項目|") + bytes(2500) + QStringLiteral("|833"),
                                    QStringLiteral("3 / 3 項目|") + bytes(3000) + QStringLiteral("|1000")}));
        QCOMPARE(boxes_, QStringList{kAllDone});
    }

    // The list's column: as wide as the view when the list is empty or
    // short (no horizontal scroll bar), as wide as a long path when there is
    // one (which can be scrolled to), and back when it goes.
    void columnFitsItsContentNeverNarrowerThanTheView()
    {
        auto dialog = MakeDialog(nullptr, [](const std::string&) { return PathStatus{true, false}; });
        auto* list = Child<QTreeView>(*dialog, "targetList");
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QApplication::processEvents();
        auto width = [&] { return list->header()->sectionSize(0); };
        QCOMPARE(width(), list->viewport()->width());
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        dialog->AddTargets({"/v/short"});
        QCOMPARE(width(), list->viewport()->width());
        const std::string long_path = "/v/" + std::string(300, 'x');
        dialog->AddTargets({long_path});
        QApplication::processEvents();
        QVERIFY(width() > list->viewport()->width());
        QVERIFY(list->horizontalScrollBar()->maximum() > 0);
        dialog->Targets().RemoveTarget(long_path);
        QApplication::processEvents();
        QCOMPARE(width(), list->viewport()->width());
    }

    // The window's order is the Japanese collation whatever the locale
    // (pelkoran-cli packs in the same order): 亜 (first of the JIS kanji)
    // before 一, numbers as numbers, case ignored.
    void orderIsTheSameWhateverTheLocale()
    {
        const QLocale old;
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Japanese, QLocale::Japan)}) {
            QLocale::setDefault(locale);
            auto dialog = MakeDialog(nullptr, [](const std::string&) { return PathStatus{true, false}; });
            dialog->AddTargets({"/v/一.txt", "/v/b10", "/v/亜.txt", "/v/B9"});
            QStringList rows;
            for (int i = 0; i < dialog->Targets().Count(); ++i)
                rows << QString::fromStdString(dialog->Targets().Rows().RowText(i));
            QCOMPARE(rows, (QStringList{QStringLiteral("/v/B9"), QStringLiteral("/v/b10"),
                                        QStringLiteral("/v/亜.txt"), QStringLiteral("/v/一.txt")}));
        }
        QLocale::setDefault(old);
    }

    // The engine itself: a file and a directory packed next to themselves
    // through the progress window, which is shown and hidden again.
    void realEnginePacksThroughTheProgressWindow()
    {
        std::string big;
        for (int i = 0; i < 200000; ++i)
            big += std::to_string(i * 7919 % 100003) + ' ';
        test_support::write_file(Path("big.bin").toStdString(), big);
        auto dialog = MakeDialog(&DefaultArchiverLibrary());
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->OnDropFiles({Url("big.bin"), Url("a_dir")});
        dialog->OnCompressClicked();
        dialog->WaitForRun();
        QCOMPARE(boxes_, QStringList{kAllDone});
        QVERIFY(QFileInfo(Path(QStringLiteral("big.bin.lzh"))).size() > 0);
        QVERIFY(QFileInfo(Path(QStringLiteral("a_dir.lzh"))).size() > 0);
        QVERIFY(dialog->Progress().Dialog() != nullptr);
        QVERIFY(!dialog->Progress().Dialog()->isVisible());
    }

    // Enter (in the field, on the list, on the keypad) never ends the
    // window; Esc and closing the window do, and both save the options as
    // typed, blanks kept; the next window starts with them.
    void enterKeepsTheWindowEscAndCloseSave()
    {
        const QString ini = Path(QStringLiteral("Pelkoran.ini"));
        for (const QByteArray how : {"enter", "esc", "close"}) {
            QFile::remove(ini);
            auto dialog = MakeDialog();
            QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
            QTest::mouseClick(Child<QRadioButton>(*dialog, "otherPlaceRadio"), Qt::LeftButton);
            auto* field = Child<QLineEdit>(*dialog, "outputDirEdit");
            field->setText(QStringLiteral(" /srv/out "));
            Child<QCheckBox>(*dialog, "trimExtCheck")->setChecked(true);
            if (how == "close") {
                QVERIFY(dialog->close());
            } else if (how == "esc") {
                QTest::keyClick(Child<QTreeView>(*dialog, "targetList"), Qt::Key_Escape);
            } else {
                field->setFocus();
                QTest::keyClick(field, Qt::Key_Return);
                QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
                QTest::keyClick(Child<QTreeView>(*dialog, "targetList"), Qt::Key_Return);
                QVERIFY(dialog->isVisible());
                QCOMPARE(field->text(), QStringLiteral(" /srv/out "));
                QVERIFY(!QFile::exists(ini));
                continue;
            }
            QVERIFY2(!dialog->isVisible(), how.constData());
            QVERIFY2(QFile::exists(ini), how.constData());
        }
        auto stored = MakeDialog();
        QVERIFY(Child<QRadioButton>(*stored, "otherPlaceRadio")->isChecked());
        QVERIFY(Child<QLineEdit>(*stored, "outputDirEdit")->isEnabled());
        QCOMPARE(Child<QLineEdit>(*stored, "outputDirEdit")->text(), QStringLiteral(" /srv/out "));
        QVERIFY(Child<QCheckBox>(*stored, "trimExtCheck")->isChecked());
    }

    // A right click on the window offers the about entry; on the list it
    // offers 削除 (for the selected rows) and the entry; the Menu key and
    // Shift+F10 open the same menus from the keyboard, in the field too. The
    // entry opens the box with the product, the notice and the build stamp.
    void contextMenusOfferDeleteAndAboutFromMouseAndKeyboard()
    {
        auto dialog = MakeDialog(nullptr, [](const std::string&) { return PathStatus{true, false}; });
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        auto* list = Child<QTreeView>(*dialog, "targetList");
        const QString about_entry = QStringLiteral("Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&A)...");
        const QStringList list_menu{QStringLiteral("削除"), QString(), about_entry};
        QCOMPARE(ContextMenuEntries(dialog.get()), QStringList{about_entry});
        QCOMPARE(ContextMenuEntries(list->viewport()), list_menu);

        auto by_key = [&](QWidget* focus, int key, Qt::KeyboardModifiers modifiers) {
            QStringList entries;
            focus->setFocus();
            QTimer::singleShot(50, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* action : menu->actions())
                        entries << action->text();
                    menu->close();
                }
            });
            QTest::keyClick(focus, Qt::Key(key), modifiers);
            QTest::qWait(100);
            return entries;
        };
        Child<QRadioButton>(*dialog, "otherPlaceRadio")->setChecked(true);
        QCOMPARE(by_key(Child<QLineEdit>(*dialog, "outputDirEdit"), Qt::Key_F10, Qt::ShiftModifier),
                 QStringList{about_entry});
        QCOMPARE(by_key(Child<QPushButton>(*dialog, "compressButton"), Qt::Key_Menu, Qt::NoModifier),
                 QStringList{about_entry});
        QCOMPARE(by_key(list, Qt::Key_Menu, Qt::NoModifier), list_menu);

        // 削除 from the list's menu removes the selected row.
        dialog->AddTargets({"/v/a", "/v/b"});
        list->selectionModel()->select(list->model()->index(1, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                QAction* remove = menu->actions().value(0);
                menu->close();
                if (remove && remove->isEnabled())
                    remove->trigger();
            }
        });
        const QPoint pos = list->visualRect(list->model()->index(1, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(list->viewport(), &event);
        QCOMPARE(dialog->Targets().Count(), 1);
        QCOMPARE(QString::fromStdString(dialog->Targets().FirstText()), QStringLiteral("/v/a"));
        QString opened;
        QTimer::singleShot(50, [&] {
            if (auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                opened = box->windowTitle();
                box->close();
            }
        });
        Child<QAction>(*dialog, "aboutAction")->trigger();
        QCOMPARE(opened, QStringLiteral("Pelkoranのﾊﾞｰｼﾞｮﾝ情報"));

        CAboutDlg about;
        QCOMPARE(Child<QLabel>(about, "productLabel")->text(), QStringLiteral("Pelkoran Version 1.1"));
        const QStringList lines = Child<QLabel>(about, "aboutTextLabel")->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QString::fromUtf8(kAboutNotice));
        const QRegularExpression stamp(
            QStringLiteral("^BUILD:[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} "
                           "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]$"));
        QVERIFY2(stamp.match(lines[1]).hasMatch(), qPrintable(lines[1]));
    }
};

QTEST_MAIN(PackerDlgTest)
#include "tst_packer_dlg.moc"
