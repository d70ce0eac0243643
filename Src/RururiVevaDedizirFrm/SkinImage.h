// An image button of the skinned main window: shows one bitmap of the skin and reports the
// mouse as the window's handlers expect it. A click is the left button pressed on the image and
// released over it; the second press of a double click is reported as a press but never makes a
// click. On release the click, if any, is reported before the button-up.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class TSkinImage : public QWidget {
    Q_OBJECT
public:
    explicit TSkinImage(QWidget* parent = nullptr);

    // Shows the skin bitmap of that name (looked up without regard to case).
    void setPicture(const QString& name);
    // The name last given to setPicture.
    QString picture() const { return m_Picture; }

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_Picture;
    QPixmap m_Pixmap;
    bool m_ClickArmed = false;
};
