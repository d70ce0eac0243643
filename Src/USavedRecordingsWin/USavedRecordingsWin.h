#pragma once

#include <QDialog>

class TSavedRecordingsWin : public QDialog {
    Q_OBJECT
public:
    explicit TSavedRecordingsWin(QWidget* parent = nullptr);
};

extern TSavedRecordingsWin* SavedRecordingsWin;
