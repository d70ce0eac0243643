#include "SkinImage.h"

#include "SkinResources.h"

#include <QMouseEvent>
#include <QPainter>

TSkinImage::TSkinImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSkinImage::setPicture(const QString& name) {
    if (name == m_Picture)
        return;
    m_Picture = name;
    m_Pixmap = LoadSkinBitmap(name);
    update();
}

void TSkinImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_Pixmap.isNull())
        p.fillRect(rect(), palette().window());
    else
        p.drawPixmap(rect(), m_Pixmap);
}

void TSkinImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_ClickArmed = true;
    Q_EMIT mouseDown(event->button());
}

void TSkinImage::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click: pressed look, but no click on its release.
    if (event->button() == Qt::LeftButton)
        m_ClickArmed = false;
    Q_EMIT mouseDown(event->button());
}

void TSkinImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && m_ClickArmed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_ClickArmed = false;
    if (click)
        Q_EMIT clicked();
    Q_EMIT mouseUp(event->button());
}
