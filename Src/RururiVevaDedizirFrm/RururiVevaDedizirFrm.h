// The main window: the skinned panel from which the user does everything, with the recording
// controller and the progress and log handlers as its methods.
#pragma once

#include <QWidget>

class TfrmRururiVevaDedizir : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRururiVevaDedizir(QWidget* parent = nullptr);
    ~TfrmRururiVevaDedizir() override;

    // ---- recording controller, progress and log (RecordingController.cpp, ProgressLog.cpp)

    // ---- skin, image buttons, popup menu, close query (MainWindow.cpp)

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

extern TfrmRururiVevaDedizir* frmRururiVevaDedizir;
