// japanese_ui.h - the Japanese look of the window: Qt's own texts, the locale, the font.
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

}  // namespace pelkoran
