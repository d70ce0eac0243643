// The capture device "gdicapture": an input format that grabs a rectangle of the X screen (or of
// one window) on a grab thread of its own, paced to a frame rate, and the sound of a wave-in
// device, and hands both out as raw video and PCM packets with timestamps in microseconds.
//
// Opening: register_gdicapture() enters the descriptor into the application's table of input
// formats; callers open it with OpenAppInput(FindAppInputFormat("gdicapture"), url, ...), read
// with the descriptor's read_packet and close with CloseAppInput.
//
// URL: "video=" X window id (0 or empty = the whole screen) and/or "audio=" wave-in device
// number (-1 or empty = the default source), in either order, joined by ':'.
//
// Packets: read_packet moves a packet into the caller's AVPacket (av_packet_move_ref); from then
// on the caller owns it and unrefs it. Video packets are stream screen_st_idx, raw frames of
// width x height in pix_fmt with rows of width x bytes per pixel, top row first; audio packets
// are stream wave_st_idx, interleaved PCM. pts is microseconds since time_start (time base
// 1/1000000): a video frame is stamped when it is grabbed, an audio packet with the time of its
// first sample (so the very first audio packet may have a pts slightly below 0).
//
// Threads: read_header runs on the GUI thread (it creates the frame window); read_packet and
// read_close on the reader's thread; the grab thread and the wave-in capture thread produce.
// The queue (pktl, curbufsize) is guarded by *mutex; *event is notified, and event_set set,
// with *mutex held whenever a packet is appended. Started, Stoped, error and time_start are read
// and written through gdi_load / gdi_store (atomic) by every thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "Clock.h"
#include "FrameWindowSeam.h"
#include "WaveIn.h"

struct AVFormatContext;
struct TAppInputFormat;
class IScreenSource;
class TScreenThread;

// Capture flags ("capture_flags" and its constants).
constexpr int GDI_FLAG_SHOWFRAME = 1;
constexpr int GDI_FLAG_CLIENT = 2;
constexpr int GDI_FLAG_CURSOR = 4;

// A node of the packet queue; the node owns its packet.
struct TGdiPacketNode {
    AVPacket* pkt;
    TGdiPacketNode* next;
};

// The private record. libavformat's way: allocated zero-filled with the class pointer first,
// option defaults and the caller's options applied before read_header; freed after read_close.
// Everything here is plain data, so a zero-filled record is a valid starting state.
struct Tgdi_capture {
    const AVClass* class_;
    std::int32_t Started;    // 0 until the first read_packet, then 1 (atomic)
    std::int64_t time_start; // capture clock (us) of the first frame or first kept audio (atomic)
    std::int32_t Stoped;     // 1 once the device stopped: teardown, fatal error, device closed
    std::int32_t error;      // AVERROR that stopped the device, 0 if none (atomic)
    std::int64_t Paused;     // "pause_pointer": address of a std::atomic<int32_t>, or 0
    std::mutex* mutex;       // guards pktl, curbufsize, event_set
    std::condition_variable* event; // notified with mutex held whenever event_set is set
    int event_set;                  // the manual-reset event's state (under mutex)
    int screen;                     // 1 when the URL names a video source
    int screen_st_idx;
    std::uint64_t window_handle; // X window id; 0 = the root window
    IScreenSource* source_hdc;   // the open screen source: X connection, window, grab image
    AVRational requested_framerate;
    std::int64_t time_frame; // the grab thread's pacing counter: next due time x frame rate
    int x_off, y_off;
    int cursor; // 1 = draw the cursor into each frame
    int bmp_size;
    int width, height;
    int bpp;
    int client;
    int capture_flags;
    char* capture_offset;
    char* video_size;
    int requested_width, requested_height;
    char* framerate_str;
    enum AVPixelFormat pix_fmt;
    int show_frame;
    IFrameWindow* FrameForm;
    // The window's share of the device: its flags outlive the record (the teardown clears
    // device_open before it releases the window).
    std::shared_ptr<TFrameWindowState>* FrameState;
    TScreenThread* ScreenThread;
    std::int64_t curbufsize; // payload bytes in the queue, video and audio (under mutex)
    std::uint32_t video_frame_num;
    int wave;
    int wave_st_idx;
    std::uint32_t device; // wave-in device number; WAVE_MAPPER = the default source
    int sample_rate, channels;
    int sample_format; // bits per sample, 8 or 16
    enum AVSampleFormat sample_fmt;
    enum AVCodecID wave_codec_id;
    int wave_bufsize;
    TWaveFormat WaveFormat;
    IWaveIn* WaveHandle; // the device to hand buffers to; cleared when it closed by itself
    IWaveIn* WaveDevice; // the open device, owned: closed and deleted by the teardown
    TWaveHdr _WaveHdr[4];
    TWaveHdr* WaveHdr[4];
    std::uint8_t* WaveBuf[4];
    int WaveBufIdx;
    char* sample_fmt_str;
    TGdiPacketNode* pktl;      // head of the queue (under mutex)
    TGdiPacketNode* pktl_tail; // its last node, where producers append (under mutex)
    AVFormatContext* s;
    IClock* clock; // the capture clock, taken at read_header

    // Diagnostics for benchmarks and tests (written by the grab thread, atomic).
    std::int64_t grab_cpu_ns;      // CPU time the grab thread spent on delivered frames
    std::int64_t frames_delivered; // frames queued
    std::int64_t frames_lost;      // frame slots skipped ("We lost ...")
    std::int64_t frames_dropped;   // frames dropped by the real-time buffer check
};

// Atomic access to the fields shared between threads.
inline std::int32_t gdi_load(std::int32_t& v) {
    return std::atomic_ref<std::int32_t>(v).load(std::memory_order_acquire);
}
inline std::int64_t gdi_load(std::int64_t& v) {
    return std::atomic_ref<std::int64_t>(v).load(std::memory_order_acquire);
}
inline void gdi_store(std::int32_t& v, std::int32_t x) {
    std::atomic_ref<std::int32_t>(v).store(x, std::memory_order_release);
}
inline void gdi_store(std::int64_t& v, std::int64_t x) {
    std::atomic_ref<std::int64_t>(v).store(x, std::memory_order_release);
}

// True when the caller's pause flag is set.
bool gdi_is_paused(Tgdi_capture* ctx);
// Stops the device from a producer: sets error (when non-zero) and Stoped and wakes the
// reader. Call without *mutex held.
void gdi_stop(Tgdi_capture* ctx, int error);
// Appends a packet node at the tail, counts its bytes and sets the event; *mutex must be held.
void gdi_append_packet(Tgdi_capture* ctx, TGdiPacketNode* node);

// Enters the descriptor into the application's input formats; a second call adds nothing.
void register_gdicapture();
// The descriptor ("gdicapture", AVFMT_NOFILE, the "ScreenCaptureFormat" class).
extern const TAppInputFormat gdicapture_format;
extern const AVClass gdi_class;

// The descriptor's entries. All return 0 (read_packet: the packet size) or a negative AVERROR.
// read_header: parses the URL and options, opens the screen source (starting the grab thread,
// which waits for Started) and the wave-in device; on failure releases everything it made.
int gdi_read_header(AVFormatContext* s);
// Sets Started on the first call. Returns the size of the packet moved into *pkt; AVERROR(EAGAIN)
// when nothing is queued (at once with AVFMT_FLAG_NONBLOCK, else after waiting up to one
// second); once the device stopped, `error` when it is negative, else AVERROR_EOF (packets still
// queued are then not delivered). Call without holding *mutex.
int gdi_read_packet(AVFormatContext* s, AVPacket* pkt);
// The teardown; returns 0.
int gdi_read_close(AVFormatContext* s);
// The teardown: stops and joins the grab thread, closes the wave-in device (no callback runs
// after it), releases the screen source and the frame window, frees buffers and queued
// packets. Safe on every partial state of read_header and safe twice. Call without *mutex held.
void gdi_free_resources(AVFormatContext* s);

// Parsing (read_header's steps; each logs its own errors and returns 0 or AVERROR(EINVAL)).
int gdi_parse_url(AVFormatContext* s);
int gdi_parse_video_options(AVFormatContext* s);
int gdi_parse_audio_options(AVFormatContext* s);

// Video side: the source, its size and pixel format, the grab thread; then the stream and the
// frame window. 0, AVERROR(EIO) or AVERROR(ENOMEM).
int gdi_open_screen(AVFormatContext* s);
int gdi_add_video_stream(AVFormatContext* s);
// The real-time buffer check for one grabbed frame; *mutex must be held. True = drop it.
bool gdi_should_drop_frame(AVFormatContext* s);

// Audio side. gdi_open_wave: true when the device records (read_header turns false into
// AVERROR(EIO)). gdi_queue_wave_buffer hands buffer WaveBufIdx to the device (true on success).
bool gdi_open_wave(Tgdi_capture* ctx);
int gdi_add_audio_stream(AVFormatContext* s);
bool gdi_queue_wave_buffer(Tgdi_capture* ctx);
// The wave-in callback (instance = the record); runs on the capture thread, takes *mutex only
// to append one packet.
void gdi_wave_callback(IWaveIn* device, unsigned msg, void* instance, TWaveHdr* hdr);
std::string gdi_wave_error_text(TWaveResult code);

// The grab thread. Created running by gdi_open_screen; waits for Started, then paces, grabs,
// draws the cursor and queues frames until terminate() or Stoped. Its owner (the teardown)
// calls terminate() and then deletes it, which joins it.
class TScreenThread {
public:
    explicit TScreenThread(AVFormatContext* s);
    ~TScreenThread(); // requests termination and joins
    TScreenThread(const TScreenThread&) = delete;
    TScreenThread& operator=(const TScreenThread&) = delete;
    void terminate() { FTerminated.store(true, std::memory_order_release); }
    bool terminated() const { return FTerminated.load(std::memory_order_acquire); }

private:
    void Execute();
    void DrawCursor();
    bool queueFrame(std::int64_t pts); // false = the thread must end

    Tgdi_capture* ctx;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};
