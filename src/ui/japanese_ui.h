// japanese_ui.h - the look of the window: the application's names, Qt's own texts, the locale, the font.
#pragma once

#include "pelkoran/messages.h"

class QApplication;

namespace pelkoran {

/*
 * SetUpUiLanguage - the window, its boxes and the engine's messages in
 * `lang`: for Japanese the window's own texts (its source texts), Qt's
 * standard texts from qtbase_ja and the Japanese locale; for English the
 * window's English translation (pelkoran_en.qm, built in) and the US English
 * locale. Both get the same font (SetUpJapaneseUi). Call after the
 * QApplication is made and before any window; a later call replaces what
 * an earlier one installed.
 */
void SetUpUiLanguage(QApplication& app, lzh::Language lang);

/*
 * SetUpJapaneseUi - SetUpUiLanguage(app, Japanese): Qt's standard texts in
 * Japanese (qtbase_ja: "閉じる", "はい(&Y)"), the Japanese locale for
 * numbers and sizes, and a proportional Japanese font (IPAPGothic) when one
 * is installed.
 */
void SetUpJapaneseUi(QApplication& app);

/*
 * SetUpApplicationNames - the application's name, version and desktop
 * file. No display name is set, so window titles stay exactly as the
 * windows set them (the platform would append it to each one).
 */
void SetUpApplicationNames(QApplication& app);

}  // namespace pelkoran
