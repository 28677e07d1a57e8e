// screenshot.cpp - draws the main window with a few listed items into a PNG (for docs/).
//
// Usage: pelkoran_screenshot OUT.png [SCALE]
// Runs offscreen; the items are made up (a status query that knows them),
// so the picture does not depend on the machine's files or settings.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "japanese_ui.h"
#include "packer_dlg.h"

namespace {

// The engine's version, without packing anything.
class ShowcaseLibrary : public pelkoran::ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow*, const std::string&, char*, std::uint32_t) override {
        return 1;
    }
    std::uint16_t GetVersion() override { return pelkoran::DefaultArchiverLibrary().GetVersion(); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelkoran_screenshot OUT.png [SCALE]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2) qputenv("QT_SCALE_FACTOR", argv[2]);
    QApplication app(argc, argv);
    pelkoran::SetUpJapaneseUi(app);

    const std::set<std::string> directories{"/home/user/写真/2026-旅行", "/home/user/work/report"};
    auto query = [directories](const std::string& path) {
        return pelkoran::PathStatus{true, directories.count(path) > 0};
    };
    QTemporaryDir settings_dir;
    const std::string ini = settings_dir.filePath(QStringLiteral("Pelkoran.ini")).toStdString();
    ShowcaseLibrary library;
    pelkoran::CPackerDlg dialog(library, ini, query);
    dialog.AddTargets({"/home/user/work/memo.txt", "/home/user/work/report",
                       "/home/user/写真/2026-旅行", "/home/user/work/見積書 第2版.xlsx",
                       "/home/user/work/data10.csv", "/home/user/work/data2.csv"});
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("targetList"));
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
    QTest::qWait(100);
    const QImage image = dialog.grab().toImage();
    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "pelkoran_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
