// screenshot.cpp - draws the main window with a few listed items into a PNG (for docs/).
//
// Usage: pelkoran_screenshot OUT.png [SCALE]
// Runs offscreen; the items are made up (a status query that knows them),
// so the picture does not depend on the machine's files or settings.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <set>

#include "japanese_ui.h"
#include "packer_dlg.h"

namespace {

// The engine's version, without packing anything.
class ShowcaseLibrary : public pelkoran::ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow*, const std::string&, char*, std::uint32_t) override { return 1; }
    std::uint16_t GetVersion() override { return pelkoran::DefaultArchiverLibrary().GetVersion(); }
    std::string GetName() override { return pelkoran::DefaultArchiverLibrary().GetName(); }
};

/*
 * WithCaption - the window's picture under a plain caption bar (icon,
 * title, close box): offscreen there is no window manager to draw one,
 * and the title carries the library's version.
 */
QImage WithCaption(const QPixmap& window, const QIcon& icon, const QString& title)
{
    const qreal dpr = window.devicePixelRatio();
    const QSize size = window.deviceIndependentSize().toSize();
    const int bar = 28;
    QImage image(QSize(size.width() + 2, size.height() + bar + 1) * dpr, QImage::Format_ARGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(QColor(0x8a, 0x90, 0x96));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, bar);
    shade.setColorAt(0, QColor(0xf4, 0xf5, 0xf6));
    shade.setColorAt(1, QColor(0xdc, 0xdf, 0xe2));
    painter.fillRect(QRect(1, 1, size.width(), bar - 1), shade);
    painter.drawPixmap(QPoint(1, bar), window);
    icon.paint(&painter, QRect(8, 6, 16, 16));
    QFont font = QApplication::font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x30, 0x33, 0x36));
    painter.drawText(QRect(30, 1, size.width() - 60, bar - 1), Qt::AlignVCenter | Qt::AlignLeft, title);
    painter.setPen(QPen(QColor(0x50, 0x54, 0x58), 1.4));
    const QPointF x(size.width() - 14.0, bar / 2.0 + 0.5);
    painter.drawLine(x + QPointF(-4, -4), x + QPointF(4, 4));
    painter.drawLine(x + QPointF(-4, 4), x + QPointF(4, -4));
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelkoran_screenshot OUT.png [SCALE] [--english]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    bool english = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--english") == 0)
            english = true;
        else
            qputenv("QT_SCALE_FACTOR", argv[i]);
    }
    QApplication app(argc, argv);
    pelkoran::SetUpUiLanguage(app, english ? lzh::Language::english : lzh::Language::japanese);

    const std::set<std::string> directories{"/home/user/写真/2026-旅行", "/home/user/work/report"};
    auto query = [directories](const std::string& path) {
        return pelkoran::PathStatus{true, directories.count(path) > 0};
    };
    QTemporaryDir settings_dir;
    const QString ini_path = settings_dir.filePath(QStringLiteral("Pelkoran.ini"));
    QFile ini_file(ini_path);
    if (!ini_file.open(QIODevice::WriteOnly))
        return 1;
    ini_file.write("[Path]\nOutputDir=/home/user/書庫\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n");
    ini_file.close();
    const std::string ini = ini_path.toStdString();
    ShowcaseLibrary library;
    pelkoran::CPackerDlg dialog(library, ini, query);
    dialog.AddTargets({"/home/user/work/memo.txt", "/home/user/work/report", "/home/user/写真/2026-旅行",
                       "/home/user/work/見積書 第2版.xlsx", "/home/user/work/data10.csv",
                       "/home/user/work/data2.csv"});
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("targetList"));
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return 1;
    QTest::qWait(100);
    const QImage image = WithCaption(dialog.grab(), dialog.windowIcon(), dialog.windowTitle());
    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "pelkoran_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
