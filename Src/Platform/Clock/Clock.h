// The one clock of the capture device: microseconds on a monotonic time line, and a sleep on
// the same line. Pacing and timestamps go through it so that tests can run them on a fake clock.
#pragma once

#include <atomic>
#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // Microseconds on a monotonic time line; never 0 for the real clock.
    virtual std::int64_t now() = 0;
    // Sleeps about `us` microseconds (returns at once for 0 or less).
    virtual void sleep(std::int64_t us) = 0;
};

// The real clock: av_gettime_relative (CLOCK_MONOTONIC) and a nanosleep.
IClock& RealClock();

// The clock that a capture device opened from now on uses; null restores the real clock.
// The clock must outlive every device opened with it.
void SetCaptureClock(IClock* clock);
IClock& CaptureClock();

// A clock for tests: time moves only when someone sleeps on it or calls advance(). Each sleep
// adds its length to the time at once (and yields the processor for a moment, so that a thread
// polling it does not starve the others). Thread-safe.
class TFakeClock : public IClock {
public:
    explicit TFakeClock(std::int64_t start_us = 1000000) : FNow(start_us) {}
    std::int64_t now() override { return FNow.load(std::memory_order_acquire); }
    void sleep(std::int64_t us) override;
    void advance(std::int64_t us) { FNow.fetch_add(us, std::memory_order_acq_rel); }
    // Real microseconds each sleep waits besides moving the fake time (default 50).
    void set_real_sleep(std::int64_t us) { FRealSleep.store(us, std::memory_order_relaxed); }

private:
    std::atomic<std::int64_t> FNow;
    std::atomic<std::int64_t> FRealSleep{50};
};
