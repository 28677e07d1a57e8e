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

namespace {

// What SetUpUiLanguage installed last, removed by its next call.
QTranslator* g_installed[2] = {nullptr, nullptr};

void Install(QApplication& app, int slot, const QLocale& locale, const QString& name,
             const QString& directory)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(locale, name, QStringLiteral("_"), directory)) {
        QApplication::installTranslator(translator);
        g_installed[slot] = translator;
    } else {
        delete translator;
    }
}

}  // namespace

void SetUpUiLanguage(QApplication& app, lzh::Language lang)
{
    for (QTranslator*& installed : g_installed) {
        if (installed) {
            QApplication::removeTranslator(installed);
            delete installed;
            installed = nullptr;
        }
    }
    lzh::set_message_language(lang);
    if (lang == lzh::Language::japanese) {
        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        QLocale::setDefault(japanese);
        Install(app, 0, japanese, QStringLiteral("qtbase"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    } else {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QLocale::setDefault(english);
        Install(app, 1, english, QStringLiteral("pelkoran"), QStringLiteral(":/i18n"));
    }

    // The window was laid out for a proportional Japanese gothic at 9 points.
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        QFont font = QApplication::font();
        font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("DejaVu Sans")});
        font.setPointSize(9);
        QApplication::setFont(font);
    }
}

void SetUpJapaneseUi(QApplication& app)
{
    SetUpUiLanguage(app, lzh::Language::japanese);
}

}  // namespace pelkoran
