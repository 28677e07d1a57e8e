// packer_app.cpp - the application object: starts the main dialog and ends with it.
#include "packer_app.h"

#include <QIcon>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>

#include "packer_dlg.h"
#include "japanese_ui.h"
#include "stop_signals.h"

namespace pelkoran {

bool HasDisplay(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

CPackerApp::CPackerApp(int& argc, char** argv) : QApplication(argc, argv) {
    SetUpApplicationNames(*this);
    // Qt has taken its own options (-platform, -style, ...) out of argv by
    // now; what is left after the program name are paths, kept as bytes.
    for (int i = 1; i < argc; ++i) paths_.emplace_back(argv[i]);
}

int CPackerApp::InitInstance() {
    SetUpJapaneseUi(*this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pelkoran.svg")));

    // A stop signal (SIGTERM at logout, SIGHUP, Ctrl+C in the terminal that
    // started the window, ...) cancels a running command at its next
    // progress call, so the old archive stays and the temporary file goes,
    // and then ends every event loop, the dialog's and any box's.
    InstallStopSignals();
    QSocketNotifier stop(StopSignalFd(), QSocketNotifier::Read);
    connect(&stop, &QSocketNotifier::activated, this, [] { QCoreApplication::exit(1); });

    CPackerDlg dialog;
    if (!paths_.empty()) dialog.AddTargets(paths_);
    dialog.exec();
    return StopRequested() ? 1 : 0;
}

}  // namespace pelkoran
