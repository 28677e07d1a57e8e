// about_dlg.cpp - the about box: icon, product and version, notice and build stamp.
#include "about_dlg.h"

#include <QIcon>

#include "ui_aboutdialog.h"

namespace pelkoran {

QString BuildStampLine()
{
    return QString::asprintf("BUILD:%s %s", __DATE__, __TIME__);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::CAboutDlg>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    ui_->iconLabel->setPixmap(
        QIcon(QStringLiteral(":/icons/pelkoran.svg")).pixmap(QSize(32, 32), devicePixelRatioF()));
    m_strAboutText = QString::fromUtf8(kAboutNotice) + QLatin1Char('\n') + BuildStampLine();
    ui_->aboutTextLabel->setText(m_strAboutText);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace pelkoran
