// Wave-in recording devices: the sound sources that the capture device records from, with the
// semantics of a classic wave-in layer (device numbers, an open with a callback, four rotating
// buffers, start, reset, close, error texts). The real layer is PulseAudio: the devices are its
// capture sources, monitors of outputs included, in the server's order; device WAVE_MAPPER is
// the default source. Tests and other components can put a fake layer in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Messages to the callback.
constexpr unsigned WIM_OPEN = 958;  // the device is open (sent from the capture thread)
constexpr unsigned WIM_CLOSE = 959; // the device closed: by close(), or by itself (server gone)
constexpr unsigned WIM_DATA = 960;  // a buffer is done: the header says how much it holds

// The device number of the default source.
constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFFu;
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// Header flags.
constexpr std::uint32_t WHDR_DONE = 0x1;
constexpr std::uint32_t WHDR_PREPARED = 0x2;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// Result codes: 0 is success, anything else a PulseAudio error code (PA_ERR_*); WaveInErrorText
// gives its text.
using TWaveResult = int;

struct TWaveFormat {
    std::uint16_t format_tag = WAVE_FORMAT_PCM;
    std::uint16_t channels = 0;
    std::uint32_t samples_per_sec = 0;
    std::uint32_t avg_bytes_per_sec = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0; // 8 (unsigned) or 16 (signed little-endian)
};

struct TWaveHdr {
    std::uint8_t* data = nullptr;
    std::uint32_t buffer_length = 0;
    std::uint32_t bytes_recorded = 0; // set when the buffer comes back with WIM_DATA
    std::uint32_t flags = 0;
    // Set with WIM_DATA: how long before the callback the last recorded byte was captured, as
    // the sound server reports it (its source latency and what is still buffered), in
    // microseconds.
    std::int64_t latency_us = 0;
    // Set with WIM_DATA by a layer with a time line of its own (the fake): the moment, on the
    // capture clock, at which the buffer was complete; 0 means "now".
    std::int64_t done_time_us = 0;
};

class IWaveIn;

// The callback: runs on the device's capture thread (never on the caller's thread, never after
// close() has returned). `hdr` is the returned buffer for WIM_DATA, null otherwise. It may call
// add_buffer() on the device.
using TWaveInProc = void (*)(IWaveIn* device, unsigned msg, void* instance, TWaveHdr* hdr);

// One open device. Not thread-safe except add_buffer(), which the callback calls.
class IWaveIn {
public:
    virtual ~IWaveIn() = default;
    virtual TWaveResult prepare_header(TWaveHdr* hdr) = 0;
    // Queues a prepared buffer; buffers are filled and returned in the order they were added.
    virtual TWaveResult add_buffer(TWaveHdr* hdr) = 0;
    // Starts recording into the queued buffers; before it the device records nothing.
    virtual TWaveResult start() = 0;
    // Stops recording and returns every queued buffer with WIM_DATA (with what it holds);
    // returns when they all came back.
    virtual TWaveResult reset() = 0;
    // Stops the capture thread after a last WIM_CLOSE and waits for it: no callback runs after
    // close() returns. The object may then only be destroyed.
    virtual TWaveResult close() = 0;
};

// The layer of devices (the PulseAudio one, or a fake).
class IWaveInSystem {
public:
    virtual ~IWaveInSystem() = default;
    // Number of devices; 0 when there is no sound server.
    virtual std::uint32_t num_devs() = 0;
    // 0 when `device` (a number below num_devs(), or WAVE_MAPPER) can record in `format`.
    virtual TWaveResult query(std::uint32_t device, const TWaveFormat& format) = 0;
    // Opens `device` for recording in `format`; on success *out is the open device, which has
    // sent (or is about to send) WIM_OPEN from its capture thread.
    virtual TWaveResult open(std::unique_ptr<IWaveIn>* out, std::uint32_t device,
                             const TWaveFormat& format, TWaveInProc callback, void* instance) = 0;
};

// The text for a result code (pa_strerror); never empty.
std::string WaveInErrorText(TWaveResult code);

// The PulseAudio layer (one process-wide instance).
IWaveInSystem& PulseWaveInSystem();

// The layer that capture devices opened from now on use; null restores PulseAudio. The layer
// must outlive every device opened through it.
void SetWaveInSystem(IWaveInSystem* system);
IWaveInSystem& WaveInSystem();

// Descriptions of PulseAudio's capture sources (monitors included) in the server's order, so
// that element k describes wave-in device k; a list that shows "default" in front of them has
// device n - 1 at entry n. A source without a description is listed by its name. Empty when
// there is no server; every step has a time-out of two seconds, so it never hangs.
std::vector<std::string> ListCaptureSourceDescriptions();
