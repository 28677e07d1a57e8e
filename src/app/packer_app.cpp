// packer_app.cpp - the application object: starts the main dialog and ends with it.
#include "packer_app.h"

#include <QIcon>
#include <cstdlib>
#include <cstring>

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
    // now; what is left after the program name are paths, kept as bytes.
    for (int i = 1; i < argc; ++i) paths_.emplace_back(argv[i]);
}

int CPackerApp::InitInstance() {
    SetUpJapaneseUi(*this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/pelkoran.svg")));

    CPackerDlg dialog;
    if (!paths_.empty()) dialog.AddTargets(paths_);
    dialog.exec();
    return 0;
}

}  // namespace pelkoran
