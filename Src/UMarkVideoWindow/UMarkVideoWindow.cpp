#include "UMarkVideoWindow.h"

TMarkVideoWindow* MarkVideoWindow = nullptr;

TMarkVideoWindow::TMarkVideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("MarkVideoWindow");
}
