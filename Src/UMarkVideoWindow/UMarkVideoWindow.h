#pragma once

#include <QWidget>

class TMarkVideoWindow : public QWidget {
    Q_OBJECT
public:
    explicit TMarkVideoWindow(QWidget* parent = nullptr);
};

extern TMarkVideoWindow* MarkVideoWindow;
