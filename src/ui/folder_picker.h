// folder_picker.h - the folder picker behind the browse button, replaceable for tests.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>

class QWidget;

namespace pelkoran {

// The picker's title (translated in the context "FolderPicker").
inline constexpr const char kBrowseTitle[] =
    QT_TRANSLATE_NOOP("FolderPicker", "出力するディレクトリを選択してください");

// Lets the user pick a directory; returns its path, or the empty text when
// the user cancelled. `start` is the folder to show first, as typed.
using FolderPicker = std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

/*
 * BrowseForFolder - the platform's folder picker (Qt's, or the desktop's
 * portal dialog). A start folder that does not exist opens the picker at
 * its nearest existing parent, so the user lands close to what was typed.
 */
QString BrowseForFolder(QWidget* parent, const QString& title, const QString& start);

}  // namespace pelkoran
