// The video side: opening the screen source, the video stream and frame window, the real-time
// buffer check and the grab thread.
#include <cmath>
#include <cstring>
#include <ctime>

#include "GDICapture.h"
#include "ScreenSource.h"

extern "C" {
#include <libavutil/mem.h>
}

int gdi_open_screen(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    std::unique_ptr<IScreenSource> source = CreateScreenSource();
    IScreenSource* src = source.get();
    ctx->source_hdc = source.release(); // the teardown releases it from here on
    if (long e = src->open(ctx->window_handle, ctx->client != 0)) {
        av_log(s, AV_LOG_ERROR, "Could not get window DC: GetDC() or GetWindowDC() error %li.\n",
               e);
        return AVERROR(EIO);
    }
    const int horzres = src->root_width();
    const int vertres = src->root_height();
    int width = 0, height = 0;
    if (long e = src->window_size(&width, &height)) {
        av_log(s, AV_LOG_ERROR, "Could not get window DC: GetDC() or GetWindowDC() error %li.\n",
               e);
        return AVERROR(EIO);
    }
    if (ctx->requested_width > 0)
        width = ctx->requested_width;
    if (ctx->requested_height > 0)
        height = ctx->requested_height;
    if (ctx->x_off + width > horzres)
        width = horzres - ctx->x_off;
    if (ctx->y_off + height > vertres)
        height = vertres - ctx->y_off;
    ctx->width = width;
    ctx->height = height;
    ctx->bpp = src->bits_per_pixel();
    if (width < 0 || height < 0 || ctx->bpp % 8 != 0) {
        av_log(s, AV_LOG_ERROR, "Invalid properties, aborting.\n");
        return AVERROR(EIO);
    }
    if (long e = src->create_image(width, height)) {
        av_log(s, AV_LOG_ERROR, "CreateCompatibleDC() error %li\n", e);
        return AVERROR(EIO);
    }
    if (long e = src->create_memory()) {
        av_log(s, AV_LOG_ERROR, "CreateCompatibleBitmap() error %li\n", e);
        return AVERROR(EIO);
    }
    const std::string warning = src->take_warning();
    if (!warning.empty())
        av_log(s, AV_LOG_WARNING, "%s\n", warning.c_str());
    const TScreenImageInfo info = src->image_info();
    av_log(s, AV_LOG_DEBUG,
           "Using Bitmap type %li, size %lix%lix%i, %i planes of width %li bytes\n", info.type,
           info.width, info.height, info.bits_per_pixel, info.planes, info.bytes_per_row);
    switch (ctx->bpp) {
    case 8:
        ctx->pix_fmt = AV_PIX_FMT_PAL8;
        break;
    case 16:
        ctx->pix_fmt = src->depth() == 15 ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_RGB565LE;
        break;
    case 24:
        ctx->pix_fmt = AV_PIX_FMT_BGR24;
        break;
    case 32:
        ctx->pix_fmt = AV_PIX_FMT_BGRA;
        break;
    default:
        av_log(s, AV_LOG_ERROR, "image depth %i not supported ... aborting\n", ctx->bpp);
        return AVERROR(EIO);
    }
    // Packets carry tightly packed rows, as raw video readers expect.
    ctx->bmp_size = width * (ctx->bpp / 8) * height;
    ctx->ScreenThread = new TScreenThread(s);
    return 0;
}

int gdi_add_video_stream(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    AVStream* st = avformat_new_stream(s, nullptr);
    if (!st)
        return AVERROR(ENOMEM);
    st->id = 0;
    ctx->screen_st_idx = st->index;
    const AVRational rate = ctx->requested_framerate;
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->width = ctx->width;
    par->height = ctx->height;
    par->format = ctx->pix_fmt;
    par->bit_rate = std::llround(double(ctx->bmp_size) * rate.num / rate.den * 8);
    s->bit_rate += par->bit_rate;
    st->r_frame_rate = rate;
    st->avg_frame_rate = rate;
    s->flags |= AVFMT_FLAG_NOPARSE;
    s->probesize = 0;
    st->time_base = AVRational{1, 1000000};
    st->pts_wrap_bits = 64;

    if (ctx->show_frame) {
        if (IFrameWindowFactory* factory = FrameWindowFactory()) {
            TFrameWindowInfo info;
            info.window_handle = ctx->window_handle;
            info.client = ctx->client;
            info.x_off = ctx->x_off;
            info.y_off = ctx->y_off;
            info.width = ctx->width;
            info.height = ctx->height;
            ctx->FrameState =
                new std::shared_ptr<TFrameWindowState>(std::make_shared<TFrameWindowState>());
            ctx->FrameForm = factory->create(info, *ctx->FrameState);
        }
    }
    av_log(s, AV_LOG_INFO, "ready for screen capturing %ix%ix%i at (%i,%i)\n", ctx->width,
           ctx->height, ctx->bpp, ctx->x_off, ctx->y_off);
    return 0;
}

bool gdi_should_drop_frame(AVFormatContext* s) {
    static const unsigned kDropScore[4] = {62, 75, 87, 100};
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    // Without a real-time buffer there is nothing to measure against: keep every frame.
    const std::int64_t fullness =
        s->max_picture_buffer ? ctx->curbufsize * 100 / std::int64_t(s->max_picture_buffer) : 0;
    ++ctx->video_frame_num;
    if (std::uint64_t(fullness) >= kDropScore[ctx->video_frame_num % 4]) {
        av_log(s, AV_LOG_ERROR, "real-time buffer %d%% full! frame dropped!\n", int(fullness));
        return true;
    }
    return false;
}

namespace {

std::int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void addCounter(std::int64_t& field, std::int64_t n) {
    std::atomic_ref<std::int64_t>(field).fetch_add(n, std::memory_order_relaxed);
}

// Longest single sleep of the grab thread, so that a stop is noticed quickly at low rates.
constexpr std::int64_t kMaxSleepUs = 20000;
constexpr std::int64_t kPollUs = 10000;

} // namespace

TScreenThread::TScreenThread(AVFormatContext* s) : ctx(static_cast<Tgdi_capture*>(s->priv_data)) {
    FThread = std::thread(&TScreenThread::Execute, this);
}

TScreenThread::~TScreenThread() {
    terminate();
    if (FThread.joinable())
        FThread.join();
}

void TScreenThread::Execute() {
    AVFormatContext* s = ctx->s;
    IClock& clock = *ctx->clock;
    const AVRational rate = ctx->requested_framerate;
    const double interval = double(rate.den) / rate.num; // seconds
    const std::int64_t intervalUs = std::llround(interval * 1000000);

    while (!gdi_load(ctx->Started) && !terminated())
        clock.sleep(kPollUs);

    auto running = [this] { return !terminated() && !gdi_load(ctx->Stoped); };
    while (running()) {
        if (gdi_is_paused(ctx)) {
            clock.sleep(kPollUs);
            continue;
        }
        if (gdi_load(ctx->time_start) != 0) {
            bool due = false;
            while (running()) {
                const std::int64_t now = clock.now();
                const std::int64_t delay = std::llround(double(ctx->time_frame) * interval - now);
                if (delay > 0) {
                    clock.sleep(std::min(delay, kMaxSleepUs));
                    continue;
                }
                const std::int64_t lost = intervalUs > 0 ? -delay / intervalUs : 0;
                if (lost > 0) {
                    ctx->time_frame += lost * 1000000;
                    addCounter(ctx->frames_lost, lost);
                    av_log(s, AV_LOG_INFO,
                           "We lost %d frames. It might be caused by paused or bad performance or "
                           "frame rate is too high.\n",
                           int(lost));
                }
                ctx->time_frame += 1000000;
                due = true;
                break;
            }
            if (!due)
                break;
        }

        if (long e = ctx->source_hdc->grab(ctx->x_off, ctx->y_off)) {
            if (gdi_load(ctx->Stoped))
                break;
            av_log(s, AV_LOG_ERROR, "Failed to capture image: BitBlt() error %li\n", e);
            gdi_stop(ctx, AVERROR(EIO));
            break;
        }

        std::int64_t pts = 0;
        std::int64_t start = gdi_load(ctx->time_start);
        if (start == 0) {
            start = clock.now();
            if (start == 0)
                start = 1;
            ctx->time_frame = std::llround(double(start) * rate.num / rate.den);
            gdi_store(ctx->time_start, start);
        } else {
            pts = clock.now() - start;
        }
        if (ctx->cursor)
            DrawCursor();
        if (!queueFrame(pts))
            break;
        std::atomic_ref<std::int64_t>(ctx->grab_cpu_ns)
            .store(threadCpuNs(), std::memory_order_relaxed);
    }
    std::atomic_ref<std::int64_t>(ctx->grab_cpu_ns).store(threadCpuNs(), std::memory_order_relaxed);
}

bool TScreenThread::queueFrame(std::int64_t pts) {
    AVFormatContext* s = ctx->s;
    std::unique_lock lock(*ctx->mutex);
    if (gdi_should_drop_frame(s)) {
        addCounter(ctx->frames_dropped, 1);
        return true;
    }
    auto* node = static_cast<TGdiPacketNode*>(av_mallocz(sizeof(TGdiPacketNode)));
    if (!node) {
        lock.unlock();
        av_log(s, AV_LOG_ERROR, "av_mallocz() error\n");
        gdi_stop(ctx, AVERROR(ENOMEM));
        return false;
    }
    node->pkt = av_packet_alloc();
    if (!node->pkt || av_new_packet(node->pkt, ctx->bmp_size) < 0) {
        av_packet_free(&node->pkt);
        av_free(node);
        lock.unlock();
        av_log(s, AV_LOG_ERROR, "av_new_packet() error\n");
        gdi_stop(ctx, AVERROR(ENOMEM));
        return false;
    }
    node->pkt->stream_index = ctx->screen_st_idx;
    node->pkt->pts = pts;
    const std::uint8_t* src = ctx->source_hdc->pixels();
    if (!src) {
        av_packet_free(&node->pkt);
        av_free(node);
        lock.unlock();
        if (!gdi_load(ctx->Stoped)) {
            av_log(s, AV_LOG_ERROR, "GetBitmapBits() error %li\n", long(ENOMEM));
            gdi_stop(ctx, AVERROR(EIO));
        }
        return false;
    }
    const long srcRow = ctx->source_hdc->image_info().bytes_per_row;
    const long row = long(ctx->width) * (ctx->bpp / 8);
    if (srcRow == row) {
        std::memcpy(node->pkt->data, src, size_t(ctx->bmp_size));
    } else {
        for (int y = 0; y < ctx->height; ++y)
            std::memcpy(node->pkt->data + size_t(y) * size_t(row), src + size_t(y) * size_t(srcRow),
                        size_t(row));
    }
    gdi_append_packet(ctx, node);
    addCounter(ctx->frames_delivered, 1);
    return true;
}

void TScreenThread::DrawCursor() {
    AVFormatContext* s = ctx->s;
    IScreenSource* src = ctx->source_hdc;
    if (long e = src->cursor_available()) {
        ctx->cursor = 0;
        av_log(s, AV_LOG_ERROR, "Couldn not get cursor info: GetCursorInfo() error %li\n", e);
        return;
    }
    TCursorImage cursor;
    if (long e = src->get_cursor(&cursor)) {
        ctx->cursor = 0;
        if (!gdi_load(ctx->Stoped))
            av_log(s, AV_LOG_ERROR, "Could not copy icon: CopyIcon() error %li\n", e);
        return;
    }
    if (cursor.width <= 0 || cursor.height <= 0 ||
        cursor.pixels.size() < size_t(cursor.width) * size_t(cursor.height)) {
        ctx->cursor = 0;
        if (!gdi_load(ctx->Stoped))
            av_log(s, AV_LOG_ERROR, "Could not get icon info: GetIconInfo() error %li\n",
                   6L); // X's BadCursor
        return;
    }
    int x = cursor.x - cursor.xhot;
    int y = cursor.y - cursor.yhot;
    if (ctx->window_handle != 0) {
        int ox = 0, oy = 0;
        if (long e = src->window_origin(&ox, &oy)) {
            ctx->cursor = 0;
            if (!gdi_load(ctx->Stoped))
                av_log(s, AV_LOG_ERROR,
                       "Could not draw icon: GetClientRect() or GetWindowRect() error %li\n", e);
        } else {
            x -= ox;
            y -= oy;
        }
    }
    x -= ctx->x_off;
    y -= ctx->y_off;
    const TScreenImageInfo info = src->image_info();
    if (!BlendCursor(src->mutable_pixels(), int(info.width), int(info.height), info.bytes_per_row,
                     info.bits_per_pixel, src->depth(), cursor, x, y)) {
        ctx->cursor = 0;
        if (!gdi_load(ctx->Stoped))
            av_log(s, AV_LOG_ERROR, "Could not draw icon: DrawIcon() error %li\n",
                   long(info.bits_per_pixel));
    }
}
