// icon_png.cpp - draws the application icon (SVG) as PNG files at the icon theme's fixed sizes.
//
// Usage: pelkoran_icon_png ICON.svg OUT_DIR SIZE...
// Writes OUT_DIR/SIZExSIZE/apps/pelkoran.png for each SIZE (the hicolor
// theme's layout), through Qt's SVG image plug-in; runs offscreen.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: pelkoran_icon_png ICON.svg OUT_DIR SIZE...\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString out_dir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "pelkoran_icon_png: not a size: %s\n", argv[i]);
            return 2;
        }
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull() || image.size() != QSize(size, size)) {
            std::fprintf(stderr, "pelkoran_icon_png: cannot draw %s at %d: %s\n", argv[1], size,
                         qPrintable(reader.errorString()));
            return 1;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out_dir).arg(size);
        const QString png = dir + QStringLiteral("/pelkoran.png");
        if (!QDir().mkpath(dir) || !image.save(png, "PNG")) {
            std::fprintf(stderr, "pelkoran_icon_png: cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    return 0;
}
