#include "WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TWindowDrag::TWindowDrag(QWidget* window) : QObject(window), m_Window(window) {}

bool TWindowDrag::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!(Buttons & me->button()))
            break;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            break;
        const QPoint inWindow = widget->mapTo(m_Window, me->position().toPoint());
        m_Edges = EdgesAt ? EdgesAt(inWindow) : Qt::Edges();
        QWindow* handle = m_Window->windowHandle();
        const bool bySystem =
            handle && (m_Edges ? handle->startSystemResize(m_Edges) : handle->startSystemMove());
        if (!bySystem) {
            m_Manual = true;
            m_StartMouse = me->globalPosition().toPoint();
            m_StartGeometry = m_Window->geometry();
        }
        return true;
    }
    case QEvent::MouseMove: {
        if (!m_Manual)
            break;
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint d = me->globalPosition().toPoint() - m_StartMouse;
        QRect g = m_StartGeometry;
        if (!m_Edges) {
            g.translate(d);
        } else {
            const QSize minimum(32, 32);
            if (m_Edges & Qt::LeftEdge)
                g.setLeft(std::min(g.left() + d.x(), g.right() - minimum.width() + 1));
            if (m_Edges & Qt::RightEdge)
                g.setRight(std::max(g.right() + d.x(), g.left() + minimum.width() - 1));
            if (m_Edges & Qt::TopEdge)
                g.setTop(std::min(g.top() + d.y(), g.bottom() - minimum.height() + 1));
            if (m_Edges & Qt::BottomEdge)
                g.setBottom(std::max(g.bottom() + d.y(), g.top() + minimum.height() - 1));
        }
        m_Window->setGeometry(g);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_Manual) {
            m_Manual = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
