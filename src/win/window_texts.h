// window_texts.h - the Windows window in the user's language.
//
// The dialog resources and the window's code hold the Japanese texts; on a
// desktop whose display language is not Japanese (lzh::message_language(),
// set once from lzh::desktop_language() when the program starts) each is
// replaced by its English, found by its Japanese text as Qt's translations
// find theirs.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace pelkoran::win {

struct WindowWording {
    const char* japanese;
    const char* english;
};

// Every text of the window's resources and code, in both languages.
const std::vector<WindowWording>& WindowWordings();

// `japanese` in lzh::message_language(); unchanged when the table has no
// English for it.
std::string Translated(std::string_view japanese);

// The caption of `dialog` and the texts of its children, in
// lzh::message_language(). Call from WM_INITDIALOG or right after the
// dialog is made.
void TranslateDialog(HWND dialog);

}  // namespace pelkoran::win
