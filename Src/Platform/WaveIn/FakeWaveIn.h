// A wave-in layer for tests: devices that record a sine on a thread of their own, paced on a
// clock, with explicit completion times, a sample clock that may run fast or slow against the
// capture clock, and failures on request.
#pragma once

#include <atomic>
#include <cstdint>

#include "Clock.h"
#include "WaveIn.h"

struct TFakeWaveInConfig {
    std::uint32_t devices = 2;
    TWaveResult query_error = 0;
    TWaveResult open_error = 0;
    TWaveResult prepare_error = 0;
    TWaveResult start_error = 0;
    int add_buffers_before_failure = -1; // -1 = add_buffer never fails
    TWaveResult add_buffer_error = 3;    // PA_ERR_INVALID
    int buffers_before_close = -1;       // the device closes by itself after this many buffers
    // The device's sample clock against the capture clock: 1.001 delivers 0.1 % more samples
    // per second of the capture clock than the format says.
    double rate_ratio = 1.0;
    std::int64_t latency_us = 0; // reported with every buffer
    IClock* clock = nullptr;     // null = the capture clock
    double frequency = 440.0;
    double amplitude = 0.5; // of full scale
};

class TFakeWaveInSystem : public IWaveInSystem {
public:
    TFakeWaveInConfig config;

    std::uint32_t num_devs() override { return config.devices; }
    TWaveResult query(std::uint32_t device, const TWaveFormat& format) override;
    TWaveResult open(std::unique_ptr<IWaveIn>* out, std::uint32_t device, const TWaveFormat& format,
                     TWaveInProc callback, void* instance) override;

    // Devices opened and not yet destroyed; buffers delivered with WIM_DATA in all.
    std::atomic<int> alive{0};
    std::atomic<int> opened{0};
    std::atomic<int> delivered{0};
    std::atomic<std::uint32_t> last_device{0};
};
