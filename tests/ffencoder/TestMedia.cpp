#include "TestMedia.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "AppInputFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

std::vector<uint8_t> PatternFrame(int width, int height, int k) {
    std::vector<uint8_t> img(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &img[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y) / 24.0 + k * 0.4));
            p[3] = 255;
        }
    }
    if (width >= 256 && height >= 32) {
        for (int bit = 0; bit < 16; ++bit) {
            const uint8_t v = (k >> bit) & 1 ? 255 : 0;
            for (int y = 0; y < 16; ++y)
                for (int x = bit * 16; x < bit * 16 + 16; ++x) {
                    uint8_t* p = &img[(static_cast<std::size_t>(y) * width + x) * 4];
                    p[0] = p[1] = p[2] = v;
                }
        }
    }
    return img;
}

int PatternNumber(const std::vector<uint8_t>& bgra, int width, int height) {
    if (width < 256 || height < 32 || bgra.size() < static_cast<std::size_t>(width) * height * 4)
        return -1;
    int k = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const uint8_t* p = &bgra[(static_cast<std::size_t>(8) * width + bit * 16 + 8) * 4];
        const int luma = (p[0] + p[1] + p[2]) / 3;
        if (luma > 160)
            k |= 1 << bit;
        else if (luma > 96)
            return -1;
    }
    return k;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    double se = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double d = double(a[i]) - double(b[i]);
        se += d * d;
        ++n;
    }
    if (se == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 / (se / n));
}

// ---- the fake input

namespace {

struct TFake {
    const AVClass* cls;
    char* video_size;
    char* framerate;
    int sample_rate;
    int channels;
    int buffer_samples;
    double duration;
    int realtime;
    double drift;
    double gap_at;
    double gap;
    double fail_after;
    int duplicate;
    // state
    int video, audio;
    int width, height;
    AVRational rate;
    int64_t frame;        // next frame number
    int64_t samples;      // sound samples produced so far (the sound card's count)
    int64_t start;        // wall clock at the first packet (realtime)
    int pendingDuplicate; // a second copy of the last frame to deliver
    int64_t lastFramePts;
    int vst, ast;
};

#define OFF(x) offsetof(TFake, x)
const AVOption g_fakeOptions[] = {
    {"video_size",
     "",
     OFF(video_size),
     AV_OPT_TYPE_STRING,
     {.str = "320x240"},
     0,
     0,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"framerate",
     "",
     OFF(framerate),
     AV_OPT_TYPE_STRING,
     {.str = "15"},
     0,
     0,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"sample_rate",
     "",
     OFF(sample_rate),
     AV_OPT_TYPE_INT,
     {.i64 = 44100},
     1,
     192000,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"channels",
     "",
     OFF(channels),
     AV_OPT_TYPE_INT,
     {.i64 = 2},
     1,
     8,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"buffer_samples",
     "",
     OFF(buffer_samples),
     AV_OPT_TYPE_INT,
     {.i64 = 16384},
     1,
     1 << 20,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"duration",
     "",
     OFF(duration),
     AV_OPT_TYPE_DOUBLE,
     {.dbl = 3},
     0,
     1e6,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"realtime",
     "",
     OFF(realtime),
     AV_OPT_TYPE_INT,
     {.i64 = 0},
     0,
     1,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"drift",
     "",
     OFF(drift),
     AV_OPT_TYPE_DOUBLE,
     {.dbl = 0},
     -0.5,
     0.5,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"audio_gap_at",
     "",
     OFF(gap_at),
     AV_OPT_TYPE_DOUBLE,
     {.dbl = 0},
     0,
     1e6,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"audio_gap",
     "",
     OFF(gap),
     AV_OPT_TYPE_DOUBLE,
     {.dbl = 0},
     0,
     1e6,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"fail_after",
     "",
     OFF(fail_after),
     AV_OPT_TYPE_DOUBLE,
     {.dbl = 0},
     0,
     1e6,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {"duplicate",
     "",
     OFF(duplicate),
     AV_OPT_TYPE_INT,
     {.i64 = 0},
     0,
     1,
     AV_OPT_FLAG_DECODING_PARAM,
     nullptr},
    {nullptr, nullptr, 0, AV_OPT_TYPE_INT, {.i64 = 0}, 0, 0, 0, nullptr},
};
#undef OFF

AVClass makeFakeClass() {
    AVClass c;
    std::memset(&c, 0, sizeof c);
    c.class_name = "kvc_fake";
    c.item_name = av_default_item_name;
    c.option = g_fakeOptions;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass g_fakeClass = makeFakeClass();

int fakeReadHeader(AVFormatContext* s) {
    TFake* f = static_cast<TFake*>(s->priv_data);
    const std::string url = s->url ? s->url : "";
    f->video = url.find("video") != std::string::npos;
    f->audio = url.find("audio") != std::string::npos;
    if (!f->video && !f->audio)
        return AVERROR(EINVAL);
    if (av_parse_video_size(&f->width, &f->height, f->video_size) < 0 ||
        av_parse_video_rate(&f->rate, f->framerate) < 0)
        return AVERROR(EINVAL);
    f->vst = f->ast = -1;
    if (f->video) {
        AVStream* st = avformat_new_stream(s, nullptr);
        st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
        st->codecpar->format = AV_PIX_FMT_BGRA;
        st->codecpar->width = f->width;
        st->codecpar->height = f->height;
        st->avg_frame_rate = st->r_frame_rate = f->rate;
        st->time_base = AVRational{1, 1000000};
        f->vst = st->index;
    }
    if (f->audio) {
        AVStream* st = avformat_new_stream(s, nullptr);
        st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
        st->codecpar->format = AV_SAMPLE_FMT_S16;
        st->codecpar->sample_rate = f->sample_rate;
        av_channel_layout_default(&st->codecpar->ch_layout, f->channels);
        st->time_base = AVRational{1, 1000000};
        f->ast = st->index;
    }
    f->lastFramePts = -1;
    return 0;
}

// True time (us) at which sound sample i arrives from a card whose clock is off by `drift`.
int64_t sampleTimeUs(const TFake* f, int64_t i) {
    return static_cast<int64_t>(std::llround(i * 1e6 / (f->sample_rate * (1.0 + f->drift))));
}

int fakeReadPacket(AVFormatContext* s, AVPacket* pkt) {
    TFake* f = static_cast<TFake*>(s->priv_data);
    if (f->start == 0)
        f->start = av_gettime();
    if (f->pendingDuplicate) {
        f->pendingDuplicate = 0;
        const int size = f->width * f->height * 4;
        if (av_new_packet(pkt, size) < 0)
            return AVERROR(ENOMEM);
        std::vector<uint8_t> img =
            PatternFrame(f->width, f->height, static_cast<int>(f->frame - 1));
        std::memcpy(pkt->data, img.data(), size);
        pkt->stream_index = f->vst;
        pkt->pts = f->lastFramePts + 1;
        return size;
    }
    const int64_t videoT =
        f->video ? av_rescale(f->frame, 1000000LL * f->rate.den, f->rate.num) : INT64_MAX;
    const int64_t audioT = f->audio ? sampleTimeUs(f, f->samples + f->buffer_samples) : INT64_MAX;
    const int64_t t = std::min(videoT, audioT);
    if (f->fail_after > 0 && t >= f->fail_after * 1e6)
        return AVERROR(EIO);
    if (f->duration > 0 && t >= f->duration * 1e6)
        return AVERROR_EOF;
    if (f->realtime) {
        const int64_t wait = f->start + t - av_gettime();
        if (wait > 0)
            av_usleep(static_cast<unsigned>(wait));
    }
    if (t == videoT) {
        const int size = f->width * f->height * 4;
        if (av_new_packet(pkt, size) < 0)
            return AVERROR(ENOMEM);
        std::vector<uint8_t> img = PatternFrame(f->width, f->height, static_cast<int>(f->frame));
        std::memcpy(pkt->data, img.data(), size);
        pkt->stream_index = f->vst;
        pkt->pts = t;
        f->lastFramePts = t;
        ++f->frame;
        f->pendingDuplicate = f->duplicate;
        return size;
    }
    // One buffer of sound, stamped with the time of its first sample, as the device does.
    const int n = f->buffer_samples;
    const int size = n * f->channels * 2;
    const int64_t first = f->samples;
    f->samples += n;
    const double tStart = sampleTimeUs(f, first) / 1e6;
    if (f->gap > 0 && tStart >= f->gap_at && tStart < f->gap_at + f->gap)
        return AVERROR(EAGAIN); // lost on the way
    if (av_new_packet(pkt, size) < 0)
        return AVERROR(ENOMEM);
    int16_t* out = reinterpret_cast<int16_t*>(pkt->data);
    const double trueRate = f->sample_rate * (1.0 + f->drift);
    for (int i = 0; i < n; ++i) {
        const int64_t idx = first + i;
        const double trueT = idx / trueRate; // when this sample was really heard
        const double sinceSecond = trueT - std::floor(trueT);
        double v = 0.2 * std::sin(2 * M_PI * 440.0 * idx / f->sample_rate);
        if (trueT >= 0.5 && sinceSecond < 0.005)
            v = (static_cast<int>(sinceSecond * 2000) % 2) ? 0.9 : -0.9;
        for (int c = 0; c < f->channels; ++c)
            out[i * f->channels + c] = static_cast<int16_t>(std::lround(v * 32767));
    }
    pkt->stream_index = f->ast;
    pkt->pts = sampleTimeUs(f, first);
    return size;
}

const TAppInputFormat g_fakeFormat = {
    "kvc_fake",     "fake capture input for tests",
    AVFMT_NOFILE,   &g_fakeClass,
    sizeof(TFake),  fakeReadHeader,
    fakeReadPacket, nullptr,
};

} // namespace

void RegisterFakeInput() {
    RegisterAppInputFormat(&g_fakeFormat);
}

// ---- reading a file back

TMediaInfo ReadMedia(const std::string& path, bool wantNumbers) {
    TMediaInfo info;
    AVFormatContext* ic = nullptr;
    int ret = avformat_open_input(&ic, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        info.error = "cannot open " + path;
        return info;
    }
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        info.error = "no stream info";
        avformat_close_input(&ic);
        return info;
    }
    info.formatName = ic->iformat->name;
    info.durationS = ic->duration > 0 ? ic->duration / 1e6 : 0;
    const int vi = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int ai = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* vdec = nullptr;
    AVCodecContext* adec = nullptr;
    auto open = [&](int idx, AVCodecContext*& dec) {
        const AVCodec* c = avcodec_find_decoder(ic->streams[idx]->codecpar->codec_id);
        dec = avcodec_alloc_context3(c);
        avcodec_parameters_to_context(dec, ic->streams[idx]->codecpar);
        dec->pkt_timebase = ic->streams[idx]->time_base;
        avcodec_open2(dec, c, nullptr);
    };
    if (vi >= 0) {
        open(vi, vdec);
        info.videoCodec = avcodec_get_name(ic->streams[vi]->codecpar->codec_id);
        info.width = ic->streams[vi]->codecpar->width;
        info.height = ic->streams[vi]->codecpar->height;
    }
    if (ai >= 0) {
        open(ai, adec);
        info.audioCodec = avcodec_get_name(ic->streams[ai]->codecpar->codec_id);
        info.sampleRate = ic->streams[ai]->codecpar->sample_rate;
        info.channels = ic->streams[ai]->codecpar->ch_layout.nb_channels;
    }
    SwsContext* sws = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool firstV = true, firstA = true;
    auto takeVideo = [&]() {
        while (avcodec_receive_frame(vdec, frame) >= 0) {
            const double t = frame->best_effort_timestamp * av_q2d(ic->streams[vi]->time_base);
            if (firstV) {
                info.firstVideoS = t;
                firstV = false;
            }
            // One frame's length at the stream's rate (frame durations differ between versions).
            const AVRational fr = ic->streams[vi]->avg_frame_rate;
            const double len = fr.num > 0 ? av_q2d(av_inv_q(fr)) : 0;
            info.lastVideoEndS = std::max(info.lastVideoEndS, t + len);
            ++info.frames;
            if (info.frames == 1 || wantNumbers) {
                std::vector<uint8_t> bgra(static_cast<std::size_t>(frame->width) * frame->height *
                                          4);
                sws = sws_getCachedContext(sws, frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), frame->width,
                                           frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                uint8_t* dst[1] = {bgra.data()};
                int stride[1] = {frame->width * 4};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
                if (info.frames == 1)
                    info.firstFrame = bgra;
                if (wantNumbers)
                    info.numbers.push_back(PatternNumber(bgra, frame->width, frame->height));
            }
            av_frame_unref(frame);
        }
    };
    auto takeAudio = [&]() {
        while (avcodec_receive_frame(adec, frame) >= 0) {
            const double t = frame->best_effort_timestamp * av_q2d(ic->streams[ai]->time_base);
            if (firstA) {
                info.firstAudioS = t;
                firstA = false;
            }
            info.audioEndS = t + double(frame->nb_samples) / frame->sample_rate;
            for (int i = 0; i < frame->nb_samples; ++i) {
                float v = 0;
                if (frame->format == AV_SAMPLE_FMT_FLTP)
                    v = reinterpret_cast<const float*>(frame->extended_data[0])[i];
                else if (frame->format == AV_SAMPLE_FMT_S16)
                    v = reinterpret_cast<const int16_t*>(
                            frame->data[0])[i * frame->ch_layout.nb_channels] /
                        32768.0f;
                info.mono.push_back(v);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(ic, pkt) >= 0) {
        if (pkt->stream_index == vi && vdec) {
            avcodec_send_packet(vdec, pkt);
            takeVideo();
        } else if (pkt->stream_index == ai && adec) {
            avcodec_send_packet(adec, pkt);
            takeAudio();
        }
        av_packet_unref(pkt);
    }
    if (vdec) {
        avcodec_send_packet(vdec, nullptr);
        takeVideo();
    }
    if (adec) {
        avcodec_send_packet(adec, nullptr);
        takeAudio();
    }
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&vdec);
    avcodec_free_context(&adec);
    avformat_close_input(&ic);
    info.ok = true;
    return info;
}

std::vector<double> ClickOnsets(const std::vector<float>& mono, int sampleRate, float threshold) {
    std::vector<double> out;
    const int64_t needQuiet = static_cast<int64_t>(0.3 * sampleRate);
    int64_t lastLoud = -needQuiet;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        if (std::fabs(mono[i]) <= threshold)
            continue;
        const int64_t at = static_cast<int64_t>(i);
        if (at - lastLoud >= needQuiet)
            out.push_back(double(i) / sampleRate);
        lastLoud = at;
    }
    return out;
}

double TonePower(const std::vector<float>& mono, int sampleRate, double frequency) {
    const double w = 2 * M_PI * frequency / sampleRate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float x : mono) {
        const double s0 = x + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return mono.empty() ? 0 : power / (double(mono.size()) * mono.size());
}

std::vector<std::string> TopLevelBoxes(const std::string& path) {
    std::vector<std::string> boxes;
    std::ifstream in(path, std::ios::binary);
    for (;;) {
        unsigned char h[16];
        if (!in.read(reinterpret_cast<char*>(h), 8))
            break;
        uint64_t size = (uint64_t(h[0]) << 24) | (h[1] << 16) | (h[2] << 8) | h[3];
        boxes.emplace_back(reinterpret_cast<char*>(h + 4), 4);
        uint64_t header = 8;
        if (size == 1) {
            if (!in.read(reinterpret_cast<char*>(h + 8), 8))
                break;
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = (size << 8) | h[i];
            header = 16;
        }
        if (size == 0)
            break;
        if (size < header)
            break;
        in.seekg(static_cast<std::streamoff>(size - header), std::ios::cur);
    }
    return boxes;
}
