#include "FrameForm.h"

#include <QPainter>
#include <QRegion>

const QColor FrameColors[2] = {QColor(255, 0, 0), QColor(0, 0, 255)};
std::uint8_t FrameColorIndex = 1;

TFrameForm::TFrameForm(const TFrameWindowInfo& info, std::shared_ptr<TFrameWindowState> state)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                           Qt::X11BypassWindowManagerHint),
      FInfo(info), FState(std::move(state)), FColor(FrameColors[0]) {
    setObjectName("FrameForm");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);

    const int w = FInfo.width + 2 * FBorder;
    const int h = FInfo.height + 2 * FBorder;
    int x = FInfo.x_off - FBorder, y = FInfo.y_off - FBorder;
    gdi_frame_origin(FInfo, FBorder, &x, &y);
    setGeometry(x, y, w, h);
    // Visible only on the ring; the captured rectangle shows through the hole.
    setMask(QRegion(0, 0, w, h).subtracted(QRegion(FBorder, FBorder, FInfo.width, FInfo.height)));
    show();

    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TFrameForm::Tick);
    FTimer.start(TickMs);
}

TFrameForm::~TFrameForm() = default;

void TFrameForm::release() {
    // Safe from any thread: the deletion is queued to the window's thread.
    QMetaObject::invokeMethod(this, &QObject::deleteLater, Qt::QueuedConnection);
}

void TFrameForm::Tick() {
    if (FState && !FState->device_open.load()) {
        // The device has gone; the release is on its way.
        FTimer.stop();
        hide();
        return;
    }
    if (++FCounter >= TicksPerFlash) {
        Flash();
        FCounter = 0;
    }
    AdjustPosition();
}

void TFrameForm::AdjustPosition() {
    if (FLock)
        return;
    FLock = true;
    int x = 0, y = 0;
    // A captured window that no longer exists leaves the frame where it last was.
    if (gdi_frame_origin(FInfo, FBorder, &x, &y) && (x != this->x() || y != this->y()))
        move(x, y);
    raise();
    FLock = false;
}

void TFrameForm::Flash() {
    if (FState && FState->started.load()) {
        FColor = FrameColors[FrameColorIndex];
        FrameColorIndex ^= 1;
        update();
    }
    raise();
}

void TFrameForm::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), FColor);
}

namespace {

class TFrameFormFactory : public IFrameWindowFactory {
public:
    IFrameWindow* create(const TFrameWindowInfo& info,
                         std::shared_ptr<TFrameWindowState> state) override {
        return new TFrameForm(info, std::move(state));
    }
};

} // namespace

IFrameWindowFactory* FrameFormFactory() {
    static TFrameFormFactory factory;
    return &factory;
}
