#include "Clock.h"

#include <chrono>
#include <thread>

extern "C" {
#include <libavutil/time.h>
}

namespace {

class TRealClock : public IClock {
public:
    std::int64_t now() override { return av_gettime_relative(); }
    void sleep(std::int64_t us) override {
        if (us > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
};

std::atomic<IClock*> g_captureClock{nullptr};

} // namespace

IClock& RealClock() {
    static TRealClock clock;
    return clock;
}

void SetCaptureClock(IClock* clock) {
    g_captureClock.store(clock, std::memory_order_release);
}

IClock& CaptureClock() {
    IClock* clock = g_captureClock.load(std::memory_order_acquire);
    return clock ? *clock : RealClock();
}

void TFakeClock::sleep(std::int64_t us) {
    if (us > 0)
        advance(us);
    std::int64_t real = FRealSleep.load(std::memory_order_relaxed);
    if (real > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(real));
    else
        std::this_thread::yield();
}
