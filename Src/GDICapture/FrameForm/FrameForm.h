// The frame window around the captured rectangle: a 2-pixel ring just outside it, so that it is
// never part of the recording, above every other window, following a captured window as it
// moves, red until capturing has started and then flashing blue and red about twice a second.
// The capture device creates it through the frame-window factory and releases it from its
// teardown; everything else happens on the GUI thread, driven by a timer.
#pragma once

#include "FrameWindowSeam.h"

#include <QColor>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

// Red, then blue.
extern const QColor FrameColors[2];
// The index into FrameColors of the next flash colour: 1 at program start, so the first
// recording of a run flashes blue first; not reset between recordings.
extern std::uint8_t FrameColorIndex;

class TFrameForm : public QWidget, public IFrameWindow {
    Q_OBJECT
public:
    // Builds and shows the frame. Call on the GUI thread.
    TFrameForm(const TFrameWindowInfo& info, std::shared_ptr<TFrameWindowState> state);
    ~TFrameForm() override;

    // Any thread: the window is destroyed later on the GUI thread.
    void release() override;

    // Moves the frame to the captured rectangle's place and keeps it on top.
    void AdjustPosition();
    // Once capturing has started: the next colour of FrameColors.
    void Flash();

    QColor Color() const { return FColor; }

    static constexpr int FBorder = 2;
    // Ticks of the position timer and how many of them make one flash.
    static constexpr int TickMs = 10;
    static constexpr int TicksPerFlash = 50;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Tick();

    TFrameWindowInfo FInfo;
    std::shared_ptr<TFrameWindowState> FState;
    QTimer FTimer;
    QColor FColor;
    int FCounter = 0;
    bool FLock = false;
};

// The factory that start-up registers with SetFrameWindowFactory.
IFrameWindowFactory* FrameFormFactory();
