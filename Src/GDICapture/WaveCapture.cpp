// The audio side: the wave-in device with its four rotating buffers, the callback that turns
// filled buffers into packets, and the audio stream.
#include <cstring>

#include "GDICapture.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

std::string gdi_wave_error_text(TWaveResult code) {
    return WaveInErrorText(code).substr(0, 255);
}

namespace {

void logWaveError(Tgdi_capture* ctx, TWaveResult code) {
    av_log(ctx->s, AV_LOG_ERROR, "%s\n", gdi_wave_error_text(code).c_str());
}

} // namespace

bool gdi_open_wave(Tgdi_capture* ctx) {
    IWaveInSystem& system = WaveInSystem();
    if (system.num_devs() == 0) {
        av_log(ctx->s, AV_LOG_ERROR, "No wave audio recording devices found.\n");
        return false;
    }
    TWaveFormat& f = ctx->WaveFormat;
    f.format_tag = WAVE_FORMAT_PCM;
    f.channels = std::uint16_t(ctx->channels);
    f.samples_per_sec = std::uint32_t(ctx->sample_rate);
    f.bits_per_sample = std::uint16_t(ctx->sample_format);
    f.block_align = std::uint16_t(ctx->sample_format * ctx->channels / 8);
    if (f.block_align == 0)
        f.block_align = 1;
    f.avg_bytes_per_sec = f.samples_per_sec * f.block_align;

    const int length = ctx->wave_bufsize - ctx->wave_bufsize % f.block_align;
    for (int i = 0; i < 4; ++i) {
        ctx->WaveHdr[i] = &ctx->_WaveHdr[i];
        ctx->_WaveHdr[i] = TWaveHdr{};
    }
    for (int i = 0; i < 4; ++i) {
        ctx->WaveBuf[i] =
            length > 0 ? static_cast<std::uint8_t*>(av_mallocz(size_t(length))) : nullptr;
        if (!ctx->WaveBuf[i]) {
            av_log(ctx->s, AV_LOG_ERROR, "Error allocating wave buffer memory.\n");
            return false;
        }
        ctx->_WaveHdr[i].data = ctx->WaveBuf[i];
        ctx->_WaveHdr[i].buffer_length = std::uint32_t(length);
    }
    if (TWaveResult r = system.query(ctx->device, f)) {
        logWaveError(ctx, r);
        return false;
    }
    std::unique_ptr<IWaveIn> device;
    if (TWaveResult r = system.open(&device, ctx->device, f, gdi_wave_callback, ctx)) {
        logWaveError(ctx, r);
        return false;
    }
    ctx->WaveDevice = device.release();
    ctx->WaveHandle = ctx->WaveDevice;
    for (TWaveHdr* hdr : ctx->WaveHdr)
        if (TWaveResult r = ctx->WaveDevice->prepare_header(hdr)) {
            logWaveError(ctx, r);
            return false;
        }
    ctx->WaveBufIdx = 0;
    for (int i = 0; i < 4; ++i)
        if (!gdi_queue_wave_buffer(ctx))
            return false;
    if (TWaveResult r = ctx->WaveDevice->start()) {
        logWaveError(ctx, r);
        return false;
    }
    return true;
}

bool gdi_queue_wave_buffer(Tgdi_capture* ctx) {
    if (!ctx->WaveHandle) {
        av_log(ctx->s, AV_LOG_DEBUG, "WaveHandle is invalid.\n");
        return false;
    }
    if (TWaveResult r = ctx->WaveHandle->add_buffer(ctx->WaveHdr[ctx->WaveBufIdx])) {
        logWaveError(ctx, r);
        gdi_stop(ctx, AVERROR(EIO));
        return false;
    }
    ctx->WaveBufIdx = (ctx->WaveBufIdx + 1) % 4;
    return true;
}

void gdi_wave_callback(IWaveIn*, unsigned msg, void* instance, TWaveHdr* hdr) {
    auto* ctx = static_cast<Tgdi_capture*>(instance);
    if (gdi_load(ctx->Stoped))
        return;
    AVFormatContext* s = ctx->s;
    switch (msg) {
    case WIM_OPEN:
        av_log(s, AV_LOG_INFO, "waveIn device opened.\n");
        return;
    case WIM_CLOSE:
        // The device went away while recording (the sound server ended): the reader gets EOF.
        ctx->WaveHandle = nullptr;
        av_log(s, AV_LOG_INFO, "waveIn device closed.\n");
        gdi_stop(ctx, 0);
        return;
    case WIM_DATA:
        break;
    default:
        return;
    }
    if (!hdr)
        return;
    // The packet is stamped with the time of its first sample: when the buffer was complete,
    // less what it holds, less how long the server held the last sample before handing it on.
    const std::int64_t done = hdr->done_time_us ? hdr->done_time_us : ctx->clock->now();
    const std::int64_t bytes = hdr->bytes_recorded;
    const std::int64_t rate =
        ctx->WaveFormat.avg_bytes_per_sec ? ctx->WaveFormat.avg_bytes_per_sec : 1;
    const std::int64_t duration = bytes * 1000000 / rate;
    std::int64_t stamp = done - duration - hdr->latency_us;
    if (bytes == 0) {
        gdi_queue_wave_buffer(ctx);
        return;
    }
    if (!gdi_load(ctx->Started)) {
        gdi_queue_wave_buffer(ctx);
        av_log(s, AV_LOG_DEBUG, "not started, skip wave data %d bytes\n", int(bytes));
        return;
    }
    if (gdi_is_paused(ctx)) {
        gdi_queue_wave_buffer(ctx);
        return;
    }
    std::int64_t start = gdi_load(ctx->time_start);
    if (start == 0) {
        if (ctx->screen) {
            // Sound waits for the first frame, which fixes the common time line.
            gdi_queue_wave_buffer(ctx);
            return;
        }
        start = stamp != 0 ? stamp : 1;
        gdi_store(ctx->time_start, start);
        stamp = start;
    }
    // Sound recorded wholly before the first frame belongs to no part of the recording.
    if (ctx->screen && stamp + duration <= start) {
        gdi_queue_wave_buffer(ctx);
        return;
    }
    const std::int64_t pts = stamp - start;

    std::unique_lock lock(*ctx->mutex);
    auto* node = static_cast<TGdiPacketNode*>(av_mallocz(sizeof(TGdiPacketNode)));
    if (!node) {
        lock.unlock();
        av_log(s, AV_LOG_ERROR, "av_mallocz() error\n");
        gdi_stop(ctx, AVERROR(ENOMEM));
        return;
    }
    node->pkt = av_packet_alloc();
    if (!node->pkt || av_new_packet(node->pkt, int(bytes)) < 0) {
        av_packet_free(&node->pkt);
        av_free(node);
        lock.unlock();
        av_log(s, AV_LOG_ERROR, "av_new_packet() error\n");
        gdi_stop(ctx, AVERROR(ENOMEM));
        return;
    }
    node->pkt->stream_index = ctx->wave_st_idx;
    node->pkt->pts = pts;
    std::memcpy(node->pkt->data, hdr->data, size_t(bytes));
    gdi_append_packet(ctx, node);
    lock.unlock();
    gdi_queue_wave_buffer(ctx);
}

int gdi_add_audio_stream(AVFormatContext* s) {
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    AVStream* st = avformat_new_stream(s, nullptr);
    if (!st)
        return AVERROR(ENOMEM);
    st->id = 1;
    ctx->wave_st_idx = st->index;
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = ctx->wave_codec_id;
    av_channel_layout_default(&par->ch_layout, ctx->channels);
    par->sample_rate = ctx->sample_rate;
    par->block_align = ctx->WaveFormat.block_align;
    par->format = ctx->sample_fmt;
    par->bits_per_coded_sample = ctx->sample_format;
    par->bit_rate = std::int64_t(ctx->sample_rate) * ctx->channels * ctx->sample_format;
    s->bit_rate += par->bit_rate;
    s->flags |= AVFMT_FLAG_NOPARSE;
    s->probesize = 0;
    st->time_base = AVRational{1, 1000000};
    st->pts_wrap_bits = 64;
    av_log(s, AV_LOG_INFO, "ready for wave recording...\n");
    return 0;
}
