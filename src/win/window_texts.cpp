// window_texts.cpp - the Windows window in the user's language.
#include "window_texts.h"

#include "pelkoran/messages.h"
#include "wide_text.h"

namespace pelkoran::win {

namespace {

void TranslateWindowText(HWND hwnd)
{
    const int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    const std::string japanese = WideToUtf8(text);
    const std::string english = Translated(japanese);
    if (english != japanese)
        ::SetWindowTextW(hwnd, Utf8ToWide(english).c_str());
}

BOOL CALLBACK TranslateChild(HWND child, LPARAM)
{
    TranslateWindowText(child);
    return TRUE;
}

}  // namespace

const std::vector<WindowWording>& WindowWordings()
{
    static const std::vector<WindowWording> wordings = {
        {"対象ファイル・ディレクトリ", "Files and directories to pack"},
        {"下のリストにExplorerからファイル・ディレクトリをドラッグ＆ドロップしてください。",
         "Drag and drop files and directories from Explorer onto the list below."},
        {"ファイル・ディレクトリと同じ場所に圧縮ファイルを出力する",
         "Put each archive beside its file or directory"},
        {"下記の場所に圧縮ファイルを出力する", "Put the archives in this directory"},
        {"選択...", "Browse..."},
        {"圧縮実行！", "Compress!"},
        {"ファイルの場合、圧縮ファイル名から拡張子を取る（file.txt → file.lzh）",
         "For a file, leave its extension out of the archive name (file.txt → file.lzh)"},
        {"圧縮方式:", "Method:"},
        {"書き込み後に検査", "Verify after writing"},
        {"速度優先", "fast"},
        {"標準", "normal"},
        {"高圧縮", "best"},
        {"Pelkoranのﾊﾞｰｼﾞｮﾝ情報", "About Pelkoran"},
        {"Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&A)...", "&About Pelkoran..."},
        {"出力するディレクトリを選択してください", "Choose the directory for the archives"},
        {"LZH 圧縮ツール (pelkoran-lzh エンジン)", "LZH archiver (the pelkoran-lzh engine)"},
        {"圧縮中", "Packing"},
        {"キャンセル", "Cancel"},
    };
    return wordings;
}

std::string Translated(std::string_view japanese)
{
    if (lzh::message_language() == lzh::Language::english)
        for (const WindowWording& w : WindowWordings())
            if (japanese == w.japanese)
                return w.english;
    return std::string(japanese);
}

void TranslateDialog(HWND dialog)
{
    if (lzh::message_language() != lzh::Language::english)
        return;
    TranslateWindowText(dialog);
    ::EnumChildWindows(dialog, TranslateChild, 0);
}

}  // namespace pelkoran::win
