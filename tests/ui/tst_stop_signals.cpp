// tst_stop_signals.cpp - the window and a stop signal: a run is cancelled
// cleanly, and the window ends instead of being killed. A process of its own,
// since a stop signal, once seen, stays seen.
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "packer_dlg.h"
#include "stop_signals.h"
#include "test_support.h"

using namespace pelkoran;

namespace {

// Whether `dir` holds a temporary file (a command is writing there).
bool HasTempFile(const std::string& dir)
{
    for (const std::string& name : test_support::list_dir(dir))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
            return true;
    return false;
}

// Whether process `pid` catches signal `sig` (its handlers are installed).
bool Catches(qint64 pid, int sig)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    return false;
}

}  // namespace

class StopSignalsTest : public QObject {
    Q_OBJECT

private slots:
    // The window's own process: a stop signal while it waits for input ends
    // it with status 1, through its event loop, not by the signal's default,
    // and the output options are saved as on any other way of closing.
    void windowEndsOnAStopSignal()
    {
        const QString settings = QFileInfo(QStringLiteral(PELKORAN_WINDOW)).absolutePath() + "/Pelkoran.ini";
        for (int sig : {SIGHUP, SIGTERM}) {
            QFile::remove(settings);
            QProcess window;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            window.setProcessEnvironment(env);
            window.start(QStringLiteral(PELKORAN_WINDOW), {});
            QVERIFY(window.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(Catches(window.processId(), sig), 30000);
            QTest::qWait(200);
            QCOMPARE(window.state(), QProcess::Running);
            ::kill(pid_t(window.processId()), sig);
            QVERIFY(window.waitForFinished(10000));
            QCOMPARE(window.exitStatus(), QProcess::NormalExit);
            QCOMPARE(window.exitCode(), 1);
            QVERIFY2(QFile::exists(settings), qPrintable(settings));
        }
    }

    // A stop signal while the engine writes: the run stops at that item, which
    // stays listed; no archive, no temporary file, no box.
    void runIsCancelledByAStopSignal()
    {
        QTemporaryDir tmp;
        const std::string dir = tmp.path().toStdString();
        std::string big;
        for (int i = 0; big.size() < (std::size_t(24) << 20); ++i)
            big += std::to_string(i * 7919 % 1000003) + ' ';
        test_support::write_file(dir + "/big.txt", big);

        InstallStopSignals();
        QStringList boxes;
        CPackerDlg dialog(DefaultArchiverLibrary(), dir + "/Pelkoran.ini");
        dialog.SetMessageBox([&](QWidget*, const QString& text, MessageType) { boxes << text; });
        dialog.Progress().SetShowDelay(0);
        dialog.show();
        dialog.AddTargets({dir + "/big.txt"});

        std::atomic<bool> sent{false};
        std::thread killer([&] {
            for (int i = 0; i < 5000 && !HasTempFile(dir); ++i)
                ::usleep(1000);
            sent = true;
            ::kill(::getpid(), SIGUSR1);
        });
        dialog.OnCompressClicked();
        dialog.WaitForRun();
        killer.join();
        QVERIFY(sent);
        QVERIFY(StopRequested());
        QCOMPARE(dialog.Targets().Count(), 1);
        QCOMPARE(boxes, QStringList{});
        QVERIFY(!QFile::exists(tmp.filePath(QStringLiteral("big.txt.lzh"))));
        QVERIFY(!HasTempFile(dir));
    }
};

QTEST_MAIN(StopSignalsTest)
#include "tst_stop_signals.moc"
