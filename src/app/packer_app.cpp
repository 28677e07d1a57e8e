// packer_app.cpp - the application object: starts the main dialog and ends with it.
#include "packer_app.h"

#include <QIcon>
#include <cstdlib>
#include <cstring>

#include "pack_now.h"
#include "packer_dlg.h"
#include "japanese_ui.h"

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
    // now; what is left after the program name are "--pack" and paths,
    // kept as bytes.
    LaunchRequest request = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    pack_ = request.pack;
    paths_ = std::move(request.paths);
}

int CPackerApp::InitInstance() {
    SetUpJapaneseUi(*this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pelkoran.svg")));

    if (pack_) {
        CPackNow pack;
        return pack.Run(paths_);
    }
    CPackerDlg dialog;
    if (!paths_.empty()) dialog.AddTargets(paths_);
    dialog.exec();
    return 0;
}

}  // namespace pelkoran
