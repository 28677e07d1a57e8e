// tst_desktop.cpp - what the desktop adds to the window: method and effort, `pelkoran --pack`, accessible names.
#include <QtTest>
#include <QtWidgets>
#include <QAccessible>

#include <memory>

#include "about_dlg.h"
#include "batch_fakes.h"
#include "japanese_ui.h"
#include "method_switches.h"
#include "pack_now.h"
#include "packer_dlg.h"
#include "settings.h"
#include "test_support.h"

using namespace pelkoran;

namespace {

template <class T>
T* Child(QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

const char kPathOnlyFile[] = "[Path]\nOutputDir=/srv/out\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n";

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    testing::FakeLibrary library_;
    QStringList boxes_;  // "info: TEXT" or "error: TEXT"

    QString Path(const QString& name) const { return tmp_->filePath(name); }
    std::string Bytes(const QString& name) const { return Path(name).toStdString(); }
    std::string Ini() const { return Bytes(QStringLiteral("Pelkoran.ini")); }
    MessageBoxFn Recorder()
    {
        return [this](QWidget*, const QString& text, MessageType type) {
            boxes_ << (type == MessageType::kInformation ? QStringLiteral("info: ")
                                                         : QStringLiteral("error: ")) +
                          text;
        };
    }

    std::unique_ptr<CPackerDlg> MakeDialog()
    {
        auto dialog = std::make_unique<CPackerDlg>(library_, Ini());
        dialog->SetMessageBox(Recorder());
        dialog->Progress().SetShowDelay(0);
        dialog->show();
        return dialog;
    }

    // The command text of `name` packed next to itself with `switches` (none: the default method and effort).
    std::string CommandFor(const QString& name, const std::string& switches = {}) const
    {
        std::string text = "a \"" + Bytes(name) + ".lzh\" \"" + tmp_->path().toStdString() + "/\" -d1 ";
        if (!switches.empty())
            text += switches + " ";
        return text + "\"" + name.toStdString() + "\"";
    }

private slots:
    void initTestCase() { SetUpJapaneseUi(*qApp); }

    void init()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        for (const char* name : {"b.txt", "c.dat"})
            test_support::write_file(Bytes(name), "data");
        QVERIFY(QDir(tmp_->path()).mkdir(QStringLiteral("out")));
        library_ = testing::FakeLibrary();
        boxes_.clear();
    }

    // A settings file of the three [Path] keys shows -lh5- and 標準, packs
    // with the command text that has no method or effort switch, and is
    // written back exactly as it was read: the [Compression] section
    // appears only for a choice other than the defaults.
    void defaultChoiceKeepsCommandTextsAndTheFile()
    {
        test_support::write_file(Ini(), kPathOnlyFile);
        auto dialog = MakeDialog();
        QCOMPARE(Child<QComboBox>(*dialog, "methodCombo")->currentText(), QStringLiteral("-lh5-"));
        QCOMPARE(Child<QComboBox>(*dialog, "levelCombo")->currentText(), QStringLiteral("標準"));
        QVERIFY(!Child<QCheckBox>(*dialog, "verifyCheck")->isChecked());
        dialog->AddTargets({Bytes("b.txt")});
        QTest::mouseClick(Child<QPushButton>(*dialog, "compressButton"), Qt::LeftButton);
        dialog->WaitForRun();
        QCOMPARE(library_.commands, std::vector<std::string>{CommandFor("b.txt")});
        QVERIFY(dialog->close());
        QCOMPARE(test_support::read_file(Ini()), std::string(kPathOnlyFile));
    }

    // Every pair of method and effort reaches every command text of the
    // run as the switches pelkoran-cli pack writes for --method/--level,
    // and is saved in [Compression] ([Path] untouched), to be shown again
    // at the next start. A hand-edited value that is not a name shows the
    // default.
    void choiceReachesEveryCommandAndIsSaved()
    {
        const char* switches[3][3] = {{"-fast", "", "-best"},
                                      {"-lh6 -fast", "-lh6", "-lh6 -best"},
                                      {"-lh7 -fast", "-lh7", "-lh7 -best"}};
        for (int m = 0; m < 3; ++m) {
            for (int l = 0; l < 3; ++l) {
                test_support::write_file(Ini(), kPathOnlyFile);
                library_.commands.clear();
                boxes_.clear();
                auto dialog = MakeDialog();
                Child<QComboBox>(*dialog, "methodCombo")->setCurrentIndex(m);
                Child<QComboBox>(*dialog, "levelCombo")->setCurrentIndex(l);
                dialog->AddTargets({Bytes("b.txt"), Bytes("c.dat")});
                QTest::mouseClick(Child<QPushButton>(*dialog, "compressButton"), Qt::LeftButton);
                dialog->WaitForRun();
                const std::vector<std::string> expected{CommandFor("b.txt", switches[m][l]),
                                                        CommandFor("c.dat", switches[m][l])};
                QCOMPARE(library_.commands, expected);
                QCOMPARE(boxes_, QStringList{QStringLiteral("info: 圧縮がすべて終了しました。")});
                QVERIFY(dialog->close());
                const Settings saved = LoadSettings(Ini());
                QCOMPARE(saved.method, std::string(kMethodNames[m]));
                QCOMPARE(saved.level, std::string(kLevelNames[l]));
                QCOMPARE(saved.output_dir, std::string("/srv/out"));
                auto again = MakeDialog();
                QCOMPARE(Child<QComboBox>(*again, "methodCombo")->currentIndex(), m);
                QCOMPARE(Child<QComboBox>(*again, "levelCombo")->currentIndex(), l);
            }
        }
        QVERIFY(test_support::read_file(Ini()).rfind(
                    "[Path]\nOutputDir=/srv/out\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n", 0) == 0);

        test_support::write_file(Ini(),
                                 std::string(kPathOnlyFile) + "[Compression]\nMethod=LH7\nLevel=max\n");
        auto dialog = MakeDialog();
        QCOMPARE(Child<QComboBox>(*dialog, "methodCombo")->currentText(), QStringLiteral("-lh5-"));
        QCOMPARE(Child<QComboBox>(*dialog, "levelCombo")->currentText(), QStringLiteral("標準"));
    }

    // The verify check box adds -verify after the method and effort
    // switches of every command text, is saved as Verify=TRUE in
    // [Compression] and shown checked at the next start; cleared again, the
    // command text is the default one byte for byte. `pelkoran --pack`
    // takes it from the file.
    void verifyCheckBoxReachesTheCommandAndIsSaved()
    {
        test_support::write_file(Ini(), kPathOnlyFile);
        auto dialog = MakeDialog();
        Child<QComboBox>(*dialog, "methodCombo")->setCurrentIndex(2);
        QTest::mouseClick(Child<QCheckBox>(*dialog, "verifyCheck"), Qt::LeftButton);
        dialog->AddTargets({Bytes("b.txt"), Bytes("c.dat")});
        QTest::mouseClick(Child<QPushButton>(*dialog, "compressButton"), Qt::LeftButton);
        dialog->WaitForRun();
        QCOMPARE(library_.commands, (std::vector<std::string>{CommandFor("b.txt", "-lh7 -verify"),
                                                              CommandFor("c.dat", "-lh7 -verify")}));
        QVERIFY(dialog->close());
        QVERIFY(LoadSettings(Ini()).verify);
        QVERIFY(test_support::read_file(Ini()).find("\nVerify=TRUE\n") != std::string::npos);

        library_.commands.clear();
        {
            CPackNow pack(library_, Ini());
            pack.SetMessageBox(Recorder());
            QCOMPARE(pack.Run({Bytes("b.txt")}), 0);
            QCOMPARE(library_.commands, std::vector<std::string>{CommandFor("b.txt", "-lh7 -verify")});
        }

        library_.commands.clear();
        auto again = MakeDialog();
        QCheckBox* verify = Child<QCheckBox>(*again, "verifyCheck");
        QVERIFY(verify->isChecked());
        Child<QComboBox>(*again, "methodCombo")->setCurrentIndex(0);
        QTest::mouseClick(verify, Qt::LeftButton);
        again->AddTargets({Bytes("b.txt")});
        QTest::mouseClick(Child<QPushButton>(*again, "compressButton"), Qt::LeftButton);
        again->WaitForRun();
        QCOMPARE(library_.commands, std::vector<std::string>{CommandFor("b.txt")});
        QVERIFY(again->close());
        QVERIFY(!LoadSettings(Ini()).verify);
    }

    // Every control that takes the keyboard focus has a name for a screen
    // reader, set as its accessible name and read back through the
    // accessibility interface (what an assistive technology asks).
    void everyFocusableControlHasAnAccessibleName()
    {
        auto dialog = MakeDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        int focusable = 0;
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(dialog.get()))
                continue;
            ++focusable;
            QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName()));
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(face && !face->text(QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
        }
        QCOMPARE(focusable, 11);  // list, 2 radios, field, browse, compress, delete, 2 checks, 2 choices

        // The other windows' controls are named by their texts.
        dialog->Progress().Start();
        dialog->Progress().on_progress(lzh::Progress{"x.lzh", "x", 1, 2});
        QCoreApplication::processEvents();  // the box is shown by a queued refresh
        CAboutDlg about(dialog.get());
        about.show();
        for (QWidget* window :
             {static_cast<QWidget*>(dialog->Progress().Dialog()), static_cast<QWidget*>(&about)}) {
            QVERIFY(window && window->isVisible());
            int named = 0;
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (!(widget->focusPolicy() & Qt::TabFocus))
                    continue;
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
                QVERIFY2(face && !face->text(QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
                ++named;
            }
            QVERIFY(named > 0);
        }
        dialog->Progress().Finish();
    }

    // The command line: "--pack" first packs, "--" ends the options,
    // "--help" asks for the usage, anything else is a path for the list.
    void commandLineAsksForPackOrWindow()
    {
        using V = std::vector<std::string>;
        LaunchRequest r = ReadCommandLine({"--pack", "/a", "b"});
        QVERIFY(r.pack && !r.help);
        QCOMPARE(r.paths, (V{"/a", "b"}));
        r = ReadCommandLine({"--pack", "--", "--pack"});
        QVERIFY(r.pack);
        QCOMPARE(r.paths, V{"--pack"});
        r = ReadCommandLine({"/a", "--pack"});
        QVERIFY(!r.pack);
        QCOMPARE(r.paths, (V{"/a", "--pack"}));
        r = ReadCommandLine({"--", "--help"});
        QVERIFY(!r.pack && !r.help);
        QCOMPARE(r.paths, V{"--help"});
        QVERIFY(ReadCommandLine({"--help"}).help);
        QVERIFY(ReadCommandLine({"-h"}).help);
        QVERIFY(ReadCommandLine({}).paths.empty());
    }

    // `pelkoran --pack`: the items in the list's order, with every saved
    // option (output directory, trim, method, effort) in the command texts;
    // the progress window while the library works; then the completion
    // message and status 0. No main window is ever shown, and the settings
    // file stays as it was.
    void packNowUsesTheSavedOptionsAndShowsProgressThenDone()
    {
        const std::string ini =
            "[Path]\nOutputDir=" + Bytes("out") +
            "\nIsSamePlace=FALSE\nIsTrimEXT=TRUE\n[Compression]\nMethod=lh6\nLevel=fast\n";
        test_support::write_file(Ini(), ini);
        bool progress_shown = false;
        CPackNow pack(library_, Ini());
        pack.SetMessageBox(Recorder());
        pack.Progress().SetShowDelay(0);
        library_.behaviour = [&](lzh::ArchiverWindow* window, const std::string&) {
            window->on_progress(lzh::Progress{"x.lzh", "x", 1, 2});
            // The library works on the run's thread; the box lives on this one.
            QMetaObject::invokeMethod(
                qApp,
                [&] { progress_shown = pack.Progress().Dialog() && pack.Progress().Dialog()->isVisible(); },
                Qt::BlockingQueuedConnection);
            return 0;
        };
        QCOMPARE(pack.Run({Bytes("c.dat"), Bytes("b.txt"), Bytes("b.txt")}), 0);
        const QString text = QStringLiteral("a \"%1/out/%2.lzh\" \"%1/\" -d1 -lh6 -fast \"%2.%3\"");
        QCOMPARE(library_.commands,
                 (std::vector<std::string>{text.arg(tmp_->path(), "b", "txt").toStdString(),
                                           text.arg(tmp_->path(), "c", "dat").toStdString()}));
        QVERIFY(progress_shown);
        QVERIFY(!pack.Progress().Dialog()->isVisible());
        QCOMPARE(boxes_, QStringList{QStringLiteral("info: 圧縮がすべて終了しました。")});
        QVERIFY(QApplication::topLevelWidgets().size() >= 1);
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<CPackerDlg*>(top));
        QCOMPARE(test_support::read_file(Ini()), ini);
    }

    // The failures are worded as in the window, and the status tells a script
    // (or the file manager) that not everything was packed: the library's
    // reason, and no completion message; a refused output directory before
    // anything is packed; paths that are not there named first (never a
    // "finished" for them), the rest packed; no path at all.
    void packNowReportsEveryFailure()
    {
        test_support::write_file(Ini(), kPathOnlyFile);
        {
            CPackNow pack(library_, Ini());
            pack.SetMessageBox(Recorder());
            library_.behaviour = [](lzh::ArchiverWindow* window, const std::string& text) {
                if (text.find("c.dat") == std::string::npos)
                    return 0;
                window->on_failure("読み込めません: c.dat");
                return 1;
            };
            QCOMPARE(pack.Run({Bytes("b.txt"), Bytes("c.dat")}), 1);
            QCOMPARE(library_.commands.size(), std::size_t(2));
            QCOMPARE(boxes_, QStringList{QStringLiteral("error: 読み込めません: c.dat")});
        }
        boxes_.clear();
        library_ = testing::FakeLibrary();
        test_support::write_file(Ini(), "[Path]\nOutputDir=" + Bytes("nowhere") + "\nIsSamePlace=FALSE\n");
        {
            CPackNow pack(library_, Ini());
            pack.SetMessageBox(Recorder());
            QCOMPARE(pack.Run({Bytes("b.txt")}), 2);
            QVERIFY(library_.commands.empty());
            QCOMPARE(boxes_,
                     QStringList{
                         QStringLiteral("error: 指定のディレクトリ(%1)がありません").arg(Path("nowhere"))});
        }
        boxes_.clear();
        test_support::write_file(Ini(), kPathOnlyFile);
        {
            CPackNow pack(library_, Ini());
            pack.SetMessageBox(Recorder());
            QCOMPARE(pack.Run({Bytes("gone1"), Bytes("b.txt"), Bytes("gone2")}), 1);
            QCOMPARE(library_.commands, std::vector<std::string>{CommandFor("b.txt")});
            QCOMPARE(boxes_, (QStringList{QStringLiteral("error: 次の項目がないため圧縮しません:\n%1\n%2")
                                              .arg(Path("gone1"), Path("gone2")),
                                          QStringLiteral("info: 圧縮がすべて終了しました。")}));
            boxes_.clear();
            library_.commands.clear();
            QCOMPARE(pack.Run({Bytes("gone1")}), 1);
            QCOMPARE(pack.Run({}), 2);
            QVERIFY(library_.commands.empty());
            QCOMPARE(
                boxes_,
                (QStringList{QStringLiteral("error: 次の項目がないため圧縮しません:\n%1").arg(Path("gone1")),
                             QStringLiteral("error: 圧縮する項目を指定してください")}));
        }
        // Entries the library left out are listed after the completion
        // message, as the window lists them.
        boxes_.clear();
        {
            CPackNow pack(library_, Ini());
            pack.SetMessageBox(Recorder());
            library_.behaviour = [](lzh::ArchiverWindow* window, const std::string&) {
                window->on_skipped("/x/pipe");
                return 0;
            };
            QCOMPARE(pack.Run({Bytes("b.txt")}), 0);
            QCOMPARE(boxes_, (QStringList{QStringLiteral("info: 圧縮がすべて終了しました。"),
                                          QStringLiteral("error: ") + QString::fromUtf8(kMsgSkipped) +
                                              QStringLiteral("\n/x/pipe")}));
        }
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
