// japanese_ui.h - the look of the window: the application's names, Qt's own texts, the locale, the font.
#pragma once

class QApplication;

namespace pelkoran {

/*
 * SetUpJapaneseUi - Qt's standard texts in Japanese (qtbase_ja: "閉じる",
 * "はい(&Y)"), the Japanese locale for numbers and sizes, and a
 * proportional Japanese font (IPAPGothic) when one is installed. Call once,
 * after the QApplication is made.
 */
void SetUpJapaneseUi(QApplication& app);

/*
 * SetUpApplicationNames - the application's name, version and desktop
 * file. No display name is set, so window titles stay exactly as the
 * windows set them (the platform would append it to each one).
 */
void SetUpApplicationNames(QApplication& app);

}  // namespace pelkoran
