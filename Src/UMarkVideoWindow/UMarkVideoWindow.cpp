#include "UMarkVideoWindow.h"

#include "RururiVevaDedizirFrm.h"
#include "SkinImage.h"
#include "UPublic.h"
#include "WindowDrag.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

TMarkVideoWindow* MarkVideoWindow = nullptr;

TMarkVideoWindow::TMarkVideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("MarkVideoWindow");
    setWindowTitle("MarkVideoWindow");
    setFont(KvcFont());
    // No caption and no system buttons; its edges size it and its surface moves it.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowOpacity(150.0 / 255.0);
    setMouseTracking(true);
    setAutoFillBackground(false);
    resize(460, 271);

    ButtAccept = new QPushButton("Accept", this);
    ButtAccept->setGeometry(11, 11, 75, 25);
    ButtAccept->setFont(KvcFont(true));
    ButtAccept->setAutoDefault(false);
    Buttcancel = new QPushButton("Cancel", this);
    Buttcancel->setGeometry(11, 42, 75, 25);
    Buttcancel->setFont(KvcFont(true));
    Buttcancel->setAutoDefault(false);
    connect(ButtAccept, &QPushButton::clicked, this, &TMarkVideoWindow::ButtAcceptClick);
    connect(Buttcancel, &QPushButton::clicked, this, &TMarkVideoWindow::ButtcancelClick);

    auto* drag = new TWindowDrag(this);
    drag->EdgesAt = [this](QPoint p) { return EdgesAt(p); };
    installEventFilter(drag);

    m_OldTop = RecorderOptions.RecTop;
    m_OldLeft = RecorderOptions.RecLeft;
    m_OldWidth = RecorderOptions.RecWidth;
    m_OldHeight = RecorderOptions.RecHeight;
}

QString TMarkVideoWindow::RectText(int32_t top, int32_t left, int32_t width, int32_t height) {
    return QString("%1,%2,%3,%4").arg(top).arg(left).arg(width).arg(height);
}

Qt::Edges TMarkVideoWindow::EdgesAt(QPoint p) const {
    Qt::Edges edges;
    if (p.x() < SizingBand)
        edges |= Qt::LeftEdge;
    if (p.x() >= width() - SizingBand)
        edges |= Qt::RightEdge;
    if (p.y() < SizingBand)
        edges |= Qt::TopEdge;
    if (p.y() >= height() - SizingBand)
        edges |= Qt::BottomEdge;
    return edges;
}

void TMarkVideoWindow::mouseMoveEvent(QMouseEvent* event) {
    // The system's sizing cursors along the edges.
    const Qt::Edges e = EdgesAt(event->position().toPoint());
    Qt::CursorShape shape = Qt::SizeAllCursor;
    if ((e & Qt::LeftEdge && e & Qt::TopEdge) || (e & Qt::RightEdge && e & Qt::BottomEdge))
        shape = Qt::SizeFDiagCursor;
    else if ((e & Qt::RightEdge && e & Qt::TopEdge) || (e & Qt::LeftEdge && e & Qt::BottomEdge))
        shape = Qt::SizeBDiagCursor;
    else if (e & (Qt::LeftEdge | Qt::RightEdge))
        shape = Qt::SizeHorCursor;
    else if (e & (Qt::TopEdge | Qt::BottomEdge))
        shape = Qt::SizeVerCursor;
    setCursor(shape);
    QWidget::mouseMoveEvent(event);
}

void TMarkVideoWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    // A dark outline and the size in the middle, so the marked region reads at a glance.
    p.setPen(QPen(QColor(0x1b, 0x4c, 0x9a), 2));
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    p.setPen(QColor(0x1d, 0x2a, 0x3b));
    p.setFont(KvcFont(true));
    p.drawText(rect(), Qt::AlignCenter, QString("%1 x %2").arg(width()).arg(height()));
}

void TMarkVideoWindow::UpdateRect() {
    // A frameless window's client area is the whole window.
    const QRect g = geometry();
    RecorderOptions.RecTop = g.x();
    RecorderOptions.RecLeft = g.y();
    RecorderOptions.RecWidth = g.width();
    RecorderOptions.RecHeight = g.height();
    if (frmRururiVevaDedizir && frmRururiVevaDedizir->Infotext)
        frmRururiVevaDedizir->Infotext->setText(
            RectText(RecorderOptions.RecTop, RecorderOptions.RecLeft, RecorderOptions.RecWidth,
                     RecorderOptions.RecHeight));
}

void TMarkVideoWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (MarkWindowShown && isVisible() && !m_Showing)
        UpdateRect();
}

void TMarkVideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
    if (MarkWindowShown && isVisible() && !m_Showing)
        UpdateRect();
}

void TMarkVideoWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        m_Showing = true;
        m_ShownTop = RecorderOptions.RecTop;
        m_ShownLeft = RecorderOptions.RecLeft;
        m_ShownWidth = RecorderOptions.RecWidth;
        m_ShownHeight = RecorderOptions.RecHeight;
        m_ShownInfotext = frmRururiVevaDedizir && frmRururiVevaDedizir->Infotext
                              ? frmRururiVevaDedizir->Infotext->text()
                              : QString();
        if (!m_Placed) {
            // Centred in the work area the first time, wherever the stored rectangle lies.
            m_Placed = true;
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                QRect r(QPoint(0, 0), size());
                r.moveCenter(screen->availableGeometry().center());
                move(r.topLeft());
            }
        }
        m_Showing = false;
    }
    QWidget::showEvent(event);
}

void TMarkVideoWindow::ButtAcceptClick() {
    close();
}

void TMarkVideoWindow::ButtcancelClick() {
    RecorderOptions.RecTop = m_ShownTop;
    RecorderOptions.RecLeft = m_ShownLeft;
    RecorderOptions.RecWidth = m_ShownWidth;
    RecorderOptions.RecHeight = m_ShownHeight;
    if (frmRururiVevaDedizir && frmRururiVevaDedizir->Infotext)
        frmRururiVevaDedizir->Infotext->setText(m_ShownInfotext);
    close();
}

void TMarkVideoWindow::closeEvent(QCloseEvent* event) {
    MarkWindowShown = false;
    if (frmRururiVevaDedizir && frmRururiVevaDedizir->MarkWindowImage)
        frmRururiVevaDedizir->MarkWindowImage->setPicture("MarkWindow_1");
    event->accept();
}
