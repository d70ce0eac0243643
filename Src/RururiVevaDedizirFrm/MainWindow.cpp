#include "RururiVevaDedizirFrm.h"

#include <QCloseEvent>
#include <QShowEvent>

TfrmRururiVevaDedizir* frmRururiVevaDedizir = nullptr;

TfrmRururiVevaDedizir::TfrmRururiVevaDedizir(QWidget* parent) : QWidget(parent) {
    setObjectName("frmRururiVevaDedizir");
    setWindowTitle("Kestrovane Video Capture");
    setFixedSize(340, 200);
}

TfrmRururiVevaDedizir::~TfrmRururiVevaDedizir() = default;

void TfrmRururiVevaDedizir::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
}

void TfrmRururiVevaDedizir::closeEvent(QCloseEvent* event) {
    event->accept();
}
