// The descriptor, its options, the URL and option parsing, read_header, and the packet queue
// with read_packet, read_close and the teardown.
#include "GDICapture.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "AppInputFormat.h"
#include "ScreenSource.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/mem.h>
#include <libavutil/parseutils.h>
}

#define OFFSET(x) offsetof(Tgdi_capture, x)
#define DEC AV_OPT_FLAG_DECODING_PARAM

static const AVOption gdi_options[] = {
    {"video_size",
     "A string describing frame size, such as 640x480 or hd720.",
     OFFSET(video_size),
     AV_OPT_TYPE_STRING,
     {.str = nullptr},
     0,
     0,
     DEC,
     nullptr},
    {"framerate",
     "",
     OFFSET(framerate_str),
     AV_OPT_TYPE_STRING,
     {.str = "ntsc"},
     0,
     0,
     DEC,
     nullptr},
    {"capture_offset",
     "%d,%d: offset on x and y against the final source window",
     OFFSET(capture_offset),
     AV_OPT_TYPE_STRING,
     {.str = nullptr},
     0,
     0,
     DEC,
     nullptr},
    {"capture_flags",
     "",
     OFFSET(capture_flags),
     AV_OPT_TYPE_FLAGS,
     {.i64 = 7},
     INT_MIN,
     INT_MAX,
     DEC,
     "capture_flags"},
    {"showframe",
     "show frame",
     0,
     AV_OPT_TYPE_CONST,
     {.i64 = GDI_FLAG_SHOWFRAME},
     INT_MIN,
     INT_MAX,
     DEC,
     "capture_flags"},
    {"client",
     "capture client dc instead of window dc",
     0,
     AV_OPT_TYPE_CONST,
     {.i64 = GDI_FLAG_CLIENT},
     INT_MIN,
     INT_MAX,
     DEC,
     "capture_flags"},
    {"cursor",
     "capture cursor",
     0,
     AV_OPT_TYPE_CONST,
     {.i64 = GDI_FLAG_CURSOR},
     INT_MIN,
     INT_MAX,
     DEC,
     "capture_flags"},
    {"sample_rate",
     "set audio sampling rate (in Hz)",
     OFFSET(sample_rate),
     AV_OPT_TYPE_INT,
     {.i64 = 44100},
     0,
     INT_MAX,
     DEC,
     nullptr},
    {"channels",
     "set number of audio channels",
     OFFSET(channels),
     AV_OPT_TYPE_INT,
     {.i64 = 2},
     0,
     INT_MAX,
     DEC,
     nullptr},
    {"sample_fmt",
     "set sample format",
     OFFSET(sample_fmt_str),
     AV_OPT_TYPE_STRING,
     {.str = "s16"},
     0,
     0,
     DEC,
     nullptr},
    {"wavebufsize",
     "waveIn buffer size",
     OFFSET(wave_bufsize),
     AV_OPT_TYPE_INT,
     {.i64 = 65536},
     0,
     INT_MAX,
     DEC,
     nullptr},
    // An address, so 64 bits wide.
    {"pause_pointer",
     "integer value of pause flag pointer",
     OFFSET(Paused),
     AV_OPT_TYPE_INT64,
     {.i64 = 0},
     double(INT64_MIN),
     double(INT64_MAX),
     DEC,
     nullptr},
    {nullptr, nullptr, 0, AVOptionType(0), {.i64 = 0}, 0, 0, 0, nullptr},
};

static AVClass makeClass() {
    AVClass c{};
    c.class_name = "ScreenCaptureFormat";
    c.item_name = av_default_item_name;
    c.option = gdi_options;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}

const AVClass gdi_class = makeClass();

const TAppInputFormat gdicapture_format = {
    "gdicapture",         "GDI(Screen/Wave) capture",
    AVFMT_NOFILE,         &gdi_class,
    sizeof(Tgdi_capture), gdi_read_header,
    gdi_read_packet,      gdi_read_close,
};

void register_gdicapture() {
    RegisterAppInputFormat(&gdicapture_format);
}

bool gdi_is_paused(Tgdi_capture* ctx) {
    if (!ctx->Paused)
        return false;
    auto* flag =
        reinterpret_cast<std::atomic<std::int32_t>*>(static_cast<std::intptr_t>(ctx->Paused));
    return flag->load(std::memory_order_acquire) != 0;
}

void gdi_stop(Tgdi_capture* ctx, int error) {
    if (error)
        gdi_store(ctx->error, error);
    gdi_store(ctx->Stoped, 1);
    if (ctx->mutex && ctx->event) {
        std::lock_guard lock(*ctx->mutex);
        ctx->event_set = 1;
        ctx->event->notify_all();
    }
}

void gdi_append_packet(Tgdi_capture* ctx, TGdiPacketNode* node) {
    node->next = nullptr;
    if (ctx->pktl_tail)
        ctx->pktl_tail->next = node;
    else
        ctx->pktl = node;
    ctx->pktl_tail = node;
    ctx->curbufsize += node->pkt->size;
    ctx->event_set = 1;
    ctx->event->notify_all();
}

namespace {

// A URL part as a 32-bit integer: optionally signed decimal, or hexadecimal after "0x" (as X
// tools print window ids). 0 or an errno value.
int toInt32(const char* text, std::uint32_t* out) {
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(p, &end, hex ? 16 : 10);
    if (end == p || *end != '\0')
        return EINVAL;
    if (errno == ERANGE || (hex ? (v < 0 || v > UINT32_MAX) : (v < INT32_MIN || v > INT32_MAX)))
        return ERANGE;
    *out = std::uint32_t(v);
    return 0;
}

// Stand-ins for the GDI and USER object counts: open file descriptors and threads.
int countEntries(const char* dir) {
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

void logObjectCounts(AVFormatContext* s) {
    av_log(s, AV_LOG_DEBUG, "Count of GDI objects: %d, Count of USER objects: %d\n",
           countEntries("/proc/self/fd"), countEntries("/proc/self/task"));
}

} // namespace

int gdi_parse_url(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    char url[1025];
    av_strlcpy(url, s->url ? s->url : "", sizeof(url));
    std::string video, audio;
    bool hasVideo = false, hasAudio = false;
    int ret = 0;
    if (std::strncmp(url, "video=", 6) == 0) {
        hasVideo = true;
        const char* rest = url + 6;
        if (const char* sep = std::strstr(url + 1, ":audio=")) {
            video.assign(rest, size_t(std::max<std::ptrdiff_t>(sep - rest, 0)));
            audio = sep + 7;
            hasAudio = true;
        } else {
            video = rest;
        }
    } else if (std::strncmp(url, "audio=", 6) == 0) {
        hasAudio = true;
        const char* rest = url + 6;
        if (const char* sep = std::strstr(url + 1, ":video=")) {
            audio.assign(rest, size_t(std::max<std::ptrdiff_t>(sep - rest, 0)));
            video = sep + 7;
            hasVideo = true;
        } else {
            audio = rest;
        }
    } else {
        ret = AVERROR(EINVAL);
    }
    if (hasVideo && video.empty())
        video = "0";
    if (hasAudio && audio.empty())
        audio = "-1";

    if (ret == 0 && hasVideo) {
        std::uint32_t v = 0;
        if (int e = toInt32(video.c_str(), &v)) {
            av_log(s, AV_LOG_ERROR, "Failed to parse \"%s\": %s\n", url, std::strerror(e));
            ret = AVERROR(EINVAL);
        } else {
            ctx->window_handle = v;
            ctx->screen = 1;
        }
    }
    if (ret == 0 && hasAudio) {
        std::uint32_t v = 0;
        if (int e = toInt32(audio.c_str(), &v)) {
            av_log(s, AV_LOG_ERROR, "Failed to parse \"%s\": %s\n", url, std::strerror(e));
            ret = AVERROR(EINVAL);
        } else {
            ctx->device = v;
            ctx->wave = 1;
        }
    }
    if (ret < 0)
        av_log(s, AV_LOG_ERROR,
               "Invalid parameters, it should be \"video=hwnd:audio=device_id\"\n");
    return ret;
}

int gdi_parse_video_options(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    const char* rate = ctx->framerate_str ? ctx->framerate_str : "";
    if (av_parse_video_rate(&ctx->requested_framerate, rate) < 0) {
        av_log(s, AV_LOG_ERROR, "Could not parse framerate \"%s\".\n", rate);
        return AVERROR(EINVAL);
    }
    if (ctx->requested_framerate.num == 0 || ctx->requested_framerate.den == 0) {
        av_log(s, AV_LOG_ERROR, "Invalid frame rate \"%s\".\n", rate);
        return AVERROR(EINVAL);
    }
    if (ctx->video_size && *ctx->video_size) {
        if (av_parse_video_size(&ctx->requested_width, &ctx->requested_height, ctx->video_size) <
            0) {
            av_log(s, AV_LOG_ERROR, "Could not parse video size \"%s\".\n", ctx->video_size);
            return AVERROR(EINVAL);
        }
        if (ctx->requested_width <= 0 || ctx->requested_height <= 0) {
            av_log(s, AV_LOG_ERROR, "Invalid frame size \"%s\".\n", ctx->video_size);
            return AVERROR(EINVAL);
        }
    }
    if (ctx->capture_offset && *ctx->capture_offset) {
        char* end = nullptr;
        long x = std::strtol(ctx->capture_offset, &end, 10);
        bool ok = *end == ',';
        long y = 0;
        if (ok) {
            y = std::strtol(end + 1, &end, 10);
            ok = *end == '\0';
        }
        if (!ok) {
            av_log(s, AV_LOG_ERROR, "Could not parse capture-offset \"%s\".\n",
                   ctx->capture_offset);
            return AVERROR(EINVAL);
        }
        ctx->x_off = int(x);
        ctx->y_off = int(y);
    }
    if (ctx->capture_flags & GDI_FLAG_SHOWFRAME)
        ctx->show_frame = 1;
    if (ctx->capture_flags & GDI_FLAG_CLIENT)
        ctx->client = 1;
    if (ctx->capture_flags & GDI_FLAG_CURSOR)
        ctx->cursor = 1;
    return 0;
}

int gdi_parse_audio_options(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    ctx->sample_format = 16;
    ctx->wave_codec_id = AV_CODEC_ID_PCM_S16LE;
    if (ctx->sample_fmt_str && *ctx->sample_fmt_str) {
        ctx->sample_fmt = av_get_sample_fmt(ctx->sample_fmt_str);
        if (ctx->sample_fmt == AV_SAMPLE_FMT_U8) {
            ctx->sample_format = 8;
            ctx->wave_codec_id = AV_CODEC_ID_PCM_U8;
        } else if (ctx->sample_fmt != AV_SAMPLE_FMT_S16) {
            av_log(s, AV_LOG_ERROR, "Invalid sample format: \"%s\", it should be u8 or s16\n",
                   ctx->sample_fmt_str);
            return AVERROR(EINVAL);
        }
    }
    if (ctx->wave_bufsize < 1)
        ctx->wave_bufsize = 65536;
    if (ctx->sample_rate <= 0) {
        av_log(s, AV_LOG_ERROR, "Invalid sample rate %d\n", ctx->sample_rate);
        return AVERROR(EINVAL);
    }
    if (ctx->channels <= 0) {
        av_log(s, AV_LOG_ERROR, "Invalid channels %d\n", ctx->channels);
        return AVERROR(EINVAL);
    }
    return 0;
}

int gdi_read_header(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    ctx->s = s;
    ctx->clock = &CaptureClock();
    // The drop rule measures the queue against ten real-time buffers.
    const unsigned long long limit = 10ull * s->max_picture_buffer;
    s->max_picture_buffer = unsigned(std::min<unsigned long long>(limit, UINT_MAX));

    int ret = gdi_parse_url(s);
    if (ret == 0) {
        ctx->mutex = new (std::nothrow) std::mutex;
        if (!ctx->mutex) {
            av_log(s, AV_LOG_ERROR, "Could not create Mutex.\n");
            ret = AVERROR(EIO);
        }
    }
    if (ret == 0) {
        ctx->event = new (std::nothrow) std::condition_variable;
        if (!ctx->event) {
            av_log(s, AV_LOG_ERROR, "Could not create Event.\n");
            ret = AVERROR(EIO);
        }
    }
    if (ret == 0 && ctx->screen) {
        ret = gdi_parse_video_options(s);
        if (ret == 0)
            ret = gdi_open_screen(s);
        if (ret == 0)
            ret = gdi_add_video_stream(s);
    }
    if (ret == 0 && ctx->wave) {
        ret = gdi_parse_audio_options(s);
        if (ret == 0 && !gdi_open_wave(ctx))
            ret = AVERROR(EIO);
        if (ret == 0)
            ret = gdi_add_audio_stream(s);
    }
    if (ret < 0)
        gdi_free_resources(s);
    return ret;
}

int gdi_read_packet(AVFormatContext* s, AVPacket* pkt) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    if (!gdi_load(ctx->Started)) {
        gdi_store(ctx->Started, 1);
        if (ctx->FrameState)
            (*ctx->FrameState)->started.store(1);
        logObjectCounts(s);
    }
    auto stopped = [ctx] {
        const int err = gdi_load(ctx->error);
        return err < 0 ? err : AVERROR_EOF;
    };
    if (gdi_load(ctx->Stoped))
        return stopped();
    std::unique_lock lock(*ctx->mutex);
    for (;;) {
        if (TGdiPacketNode* node = ctx->pktl) {
            ctx->pktl = node->next;
            if (!ctx->pktl)
                ctx->pktl_tail = nullptr;
            av_packet_move_ref(pkt, node->pkt);
            av_packet_free(&node->pkt);
            av_free(node);
            ctx->curbufsize -= pkt->size;
            ctx->event_set = 0;
            return pkt->size;
        }
        ctx->event_set = 0;
        if (s->flags & AVFMT_FLAG_NONBLOCK) {
            lock.unlock();
            av_log(s, AV_LOG_DEBUG, "non-block, need read again\n");
            return AVERROR(EAGAIN);
        }
        if (!ctx->event->wait_for(lock, std::chrono::milliseconds(1000),
                                  [ctx] { return ctx->event_set != 0; })) {
            lock.unlock();
            av_log(s, AV_LOG_DEBUG, "wait timeout, need read again\n");
            return AVERROR(EAGAIN);
        }
        if (gdi_load(ctx->Stoped))
            return stopped();
    }
}

int gdi_read_close(AVFormatContext* s) {
    logObjectCounts(s);
    gdi_free_resources(s);
    return 0;
}

void gdi_free_resources(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    if (!ctx)
        return;
    gdi_store(ctx->Stoped, 1);
    if (ctx->ScreenThread) {
        ctx->ScreenThread->terminate();
        delete ctx->ScreenThread; // joins
        ctx->ScreenThread = nullptr;
    }
    if (ctx->source_hdc) {
        delete ctx->source_hdc;
        ctx->source_hdc = nullptr;
    }
    if (ctx->FrameState)
        (*ctx->FrameState)->device_open.store(false);
    if (ctx->FrameForm) {
        ctx->FrameForm->release();
        ctx->FrameForm = nullptr;
    }
    delete ctx->FrameState;
    ctx->FrameState = nullptr;
    if (ctx->WaveDevice) {
        ctx->WaveDevice->reset();
        ctx->WaveDevice->close(); // no callback runs after this
        delete ctx->WaveDevice;
        ctx->WaveDevice = nullptr;
    }
    ctx->WaveHandle = nullptr;
    delete ctx->event;
    ctx->event = nullptr;
    delete ctx->mutex;
    ctx->mutex = nullptr;
    for (std::uint8_t*& buf : ctx->WaveBuf)
        av_freep(&buf);
    while (TGdiPacketNode* node = ctx->pktl) {
        ctx->pktl = node->next;
        av_packet_free(&node->pkt);
        av_free(node);
    }
    ctx->pktl_tail = nullptr;
    ctx->curbufsize = 0;
}
