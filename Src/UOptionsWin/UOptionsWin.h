#pragma once

#include <QDialog>

class TOptionsWin : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsWin(QWidget* parent = nullptr);
};

extern TOptionsWin* OptionsWin;
