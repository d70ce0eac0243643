#include "USavedRecordingsWin.h"

TSavedRecordingsWin* SavedRecordingsWin = nullptr;

TSavedRecordingsWin::TSavedRecordingsWin(QWidget* parent) : QDialog(parent) {
    setObjectName("SavedRecordingsWin");
}
