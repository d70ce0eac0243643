#pragma once

#include <QDialog>

class TAboutWin : public QDialog {
    Q_OBJECT
public:
    explicit TAboutWin(QWidget* parent = nullptr);
};

extern TAboutWin* AboutWin;
