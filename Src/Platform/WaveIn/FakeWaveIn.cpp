#include "FakeWaveIn.h"

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr std::int64_t kPollUs = 2000;

class TFakeWaveIn : public IWaveIn {
public:
    TFakeWaveIn(TFakeWaveInSystem* owner, const TWaveFormat& format, TWaveInProc callback,
                void* instance)
        : FOwner(owner), FConfig(owner->config), FFormat(format), FCallback(callback),
          FInstance(instance), FClock(owner->config.clock ? owner->config.clock : &CaptureClock()) {
        ++FOwner->alive;
        FThread = std::thread(&TFakeWaveIn::run, this);
    }
    ~TFakeWaveIn() override {
        close();
        --FOwner->alive;
    }

    TWaveResult prepare_header(TWaveHdr* hdr) override {
        if (FConfig.prepare_error)
            return FConfig.prepare_error;
        hdr->flags |= WHDR_PREPARED;
        return 0;
    }
    TWaveResult add_buffer(TWaveHdr* hdr) override {
        std::lock_guard lock(FLock);
        if (FConfig.add_buffers_before_failure >= 0 && FAdded >= FConfig.add_buffers_before_failure)
            return FConfig.add_buffer_error;
        ++FAdded;
        hdr->flags = (hdr->flags | WHDR_INQUEUE) & ~WHDR_DONE;
        hdr->bytes_recorded = 0;
        FQueue.push_back(hdr);
        return 0;
    }
    TWaveResult start() override {
        if (FConfig.start_error)
            return FConfig.start_error;
        std::lock_guard lock(FLock);
        FStarted = true;
        return 0;
    }
    TWaveResult reset() override {
        std::unique_lock lock(FLock);
        FStarted = false;
        const unsigned ticket = ++FResetRequests;
        while (FResetDone < ticket && !FEnded)
            FChanged.wait_for(lock, std::chrono::milliseconds(20));
        return 0;
    }
    TWaveResult close() override {
        FStop.store(true);
        if (FThread.joinable())
            FThread.join();
        return 0;
    }

private:
    void run() {
        FCallback(this, WIM_OPEN, FInstance, nullptr);
        const double rate = double(FFormat.samples_per_sec) * FConfig.rate_ratio;
        std::int64_t t0 = 0;
        std::int64_t frames = 0; // sample frames produced since t0
        int delivered = 0;
        while (!FStop.load()) {
            serveReset();
            TWaveHdr* hdr = nullptr;
            {
                std::lock_guard lock(FLock);
                if (FStarted && !FQueue.empty())
                    hdr = FQueue.front();
            }
            if (!hdr) {
                FClock->sleep(kPollUs);
                t0 = 0; // recording stopped or starved: the schedule starts again
                continue;
            }
            if (t0 == 0) {
                t0 = FClock->now();
                frames = 0;
            }
            const std::int64_t block = FFormat.block_align ? FFormat.block_align : 1;
            const std::int64_t n = hdr->buffer_length / block;
            const std::int64_t due = t0 + std::int64_t(double(frames + n) * 1e6 / rate);
            std::int64_t now = FClock->now();
            while (now < due && !FStop.load()) {
                FClock->sleep(std::min<std::int64_t>(due - now, kPollUs));
                now = FClock->now();
            }
            if (FStop.load())
                break;
            fill(hdr->data, n, frames);
            frames += n;
            {
                std::lock_guard lock(FLock);
                if (FQueue.empty() || FQueue.front() != hdr)
                    continue; // a reset took it meanwhile
                FQueue.pop_front();
            }
            hdr->bytes_recorded = std::uint32_t(n * block);
            hdr->latency_us = FConfig.latency_us;
            hdr->done_time_us = due;
            hdr->flags = (hdr->flags | WHDR_DONE) & ~WHDR_INQUEUE;
            ++FOwner->delivered;
            FCallback(this, WIM_DATA, FInstance, hdr);
            if (FConfig.buffers_before_close >= 0 && ++delivered >= FConfig.buffers_before_close)
                break;
        }
        {
            std::lock_guard lock(FLock);
            FEnded = true;
            FQueue.clear();
        }
        FChanged.notify_all();
        FCallback(this, WIM_CLOSE, FInstance, nullptr);
    }

    void serveReset() {
        std::deque<TWaveHdr*> back;
        unsigned ticket;
        {
            std::lock_guard lock(FLock);
            ticket = FResetRequests;
            if (FResetDone == ticket)
                return;
            back.swap(FQueue);
        }
        for (TWaveHdr* hdr : back) {
            hdr->bytes_recorded = 0;
            hdr->flags = (hdr->flags | WHDR_DONE) & ~WHDR_INQUEUE;
            FCallback(this, WIM_DATA, FInstance, hdr);
        }
        {
            std::lock_guard lock(FLock);
            FResetDone = ticket;
        }
        FChanged.notify_all();
    }

    void fill(std::uint8_t* data, std::int64_t n, std::int64_t first) {
        const int ch = FFormat.channels ? FFormat.channels : 1;
        for (std::int64_t i = 0; i < n; ++i) {
            const double v =
                FConfig.amplitude * std::sin(2 * M_PI * FConfig.frequency * double(first + i) /
                                             double(FFormat.samples_per_sec));
            for (int c = 0; c < ch; ++c) {
                if (FFormat.bits_per_sample == 8) {
                    *data++ = std::uint8_t(128 + std::lround(v * 127));
                } else {
                    const auto s = std::int16_t(std::lround(v * 32767));
                    *data++ = std::uint8_t(s & 0xff);
                    *data++ = std::uint8_t((s >> 8) & 0xff);
                }
            }
        }
    }

    TFakeWaveInSystem* FOwner;
    TFakeWaveInConfig FConfig;
    TWaveFormat FFormat;
    TWaveInProc FCallback;
    void* FInstance;
    IClock* FClock;
    std::thread FThread;
    std::atomic<bool> FStop{false};

    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TWaveHdr*> FQueue;
    int FAdded = 0;
    bool FStarted = false;
    bool FEnded = false;
    unsigned FResetRequests = 0;
    unsigned FResetDone = 0;
};

} // namespace

TWaveResult TFakeWaveInSystem::query(std::uint32_t device, const TWaveFormat& format) {
    if (device != WAVE_MAPPER && device >= config.devices)
        return 5; // PA_ERR_NOENTITY
    if (format.bits_per_sample != 8 && format.bits_per_sample != 16)
        return 19; // PA_ERR_NOTSUPPORTED
    return config.query_error;
}

TWaveResult TFakeWaveInSystem::open(std::unique_ptr<IWaveIn>* out, std::uint32_t device,
                                    const TWaveFormat& format, TWaveInProc callback,
                                    void* instance) {
    out->reset();
    if (config.open_error)
        return config.open_error;
    if (device != WAVE_MAPPER && device >= config.devices)
        return 5;
    last_device = device;
    ++opened;
    *out = std::make_unique<TFakeWaveIn>(this, format, callback, instance);
    return 0;
}
