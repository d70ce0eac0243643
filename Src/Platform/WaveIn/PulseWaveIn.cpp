// The wave-in layer over PulseAudio: one connection per device, a capture thread of the device's
// own running the connection's main loop, and the four-buffer protocol on top of the stream.
#include "WaveIn.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

#include <pulse/pulseaudio.h>

namespace {

constexpr std::int64_t kConnectTimeoutUs = 2000000;
constexpr int kLoopSliceUs = 100000;
// Short fragments keep the time between a buffer's last sample and its callback small.
constexpr pa_usec_t kFragmentUs = 20000;
const char kClientName[] = "Kestrovane Video Capture";

std::int64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Runs the loop until done() holds; false on time-out or when the loop fails.
template <class Pred> bool runUntil(pa_mainloop* loop, Pred done, std::int64_t timeout_us) {
    const std::int64_t deadline = monotonicUs() + timeout_us;
    while (!done()) {
        const std::int64_t left = deadline - monotonicUs();
        if (left <= 0)
            return false;
        if (pa_mainloop_prepare(loop, int(std::min<std::int64_t>(left, kLoopSliceUs))) < 0 ||
            pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

// A connection to the server with a main loop of its own.
class TPaConnection {
public:
    TPaConnection() = default;
    TPaConnection(const TPaConnection&) = delete;
    TPaConnection& operator=(const TPaConnection&) = delete;
    ~TPaConnection() {
        if (FContext) {
            pa_context_disconnect(FContext);
            pa_context_unref(FContext);
        }
        if (FLoop)
            pa_mainloop_free(FLoop);
    }

    // 0 or a PA_ERR_* code.
    int connect() {
        FLoop = pa_mainloop_new();
        if (!FLoop)
            return PA_ERR_INTERNAL;
        FContext = pa_context_new(pa_mainloop_get_api(FLoop), kClientName);
        if (!FContext)
            return PA_ERR_INTERNAL;
        if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return errorOr(PA_ERR_CONNECTIONREFUSED);
        bool ok = runUntil(
            FLoop,
            [this] {
                pa_context_state_t st = pa_context_get_state(FContext);
                return st == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(st);
            },
            kConnectTimeoutUs);
        if (!ok)
            return PA_ERR_TIMEOUT;
        if (pa_context_get_state(FContext) != PA_CONTEXT_READY)
            return errorOr(PA_ERR_CONNECTIONREFUSED);
        return 0;
    }

    int errorOr(int fallback) const {
        int e = FContext ? pa_context_errno(FContext) : 0;
        return e ? e : fallback;
    }

    // Names and descriptions of the capture sources in the server's order.
    int listSources(std::vector<std::pair<std::string, std::string>>* out) {
        struct TState {
            std::vector<std::pair<std::string, std::string>>* out;
            bool done = false;
            bool failed = false;
        } state{out};
        auto cb = [](pa_context*, const pa_source_info* info, int eol, void* user) {
            auto* st = static_cast<TState*>(user);
            if (eol) {
                st->failed = eol < 0;
                st->done = true;
                return;
            }
            std::string name = info->name ? info->name : "";
            std::string desc = info->description && *info->description ? info->description : name;
            st->out->emplace_back(std::move(name), std::move(desc));
        };
        pa_operation* op = pa_context_get_source_info_list(FContext, cb, &state);
        if (!op)
            return errorOr(PA_ERR_INTERNAL);
        bool ok = runUntil(
            FLoop, [&] { return state.done; }, kConnectTimeoutUs);
        if (!ok)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        if (!ok)
            return PA_ERR_TIMEOUT;
        return state.failed ? errorOr(PA_ERR_INTERNAL) : 0;
    }

    pa_mainloop* loop() const { return FLoop; }
    pa_context* context() const { return FContext; }

private:
    pa_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;
};

// The sample spec for a format, or PA_ERR_NOTSUPPORTED.
int specOf(const TWaveFormat& f, pa_sample_spec* ss) {
    if (f.format_tag != WAVE_FORMAT_PCM)
        return PA_ERR_NOTSUPPORTED;
    if (f.bits_per_sample == 8)
        ss->format = PA_SAMPLE_U8;
    else if (f.bits_per_sample == 16)
        ss->format = PA_SAMPLE_S16LE;
    else
        return PA_ERR_NOTSUPPORTED;
    ss->rate = f.samples_per_sec;
    ss->channels = std::uint8_t(std::min<unsigned>(f.channels, 255));
    if (f.channels > PA_CHANNELS_MAX || !pa_sample_spec_valid(ss))
        return PA_ERR_NOTSUPPORTED;
    if (f.block_align != pa_frame_size(ss))
        return PA_ERR_NOTSUPPORTED;
    return 0;
}

// The source name for a device number (empty for the default source), or an error.
int sourceName(TPaConnection& conn, std::uint32_t device, std::string* name) {
    name->clear();
    if (device == WAVE_MAPPER)
        return 0;
    std::vector<std::pair<std::string, std::string>> sources;
    if (int e = conn.listSources(&sources))
        return e;
    if (device >= sources.size())
        return PA_ERR_NOENTITY;
    *name = sources[device].first;
    return 0;
}

class TPulseWaveIn : public IWaveIn {
public:
    TPulseWaveIn(TWaveInProc callback, void* instance) : FCallback(callback), FInstance(instance) {}
    ~TPulseWaveIn() override {
        close();
        if (FStream) {
            pa_stream_disconnect(FStream);
            pa_stream_unref(FStream);
        }
    }

    int open(std::uint32_t device, const TWaveFormat& format) {
        if (int e = specOf(format, &FSpec))
            return e;
        if (int e = FConn.connect())
            return e;
        std::string name;
        if (int e = sourceName(FConn, device, &name))
            return e;
        FStream = pa_stream_new(FConn.context(), "Recording", &FSpec, nullptr);
        if (!FStream)
            return FConn.errorOr(PA_ERR_INTERNAL);
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = std::uint32_t(-1);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(pa_usec_to_bytes(kFragmentUs, &FSpec));
        pa_stream_set_read_callback(FStream, &TPulseWaveIn::onRead, this);
        const auto flags = pa_stream_flags_t(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(FStream, name.empty() ? nullptr : name.c_str(), &attr, flags) <
            0)
            return FConn.errorOr(PA_ERR_INTERNAL);
        bool ok = runUntil(
            FConn.loop(),
            [this] {
                pa_stream_state_t st = pa_stream_get_state(FStream);
                return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
            },
            kConnectTimeoutUs);
        if (!ok)
            return PA_ERR_TIMEOUT;
        if (pa_stream_get_state(FStream) != PA_STREAM_READY)
            return FConn.errorOr(PA_ERR_NOENTITY);
        FThread = std::thread(&TPulseWaveIn::run, this);
        return 0;
    }

    TWaveResult prepare_header(TWaveHdr* hdr) override {
        if (!hdr || !hdr->data || hdr->buffer_length == 0)
            return PA_ERR_INVALID;
        hdr->flags |= WHDR_PREPARED;
        return 0;
    }

    TWaveResult add_buffer(TWaveHdr* hdr) override {
        if (!hdr || !(hdr->flags & WHDR_PREPARED))
            return PA_ERR_INVALID;
        std::lock_guard lock(FLock);
        if (FEnded)
            return PA_ERR_BADSTATE;
        hdr->flags = (hdr->flags | WHDR_INQUEUE) & ~WHDR_DONE;
        hdr->bytes_recorded = 0;
        FQueue.push_back(hdr);
        return 0;
    }

    TWaveResult start() override {
        std::lock_guard lock(FLock);
        if (FEnded)
            return PA_ERR_BADSTATE;
        FRecording = true;
        return 0;
    }

    TWaveResult reset() override {
        std::unique_lock lock(FLock);
        FRecording = false;
        if (FEnded || !FThread.joinable()) {
            FQueue.clear();
            FFill = 0;
            return 0;
        }
        const unsigned ticket = ++FResetRequests;
        pa_mainloop_wakeup(FConn.loop());
        // The capture thread answers within one loop slice, or has ended.
        while (FResetDone < ticket && !FEnded)
            FChanged.wait_for(lock, std::chrono::milliseconds(100));
        return 0;
    }

    TWaveResult close() override {
        if (FThread.joinable()) {
            FStop.store(true);
            pa_mainloop_wakeup(FConn.loop());
            FThread.join();
        }
        return 0;
    }

private:
    // The capture thread: WIM_OPEN, then the main loop until close() or the server goes away,
    // then WIM_CLOSE.
    void run() {
        FCallback(this, WIM_OPEN, FInstance, nullptr);
        while (!FStop.load()) {
            serveReset();
            if (pa_mainloop_prepare(FConn.loop(), kLoopSliceUs) < 0 ||
                pa_mainloop_poll(FConn.loop()) < 0 || pa_mainloop_dispatch(FConn.loop()) < 0)
                break;
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(FConn.context())) ||
                !PA_STREAM_IS_GOOD(pa_stream_get_state(FStream)))
                break;
        }
        {
            std::lock_guard lock(FLock);
            FEnded = true;
            FRecording = false;
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
            if (!back.empty()) {
                back.front()->bytes_recorded = std::uint32_t(FFill);
            }
            FFill = 0;
        }
        for (TWaveHdr* hdr : back) {
            hdr->flags = (hdr->flags | WHDR_DONE) & ~WHDR_INQUEUE;
            hdr->latency_us = 0;
            hdr->done_time_us = 0;
            FCallback(this, WIM_DATA, FInstance, hdr);
        }
        {
            std::lock_guard lock(FLock);
            FResetDone = ticket;
        }
        FChanged.notify_all();
    }

    static void onRead(pa_stream* s, size_t, void* user) {
        auto* self = static_cast<TPulseWaveIn*>(user);
        const void* data = nullptr;
        size_t n = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
                return;
            self->consume(s, static_cast<const std::uint8_t*>(data), n);
            pa_stream_drop(s);
        }
    }

    // Copies one fragment into the queued buffers; a buffer that gets full goes back to the
    // callback. Without a queued buffer the sound is lost, as with any recorder that is not
    // read in time. A hole (data null) is recorded as silence.
    void consume(pa_stream* s, const std::uint8_t* data, size_t n) {
        size_t off = 0;
        while (off < n) {
            TWaveHdr* hdr = nullptr;
            size_t fill = 0;
            {
                std::lock_guard lock(FLock);
                if (!FRecording || FQueue.empty())
                    return;
                hdr = FQueue.front();
                fill = FFill;
            }
            const size_t take = std::min<size_t>(n - off, hdr->buffer_length - fill);
            if (data)
                std::memcpy(hdr->data + fill, data + off, take);
            else
                std::memset(hdr->data + fill, FSpec.format == PA_SAMPLE_U8 ? 0x80 : 0, take);
            off += take;
            fill += take;
            bool full = fill >= hdr->buffer_length;
            {
                std::lock_guard lock(FLock);
                FFill = full ? 0 : fill;
                if (full)
                    FQueue.pop_front();
            }
            if (!full)
                continue;
            // The stream's latency is the age of the first sample of the fragment being read;
            // the buffer's last sample is younger by what of the fragment it took.
            pa_usec_t latency = 0;
            int negative = 0;
            std::int64_t age = 0;
            if (pa_stream_get_latency(s, &latency, &negative) == 0 && !negative)
                age = std::int64_t(latency) - std::int64_t(pa_bytes_to_usec(off, &FSpec));
            hdr->latency_us = std::max<std::int64_t>(age, 0);
            hdr->done_time_us = 0;
            hdr->bytes_recorded = hdr->buffer_length;
            hdr->flags = (hdr->flags | WHDR_DONE) & ~WHDR_INQUEUE;
            FCallback(this, WIM_DATA, FInstance, hdr);
        }
    }

    TWaveInProc FCallback;
    void* FInstance;
    TPaConnection FConn;
    pa_sample_spec FSpec{};
    pa_stream* FStream = nullptr;
    std::thread FThread;
    std::atomic<bool> FStop{false};

    std::mutex FLock; // guards everything below
    std::condition_variable FChanged;
    std::deque<TWaveHdr*> FQueue;
    size_t FFill = 0; // bytes already in the front buffer
    bool FRecording = false;
    bool FEnded = false;
    unsigned FResetRequests = 0;
    unsigned FResetDone = 0;
};

class TPulseWaveInSystem : public IWaveInSystem {
public:
    std::uint32_t num_devs() override {
        TPaConnection conn;
        std::vector<std::pair<std::string, std::string>> sources;
        if (conn.connect() || conn.listSources(&sources))
            return 0;
        return std::uint32_t(sources.size());
    }

    TWaveResult query(std::uint32_t device, const TWaveFormat& format) override {
        pa_sample_spec ss{};
        if (int e = specOf(format, &ss))
            return e;
        TPaConnection conn;
        if (int e = conn.connect())
            return e;
        std::string name;
        return sourceName(conn, device, &name);
    }

    TWaveResult open(std::unique_ptr<IWaveIn>* out, std::uint32_t device, const TWaveFormat& format,
                     TWaveInProc callback, void* instance) override {
        out->reset();
        if (!callback)
            return PA_ERR_INVALID;
        auto dev = std::make_unique<TPulseWaveIn>(callback, instance);
        if (int e = dev->open(device, format))
            return e;
        *out = std::move(dev);
        return 0;
    }
};

std::atomic<IWaveInSystem*> g_waveInSystem{nullptr};

} // namespace

std::string WaveInErrorText(TWaveResult code) {
    const char* text = pa_strerror(code);
    if (text && *text)
        return text;
    return "Unknown error " + std::to_string(code);
}

IWaveInSystem& PulseWaveInSystem() {
    static TPulseWaveInSystem system;
    return system;
}

void SetWaveInSystem(IWaveInSystem* system) {
    g_waveInSystem.store(system, std::memory_order_release);
}

IWaveInSystem& WaveInSystem() {
    IWaveInSystem* system = g_waveInSystem.load(std::memory_order_acquire);
    return system ? *system : PulseWaveInSystem();
}

std::vector<std::string> ListCaptureSourceDescriptions() {
    std::vector<std::string> result;
    TPaConnection conn;
    std::vector<std::pair<std::string, std::string>> sources;
    if (conn.connect() || conn.listSources(&sources))
        return result;
    for (auto& [name, desc] : sources)
        result.push_back(std::move(desc));
    return result;
}
