// The about box: the program's logo, name and version, and a button to the maker's web site.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutWin : public QDialog {
    Q_OBJECT
public:
    explicit TAboutWin(QWidget* parent = nullptr);

    QLabel* LogoImage;
    QLabel* Label1;
    QLabel* LabelVer;
    QPushButton* btnWebSite;
    QPushButton* ButtClose;

    void FormShow();
    void btnWebSiteClick();
    void ButtCloseClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_Placed = false;
};

// The program's version as text.
inline constexpr const char* KvcVersionText = "1.01";

extern TAboutWin* AboutWin;
