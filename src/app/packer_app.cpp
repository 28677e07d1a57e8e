// packer_app.cpp - the application object: starts the main dialog and ends with it.
#include "packer_app.h"

#include <QIcon>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>

#include "pack_now.h"
#include "packer_dlg.h"
#include "japanese_ui.h"
#include "stop_signals.h"

namespace pelkoran {

bool HasDisplay(int argc, char** argv)
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

CPackerApp::CPackerApp(int& argc, char** argv) : QApplication(argc, argv)
{
    SetUpApplicationNames(*this);
    // Qt has taken its own options (-platform, -style, ...) out of argv by
    // now; what is left after the program name are "--pack" and paths,
    // kept as bytes.
    LaunchRequest request = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    pack_ = request.pack;
    paths_ = std::move(request.paths);
}

int CPackerApp::InitInstance()
{
    SetUpUiLanguage(*this, lzh::desktop_language());
    setWindowIcon(QIcon(QStringLiteral(":/icons/pelkoran.svg")));

    // A stop signal (SIGTERM at logout, SIGHUP, Ctrl+C in the terminal that
    // started the window, ...) cancels a running command at its next
    // progress call, so the old archive stays and the temporary file goes,
    // and then ends every event loop, the dialog's and any box's.
    InstallStopSignals();
    QSocketNotifier stop(StopSignalFd(), QSocketNotifier::Read);
    connect(&stop, &QSocketNotifier::activated, this, [] { QCoreApplication::exit(1); });

    if (pack_) {
        CPackNow pack;
        return pack.Run(paths_);
    }
    CPackerDlg dialog;
    if (!paths_.empty())
        dialog.AddTargets(paths_);
    dialog.exec();
    if (!StopRequested())
        return 0;
    dialog.SaveOutputOptions();  // ended by a stop signal: the options are kept all the same
    return 1;
}

}  // namespace pelkoran
