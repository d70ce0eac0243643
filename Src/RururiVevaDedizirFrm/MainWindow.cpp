#include "RururiVevaDedizirFrm.h"

#include <QCloseEvent>
#include <QShowEvent>

#include "UPublic.h"

TfrmRururiVevaDedizir* frmRururiVevaDedizir = nullptr;

TfrmRururiVevaDedizir::TfrmRururiVevaDedizir(QWidget* parent) : QWidget(parent) {
    setObjectName("frmRururiVevaDedizir");
    setWindowTitle("Kestrovane Video Capture");
    setFixedSize(340, 200);
}

TfrmRururiVevaDedizir::~TfrmRururiVevaDedizir() = default;

void TfrmRururiVevaDedizir::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Not on a restore from minimised, which the window system reports as a spontaneous show.
    if (!event->spontaneous()) {
        LoadSavedRecordings();
    }
}

void TfrmRururiVevaDedizir::closeEvent(QCloseEvent* event) {
    event->accept();
}
