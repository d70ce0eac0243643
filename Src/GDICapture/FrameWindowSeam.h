// The seam between the capture device and the capture-area frame window that the user
// interface provides. The device creates the window on the GUI thread (inside read_header) and
// releases it from its teardown, which may run on any thread; the window's destruction is then
// deferred to the GUI thread. The window never reads the device's record: it gets its own copy
// of what it needs and a shared state whose flags the device sets.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

struct TFrameWindowInfo {
    std::uint64_t window_handle = 0; // X window id; 0 = the whole screen (root window)
    int client = 0;                  // 1 = the window itself, 0 = its window-manager frame
    int x_off = 0;
    int y_off = 0;
    int width = 0;
    int height = 0;
};

// Written by the device, read by the window from the GUI thread.
struct TFrameWindowState {
    std::atomic<int> started{0};         // mirrors the device's Started
    std::atomic<bool> device_open{true}; // cleared by the teardown before release()
};

class IFrameWindow {
public:
    virtual ~IFrameWindow() = default;
    // Asks the window to go away; callable from any thread, returns at once. The window object
    // must not be used by the caller afterwards.
    virtual void release() = 0;
};

class IFrameWindowFactory {
public:
    virtual ~IFrameWindowFactory() = default;
    // Called on the GUI thread; returns the shown window, or null when none could be made.
    virtual IFrameWindow* create(const TFrameWindowInfo& info,
                                 std::shared_ptr<TFrameWindowState> state) = 0;
};

// The factory the device uses; null (the default) means no frame window is shown.
void SetFrameWindowFactory(IFrameWindowFactory* factory);
IFrameWindowFactory* FrameWindowFactory();

// Screen position of the frame's top-left corner: for the whole screen (x_off - border,
// y_off - border); for a window, its origin (the window itself for client, else its frame)
// plus the offset, minus border. Returns false when the window's position cannot be read.
bool gdi_frame_origin(const TFrameWindowInfo& info, int border, int* x, int* y);
