// japanese_ui.cpp - the Japanese look of the window: Qt's own texts, the locale, the font.
#include "japanese_ui.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pelkoran {

void SetUpJapaneseUi(QApplication& app) {
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
