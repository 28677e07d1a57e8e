// about_dlg.h - the about box: icon, product and version, notice and build stamp.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class CAboutDlg;
}

namespace pelkoran {

// The notice line shown above the build stamp.
inline constexpr const char kAboutNotice[] = "Copyright (C) 2026 Pelkoran developers";

// "BUILD:<date> <time>" with the compiler's stamp of this build.
QString BuildStampLine();

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // The notice line and the stamp line, one line feed between them.
    QString AboutText() const { return m_strAboutText; }

private:
    std::unique_ptr<Ui::CAboutDlg> ui_;
    QString m_strAboutText;
};

}  // namespace pelkoran
