// Moving and sizing a frameless window with the mouse. A press on the watched surface asks the
// window manager to take over (QWindow::startSystemMove / startSystemResize); where there is no
// window manager that offers it, the window follows the mouse itself until the button is up.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>

class QWidget;

class TWindowDrag : public QObject {
    Q_OBJECT
public:
    // window: the top-level window to move or size. Install the object as an event filter on
    // every widget whose presses should drag it.
    explicit TWindowDrag(QWidget* window);

    // Which edges a press at this point (in window coordinates) sizes; none moves the window.
    std::function<Qt::Edges(QPoint)> EdgesAt;
    // Only presses of these buttons start a drag.
    Qt::MouseButtons Buttons = Qt::LeftButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_Window;
    bool m_Manual = false;
    Qt::Edges m_Edges;
    QPoint m_StartMouse;
    QRect m_StartGeometry;
};
