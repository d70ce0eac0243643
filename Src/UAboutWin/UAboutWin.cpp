#include "UAboutWin.h"

#include "Shell.h"
#include "SkinResources.h"
#include "WindowPlacement.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TAboutWin* AboutWin = nullptr;

TAboutWin::TAboutWin(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutWin");
    setWindowTitle("About");
    setFont(KvcFont());
    setFixedSize(280, 191);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    LogoImage = new QLabel(this);
    LogoImage->setGeometry(10, 8, 64, 64);
    Label1 = new QLabel("Kestrovane Video Capture", this);
    Label1->setFont(KvcFont(true));
    Label1->move(96, 16);
    Label1->adjustSize();
    LabelVer = new QLabel(this);
    LabelVer->setGeometry(96, 35, 176, 16);

    btnWebSite = new QPushButton("Web Site", this);
    btnWebSite->setGeometry(8, 159, 75, 25);
    btnWebSite->setAutoDefault(false);
    ButtClose = new QPushButton("Close", this);
    ButtClose->setGeometry(200, 159, 72, 25);
    ButtClose->setAutoDefault(false);
    connect(btnWebSite, &QPushButton::clicked, this, &TAboutWin::btnWebSiteClick);
    connect(ButtClose, &QPushButton::clicked, this, &TAboutWin::ButtCloseClick);
}

void TAboutWin::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        PlaceDialogOnFirstShow(this, &m_Placed);
    }
    QDialog::showEvent(event);
}

void TAboutWin::FormShow() {
    const QPixmap logo = LoadSkinBitmap("AppLogo");
    LogoImage->setPixmap(logo);
    if (!logo.isNull())
        LogoImage->resize(logo.size());
    LabelVer->setText(QString::asprintf("Version %s", KvcVersionText));
}

void TAboutWin::btnWebSiteClick() {
    ShellOpen(QUrl(MakerHomePage()));
}

void TAboutWin::ButtCloseClick() {
    close();
}
