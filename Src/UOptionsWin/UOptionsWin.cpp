#include "UOptionsWin.h"

TOptionsWin* OptionsWin = nullptr;

TOptionsWin::TOptionsWin(QWidget* parent) : QDialog(parent) {
    setObjectName("OptionsWin");
}
