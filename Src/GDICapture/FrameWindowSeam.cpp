#include "FrameWindowSeam.h"

#include "ScreenSource.h"

namespace {
std::atomic<IFrameWindowFactory*> g_factory{nullptr};
}

void SetFrameWindowFactory(IFrameWindowFactory* factory) {
    g_factory.store(factory, std::memory_order_release);
}

IFrameWindowFactory* FrameWindowFactory() {
    return g_factory.load(std::memory_order_acquire);
}

bool gdi_frame_origin(const TFrameWindowInfo& info, int border, int* x, int* y) {
    int ox = 0, oy = 0;
    if (info.window_handle != 0 &&
        !QueryWindowOrigin(info.window_handle, info.client != 0, &ox, &oy))
        return false;
    *x = ox + info.x_off - border;
    *y = oy + info.y_off - border;
    return true;
}
