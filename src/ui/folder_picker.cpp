// folder_picker.cpp - the folder picker behind the browse button, replaceable for tests.
#include "folder_picker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace pelkoran {

QString BrowseForFolder(QWidget* parent, const QString& title, const QString& start)
{
    QString folder = start.trimmed();
    // Walk up from a folder that does not exist (yet) to one that does.
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).path();
        if (up == folder || up == QStringLiteral(".")) {
            folder.clear();
            break;
        }
        folder = up;
    }
    return QFileDialog::getExistingDirectory(parent, title, folder, QFileDialog::ShowDirsOnly);
}

}  // namespace pelkoran
