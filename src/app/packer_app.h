// packer_app.h - the application object: starts the main dialog and ends with it.
#pragma once

#include <QApplication>
#include <string>
#include <vector>

namespace pelkoran {

/*
 * CPackerApp - the one application object. InitInstance shows the main
 * dialog modally, with the paths of the command line already listed (as if
 * dropped, so a file manager's "Open with" works), and returns when the
 * dialog has ended; the process then ends. With "--pack" first it packs the
 * paths at once with the saved settings instead (CPackNow), without the
 * main dialog.
 */
class CPackerApp : public QApplication {
    Q_OBJECT

public:
    CPackerApp(int& argc, char** argv);

    // Returns the process's exit status.
    int InitInstance();

private:
    bool pack_ = false;               // --pack
    std::vector<std::string> paths_;  // the command line's paths, as bytes
};

// True when a Qt window can be shown: a display, or a platform chosen
// explicitly (QT_QPA_PLATFORM or -platform).
bool HasDisplay(int argc, char** argv);

}  // namespace pelkoran
