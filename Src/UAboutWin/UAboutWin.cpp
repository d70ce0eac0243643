#include "UAboutWin.h"

TAboutWin* AboutWin = nullptr;

TAboutWin::TAboutWin(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutWin");
}
