// japanese_ui.cpp - the look of the window: the application's names, Qt's own texts, the locale, the font.
#include "japanese_ui.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pelkoran {

void SetUpApplicationNames(QApplication& app)
{
    // No display name: the platform would add it to every window title
    // ("… — Pelkoran"), and the titles name the product already.
    app.setApplicationName(QStringLiteral("Pelkoran"));
    app.setApplicationVersion(QStringLiteral(PELKORAN_VERSION));
    app.setDesktopFileName(QStringLiteral("pelkoran"));
}

void SetUpJapaneseUi(QApplication& app)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);

    auto* qtbase = new QTranslator(&app);
    if (qtbase->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtbase);
    else
        delete qtbase;

    // The window was laid out for a proportional Japanese gothic at 9 points.
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        QFont font = QApplication::font();
        font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("DejaVu Sans")});
        font.setPointSize(9);
        QApplication::setFont(font);
    }
}

}  // namespace pelkoran
