// tst_language.cpp - the window in the desktop's language: English texts on
// an English (or unset, or C) desktop, today's Japanese texts byte for byte on
// a Japanese one; command texts and the settings file the same in both.
#include <QtTest>
#include <QtWidgets>

#include <memory>

#include "batch_fakes.h"
#include "japanese_ui.h"
#include "pack_now.h"
#include "packer_dlg.h"
#include "pelkoran/messages.h"
#include "progress_window.h"
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

const char* const kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
const char kPathOnlyFile[] = "[Path]\nOutputDir=/srv/out\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n";

// The desktop's language variables as `settings` ("LANG=ja_JP.UTF-8
// LANGUAGE=ja"; the others unset) for the life of the object.
class Desktop {
public:
    explicit Desktop(const QString& settings)
    {
        for (const char* name : kVariables) {
            saved_.append(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
            qunsetenv(name);
        }
        for (const QString& assignment : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype eq = assignment.indexOf(QLatin1Char('='));
            qputenv(assignment.left(eq).toLatin1().constData(), assignment.mid(eq + 1).toLatin1());
        }
    }
    ~Desktop()
    {
        for (int i = 0; i < saved_.size(); ++i) {
            if (saved_[i])
                qputenv(kVariables[i], *saved_[i]);
            else
                qunsetenv(kVariables[i]);
        }
    }

private:
    QList<std::optional<QByteArray>> saved_;
};

// What the user reads on the window and its boxes.
struct Seen {
    QString compress, same_place, trim, group, header, about, browse_title, done_box, no_items_box, cancel,
        close_button, title, method;
    QStringList levels;
    std::vector<std::string> commands;
    std::string settings;
};

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;

    std::string Bytes(const QString& name) const { return tmp_->filePath(name).toStdString(); }

    // The window as the application sets it up under `settings`, a run of
    // one item, and `pelkoran --pack` without items.
    void Look(const QString& settings, Seen& seen)
    {
        {
            Desktop desktop(settings);
            SetUpUiLanguage(*qApp, lzh::desktop_language());
        }
        const std::string ini = Bytes(QStringLiteral("Pelkoran.ini"));
        test_support::write_file(ini, kPathOnlyFile);
        test_support::write_file(Bytes(QStringLiteral("b.txt")), "data");
        testing::FakeLibrary library;
        QStringList boxes;
        auto recorder = [&boxes](QWidget*, const QString& text, MessageType) { boxes << text; };
        {
            CPackerDlg dialog(library, ini);
            dialog.SetMessageBox(recorder);
            dialog.SetFolderPicker([&seen](QWidget*, const QString& title, const QString&) {
                seen.browse_title = title;
                return QString();
            });
            dialog.show();
            seen.title = dialog.windowTitle();
            seen.compress = Child<QPushButton>(dialog, "compressButton")->text();
            seen.same_place = Child<QRadioButton>(dialog, "samePlaceRadio")->text();
            seen.trim = Child<QCheckBox>(dialog, "trimExtCheck")->text();
            seen.group = Child<QGroupBox>(dialog, "targetGroup")->title();
            seen.header =
                Child<QTreeView>(dialog, "targetList")->model()->headerData(0, Qt::Horizontal).toString();
            seen.about = dialog.findChild<QAction*>(QStringLiteral("aboutAction"))->text();
            QComboBox* method = Child<QComboBox>(dialog, "methodCombo");
            seen.method = method->currentText();
            QComboBox* level = Child<QComboBox>(dialog, "levelCombo");
            for (int i = 0; i < level->count(); ++i)
                seen.levels << level->itemText(i);
            dialog.OnBrowse();
            dialog.AddTargets({Bytes(QStringLiteral("b.txt"))});
            QTest::mouseClick(Child<QPushButton>(dialog, "compressButton"), Qt::LeftButton);
            dialog.WaitForRun();
            seen.done_box = boxes.value(0);
            QVERIFY(dialog.close());
        }
        seen.commands = library.commands;
        seen.settings = test_support::read_file(ini);
        {
            boxes.clear();
            CPackNow pack(library, ini);
            pack.SetMessageBox(recorder);
            pack.Run({});
            seen.no_items_box = boxes.value(0);
        }
        QWidget owner;
        ProgressDialog progress(&owner);
        seen.cancel = progress.CancelButton()->text();
        QDialogButtonBox buttons(QDialogButtonBox::Close);
        seen.close_button = buttons.button(QDialogButtonBox::Close)->text();
    }

private slots:
    void init()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }
    void cleanup() { SetUpJapaneseUi(*qApp); }

    // A Japanese desktop (in any of the ways gettext reads one) sees the
    // window exactly as it always was, Qt's standard buttons in Japanese.
    void japaneseDesktopSeesTodaysTexts_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::newRow("LANG") << QStringLiteral("LANG=ja_JP.UTF-8");
        QTest::newRow("LANGUAGE") << QStringLiteral("LANG=en_US.UTF-8 LANGUAGE=fr:ja");
        QTest::newRow("LC_MESSAGES") << QStringLiteral("LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8");
        QTest::newRow("LC_ALL") << QStringLiteral("LANG=en_US.UTF-8 LC_ALL=ja_JP.UTF-8");
    }
    void japaneseDesktopSeesTodaysTexts()
    {
        QFETCH(QString, settings);
        Seen seen;
        Look(settings, seen);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(seen.title, QStringLiteral("Pelkoran (Using fake-lzh 3.00)"));
        QCOMPARE(seen.compress, QStringLiteral("圧縮実行！"));
        QCOMPARE(seen.same_place, QStringLiteral("ファイル・ディレクトリと同じ場所に圧縮ファイルを出力する"));
        QCOMPARE(seen.trim,
                 QStringLiteral("ファイルの場合、圧縮ファイル名から拡張子を取る（file.txt → file.lzh）"));
        QCOMPARE(seen.group, QStringLiteral("対象ファイル・ディレクトリ"));
        QCOMPARE(seen.header, QStringLiteral("ファイル・ディレクトリ"));
        QCOMPARE(seen.about, QStringLiteral("Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&A)..."));
        QCOMPARE(seen.method, QStringLiteral("-lh5-"));
        QCOMPARE(seen.levels,
                 (QStringList{QStringLiteral("速度優先"), QStringLiteral("標準"), QStringLiteral("高圧縮")}));
        QCOMPARE(seen.browse_title, QStringLiteral("出力するディレクトリを選択してください"));
        QCOMPARE(seen.done_box, QStringLiteral("圧縮がすべて終了しました。"));
        QCOMPARE(seen.no_items_box, QStringLiteral("圧縮する項目を指定してください"));
        QCOMPARE(seen.cancel, QStringLiteral("キャンセル"));
        QCOMPARE(seen.close_button, QStringLiteral("閉じる"));
        QCOMPARE(lzh::message_language(), lzh::Language::japanese);
        QCOMPARE(QLocale().language(), QLocale::Japanese);
        QCOMPARE(seen.settings, std::string(kPathOnlyFile));
    }

    // Any other desktop, an unset or C locale included, reads English; the
    // command texts and the settings file are those of the Japanese window.
    void otherDesktopsSeeEnglish_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::newRow("LANG") << QStringLiteral("LANG=en_US.UTF-8");
        QTest::newRow("unset") << QString();
        QTest::newRow("C.UTF-8") << QStringLiteral("LANG=C.UTF-8");
        QTest::newRow("C ignores LANGUAGE") << QStringLiteral("LC_ALL=C LANGUAGE=ja LANG=ja_JP.UTF-8");
        QTest::newRow("German") << QStringLiteral("LANG=de_DE.UTF-8");
        QTest::newRow("LANGUAGE") << QStringLiteral("LANG=ja_JP.UTF-8 LANGUAGE=en");
    }
    void otherDesktopsSeeEnglish()
    {
        QFETCH(QString, settings);
        Seen seen;
        Look(settings, seen);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(seen.title, QStringLiteral("Pelkoran (Using fake-lzh 3.00)"));
        QCOMPARE(seen.compress, QStringLiteral("Compress!"));
        QCOMPARE(seen.same_place, QStringLiteral("Put each archive beside its file or directory"));
        QCOMPARE(
            seen.trim,
            QStringLiteral("For a file, leave its extension out of the archive name (file.txt → file.lzh)"));
        QCOMPARE(seen.group, QStringLiteral("Files and directories to pack"));
        QCOMPARE(seen.header, QStringLiteral("Files and directories"));
        QCOMPARE(seen.about, QStringLiteral("&About Pelkoran..."));
        QCOMPARE(seen.method, QStringLiteral("-lh5-"));
        QCOMPARE(seen.levels,
                 (QStringList{QStringLiteral("fast"), QStringLiteral("normal"), QStringLiteral("best")}));
        QCOMPARE(seen.browse_title, QStringLiteral("Choose the directory for the archives"));
        QCOMPARE(seen.done_box, QStringLiteral("All items have been packed."));
        QCOMPARE(seen.no_items_box, QStringLiteral("Name the items to pack"));
        QCOMPARE(seen.cancel, QStringLiteral("Cancel"));
        QCOMPARE(seen.close_button, QStringLiteral("Close"));
        QCOMPARE(lzh::message_language(), lzh::Language::english);
        QCOMPARE(QLocale().language(), QLocale::English);
        const std::string item = Bytes(QStringLiteral("b.txt"));
        QCOMPARE(seen.commands, std::vector<std::string>{"a \"" + item + ".lzh\" \"" +
                                                         tmp_->path().toStdString() + "/\" -d1 \"b.txt\""});
        QCOMPARE(seen.settings, std::string(kPathOnlyFile));
    }

    // `pelkoran --help` (printed before Qt starts) follows the desktop too.
    void helpFollowsTheDesktop()
    {
        for (const auto& [settings, first_line] :
             {std::pair{QStringLiteral("LANG=ja_JP.UTF-8"), QStringLiteral("使い方: pelkoran [PATH...]")},
              std::pair{QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("Usage: pelkoran [PATH...]")},
              std::pair{QString(), QStringLiteral("Usage: pelkoran [PATH...]")}}) {
            QProcess window;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : kVariables)
                env.remove(QString::fromLatin1(name));
            for (const QString& assignment : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                env.insert(assignment.section(QLatin1Char('='), 0, 0),
                           assignment.section(QLatin1Char('='), 1));
            window.setProcessEnvironment(env);
            window.start(QStringLiteral(PELKORAN_WINDOW), {QStringLiteral("--help")});
            QVERIFY(window.waitForFinished(10000));
            QCOMPARE(window.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(window.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0),
                     first_line);
        }
    }
};

QTEST_MAIN(LanguageTest)
#include "tst_language.moc"
