#include "EncodeTask.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "AppInputFormat.h"
#include "OptionText.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/imgutils.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

std::string errText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// The encoder component logs under a class of its own, so its lines read "[FFEncoder @ ...]".
AVClass makeLogClass() {
    AVClass c;
    std::memset(&c, 0, sizeof c);
    c.class_name = "FFEncoder";
    c.item_name = av_default_item_name;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass g_logClass = makeLogClass();
struct TLogCtx {
    const AVClass* cls = &g_logClass;
};
TLogCtx g_log;

// What an encoder supports, in the form of the libavcodec at hand.
const AVPixelFormat* supportedPixFmts(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* out = nullptr;
    if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_PIX_FORMAT, 0, &out, nullptr) <
        0)
        return nullptr;
    return static_cast<const AVPixelFormat*>(out);
#else
    return codec->pix_fmts;
#endif
}
const AVSampleFormat* supportedSampleFmts(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* out = nullptr;
    if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_SAMPLE_FORMAT, 0, &out,
                                     nullptr) < 0)
        return nullptr;
    return static_cast<const AVSampleFormat*>(out);
#else
    return codec->sample_fmts;
#endif
}
const int* supportedRates(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* out = nullptr;
    if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_SAMPLE_RATE, 0, &out,
                                     nullptr) < 0)
        return nullptr;
    return static_cast<const int*>(out);
#else
    return codec->supported_samplerates;
#endif
}

bool isPcm(AVCodecID id, AVSampleFormat& fmt) {
    switch (id) {
    case AV_CODEC_ID_PCM_S16LE:
        fmt = AV_SAMPLE_FMT_S16;
        return true;
    case AV_CODEC_ID_PCM_U8:
        fmt = AV_SAMPLE_FMT_U8;
        return true;
    default:
        return false;
    }
}

// A packed pixel format whose frames can be used in place, one row after the other.
bool isPackedRaw(const AVCodecParameters* par) {
    if (par->codec_id != AV_CODEC_ID_RAWVIDEO)
        return false;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format));
    return d && !(d->flags & (AV_PIX_FMT_FLAG_PLANAR | AV_PIX_FMT_FLAG_PAL)) &&
           d->nb_components > 0;
}

AVRational streamTimeBase(const AVStream* st) {
    if (st->time_base.num > 0 && st->time_base.den > 0)
        return st->time_base;
    return AVRational{1, 1000000};
}

AVRational streamFrameRate(const AVStream* st) {
    if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
        return st->avg_frame_rate;
    if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0)
        return st->r_frame_rate;
    return AVRational{25, 1};
}

std::string describeStream(const AVFormatContext* ic, int i) {
    const AVStream* st = ic->streams[i];
    std::string text = "  Stream #0:" + std::to_string(i) + ": ";
    AVCodecContext* cc = avcodec_alloc_context3(nullptr);
    char buf[512] = {0};
    if (cc && avcodec_parameters_to_context(cc, st->codecpar) >= 0)
        avcodec_string(buf, sizeof buf, cc, 0);
    avcodec_free_context(&cc);
    text += buf;
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational fr = streamFrameRate(st);
        char rate[64];
        std::snprintf(rate, sizeof rate, ", %.4g fps", av_q2d(fr));
        text += rate;
    }
    const AVRational tb = streamTimeBase(st);
    if (tb.num == 1 && tb.den % 1000 == 0)
        text += ", " + std::to_string(tb.den / 1000) + "k tbn";
    else
        text += ", " + std::to_string(tb.den) + "/" + std::to_string(tb.num) + " tbn";
    return text;
}

// A text in the manner of av_dump_format, which cannot describe inputs of our own table.
std::string describeInput(const AVFormatContext* ic, const char* formatName,
                          const std::string& url) {
    std::string text = "Input #0, " + std::string(formatName) + ", from '" + url + "':\n";
    text += "  Duration: ";
    if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) {
        const int64_t d = ic->duration + 5000;
        char buf[64];
        std::snprintf(
            buf, sizeof buf, "%02d:%02d:%02d.%02d", static_cast<int>(d / AV_TIME_BASE / 3600),
            static_cast<int>(d / AV_TIME_BASE / 60 % 60), static_cast<int>(d / AV_TIME_BASE % 60),
            static_cast<int>(d % AV_TIME_BASE / 10000));
        text += buf;
    } else {
        text += "N/A";
    }
    int64_t bitrate = ic->bit_rate;
    if (bitrate <= 0)
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            bitrate += std::max<int64_t>(0, ic->streams[i]->codecpar->bit_rate);
    text += ", bitrate: ";
    text += bitrate > 0 ? std::to_string(bitrate / 1000) + " kb/s" : std::string("N/A");
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        text += "\n" + describeStream(ic, static_cast<int>(i));
    return text;
}

// Input option names of the command line that stand for options of another name.
std::string inputOptionName(const std::string& name) {
    if (name == "s")
        return "video_size";
    if (name == "r")
        return "framerate";
    if (name == "ar")
        return "sample_rate";
    if (name == "ac")
        return "channels";
    return name; // "sample_fmt" and every private option keep their names
}

// Whether obj (of class cls) accepts value for the option; checked on a scratch object so that
// the reason names the option before the device is opened.
bool checkOptionValue(const AVClass* cls, int privSize, const std::string& name,
                      const std::string& value, std::string& err) {
    void* obj = nullptr;
    AVFormatContext* scratchCtx = nullptr;
    if (privSize > 0) {
        obj = av_mallocz(privSize);
        if (!obj)
            return true;
        *static_cast<const AVClass**>(obj) = cls;
        av_opt_set_defaults(obj);
    } else {
        scratchCtx = avformat_alloc_context();
        obj = scratchCtx;
        if (!obj)
            return true;
    }
    const int ret = av_opt_set(obj, name.c_str(), value.c_str(), 0);
    if (privSize > 0) {
        av_opt_free(obj);
        av_free(obj);
    } else {
        avformat_free_context(scratchCtx);
    }
    if (ret < 0) {
        err = "Invalid value \"" + value + "\" for option \"" + name + "\": " + errText(ret);
        return false;
    }
    return true;
}

int64_t nowUs() {
    return av_gettime_relative();
}

} // namespace

TEncodeTask::~TEncodeTask() {
    CloseOutput(true);
    CloseInput();
}

void TEncodeTask::CloseInput() {
    avcodec_free_context(&FVideoDec);
    avcodec_free_context(&FAudioDec);
    if (FIn) {
        if (FAppFormat)
            CloseAppInput(&FIn);
        else
            avformat_close_input(&FIn);
    }
    FAppFormat = nullptr;
}

void TEncodeTask::CloseOutput(bool removeFile) {
    avcodec_free_context(&FVideoEnc);
    avcodec_free_context(&FAudioEnc);
    sws_freeContext(FSws);
    FSws = nullptr;
    swr_free(&FSwr);
    if (FFifo) {
        av_audio_fifo_free(FFifo);
        FFifo = nullptr;
    }
    av_frame_free(&FYuv);
    av_frame_free(&FAudioFrame);
    av_frame_free(&FDecoded);
    av_packet_free(&FOutPkt);
    if (FOut) {
        if (FOut->pb)
            avio_closep(&FOut->pb);
        avformat_free_context(FOut);
        FOut = nullptr;
        if (removeFile && !FPath.empty())
            std::remove(FPath.c_str());
    }
    FVideoSt = FAudioSt = nullptr;
}

bool TEncodeTask::OpenInput(const std::string& url, const std::string& options, std::string& err) {
    FUrl = url;
    std::vector<TOptionPair> pairs;
    if (!SplitOptionText(options, pairs, err))
        return false;
    std::string formatName;
    AVDictionary* dict = nullptr;
    struct TDictGuard {
        AVDictionary** d;
        ~TDictGuard() { av_dict_free(d); }
    } guard{&dict};
    std::vector<std::pair<std::string, std::string>> given; // option name as typed, value
    for (const TOptionPair& p : pairs) {
        if (p.name == "f") {
            formatName = p.value;
            continue;
        }
        av_dict_set(&dict, inputOptionName(p.name).c_str(), p.value.c_str(), 0);
        given.emplace_back(p.name, p.value);
    }

    int ret = 0;
    if (!formatName.empty() && (FAppFormat = FindAppInputFormat(formatName.c_str()))) {
        const AVClass* fmtClass = avformat_get_class();
        for (const auto& [typed, value] : given) {
            const std::string name = inputOptionName(typed);
            const bool priv = FAppFormat->priv_class &&
                              av_opt_find(const_cast<const AVClass**>(&FAppFormat->priv_class),
                                          name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
            const bool generic =
                !priv && av_opt_find(&fmtClass, name.c_str(), nullptr, AV_OPT_FLAG_DECODING_PARAM,
                                     AV_OPT_SEARCH_FAKE_OBJ);
            if (!priv && !generic) {
                err = "Unrecognized option \"-" + typed + "\" for the input format " + formatName;
                FAppFormat = nullptr;
                return false;
            }
            if (!checkOptionValue(priv ? FAppFormat->priv_class : fmtClass,
                                  priv ? FAppFormat->priv_data_size : 0, name, value, err)) {
                FAppFormat = nullptr;
                return false;
            }
        }
        ret = OpenAppInput(FAppFormat, url.c_str(), &dict, &FIn);
        if (ret < 0) {
            FAppFormat = nullptr;
            err = "Cannot open \"" + url + "\" with " + formatName + ": " + errText(ret);
            return false;
        }
    } else {
        const AVInputFormat* fmt = nullptr;
        if (!formatName.empty()) {
            fmt = av_find_input_format(formatName.c_str());
            if (!fmt) {
                err = "Unknown input format \"" + formatName + "\"";
                return false;
            }
        }
        ret = avformat_open_input(&FIn, url.c_str(), fmt, &dict);
        if (ret < 0) {
            err = "Cannot open \"" + url + "\": " + errText(ret);
            return false;
        }
        if (av_dict_count(dict) > 0) {
            const AVDictionaryEntry* e = av_dict_get(dict, "", nullptr, AV_DICT_IGNORE_SUFFIX);
            std::string typed = e->key;
            for (const auto& [t, v] : given)
                if (inputOptionName(t) == e->key)
                    typed = t;
            err =
                "Unrecognized option \"-" + typed + "\" for the input format " + FIn->iformat->name;
            CloseInput();
            return false;
        }
        ret = avformat_find_stream_info(FIn, nullptr);
        if (ret < 0) {
            err = "Cannot read the streams of \"" + url + "\": " + errText(ret);
            CloseInput();
            return false;
        }
    }

    for (unsigned i = 0; i < FIn->nb_streams; ++i) {
        const AVCodecParameters* par = FIn->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && FInVideo < 0)
            FInVideo = static_cast<int>(i);
        else if (par->codec_type == AVMEDIA_TYPE_AUDIO && FInAudio < 0)
            FInAudio = static_cast<int>(i);
    }
    if (FInVideo < 0 && FInAudio < 0) {
        err = "\"" + url + "\" has neither video nor sound";
        CloseInput();
        return false;
    }

    // Decoders for what cannot be used as it comes (packed raw video and PCM are used in place).
    auto openDecoder = [&](int idx, AVCodecContext*& dec) {
        const AVCodecParameters* par = FIn->streams[idx]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (!codec) {
            err = "No decoder for stream #0:" + std::to_string(idx) + " (" +
                  avcodec_get_name(par->codec_id) + ")";
            return false;
        }
        dec = avcodec_alloc_context3(codec);
        if (!dec || avcodec_parameters_to_context(dec, par) < 0) {
            err = "Out of memory";
            return false;
        }
        dec->pkt_timebase = streamTimeBase(FIn->streams[idx]);
        const int r = avcodec_open2(dec, codec, nullptr);
        if (r < 0) {
            err = std::string("Cannot open the decoder ") + codec->name + ": " + errText(r);
            return false;
        }
        return true;
    };
    AVSampleFormat pcmFmt;
    if (FInVideo >= 0 && !isPackedRaw(FIn->streams[FInVideo]->codecpar) &&
        !openDecoder(FInVideo, FVideoDec)) {
        CloseInput();
        return false;
    }
    if (FInAudio >= 0 && !isPcm(FIn->streams[FInAudio]->codecpar->codec_id, pcmFmt) &&
        !openDecoder(FInAudio, FAudioDec)) {
        CloseInput();
        return false;
    }

    FInfo.FileInfoText =
        describeInput(FIn, FAppFormat ? FAppFormat->name : FIn->iformat->name, url);
    return true;
}

bool TEncodeTask::SetOutput(const std::string& path, const std::string& options, std::string& err) {
    if (!FIn) {
        err = "The task has no input";
        return false;
    }
    if (FOut) {
        err = "The task has an output already";
        return false;
    }
    std::vector<TOptionPair> pairs;
    if (!SplitOptionText(options, pairs, err))
        return false;
    std::string videoCodec, audioCodec, containerName;
    long long videoBitrate = 0, audioBitrate = 0;
    int sampleRate = 0, channels = 0, width = 0, height = 0;
    int strict = FF_COMPLIANCE_NORMAL;
    for (const TOptionPair& p : pairs) {
        const std::string& n = p.name;
        if (n == "c:v" || n == "vcodec" || n == "codec:v") {
            videoCodec = p.value;
        } else if (n == "c:a" || n == "acodec" || n == "codec:a") {
            audioCodec = p.value;
        } else if (n == "b:v" || n == "b") {
            if (!ParseBitrate(p.value, videoBitrate)) {
                err = "Invalid video bitrate \"" + p.value + "\"";
                return false;
            }
        } else if (n == "b:a" || n == "ab") {
            if (!ParseBitrate(p.value, audioBitrate)) {
                err = "Invalid audio bitrate \"" + p.value + "\"";
                return false;
            }
        } else if (n == "ar") {
            if (!ParsePositiveInt(p.value, sampleRate)) {
                err = "Invalid sample rate \"" + p.value + "\"";
                return false;
            }
        } else if (n == "ac") {
            if (!ParsePositiveInt(p.value, channels)) {
                err = "Invalid channel count \"" + p.value + "\"";
                return false;
            }
        } else if (n == "s") {
            if (av_parse_video_size(&width, &height, p.value.c_str()) < 0 || width <= 0 ||
                height <= 0) {
                err = "Invalid frame size \"" + p.value + "\"";
                return false;
            }
        } else if (n == "strict") {
            if (p.value == "experimental" || p.value == "-2")
                strict = FF_COMPLIANCE_EXPERIMENTAL;
            else if (p.value == "unofficial" || p.value == "-1")
                strict = FF_COMPLIANCE_UNOFFICIAL;
            else if (p.value == "normal" || p.value == "0")
                strict = FF_COMPLIANCE_NORMAL;
            else if (p.value == "strict" || p.value == "1")
                strict = FF_COMPLIANCE_STRICT;
            else {
                err = "Invalid value \"" + p.value + "\" for option \"-strict\"";
                return false;
            }
        } else if (n == "f") {
            containerName = p.value;
        } else {
            err = "Unrecognized option \"-" + n + "\" for the output";
            return false;
        }
    }

    int ret = avformat_alloc_output_context2(
        &FOut, nullptr, containerName.empty() ? nullptr : containerName.c_str(), path.c_str());
    if (ret < 0 || !FOut) {
        err = "Cannot choose a container for \"" + path + "\": " + errText(ret);
        FOut = nullptr;
        return false;
    }
    FPath.clear(); // nothing to remove yet
    const AVOutputFormat* ofmt = FOut->oformat;
    FFragmented = !std::strcmp(ofmt->name, "mp4") || !std::strcmp(ofmt->name, "mov") ||
                  !std::strcmp(ofmt->name, "ipod");

    auto findEncoder = [&](const std::string& name, AVCodecID fallback,
                           const char* kind) -> const AVCodec* {
        const AVCodec* c = name.empty() ? avcodec_find_encoder(fallback)
                                        : avcodec_find_encoder_by_name(name.c_str());
        if (!c) {
            err = name.empty() ? std::string("No ") + kind + " encoder for the container"
                               : "Unknown encoder \"" + name + "\"";
            return nullptr;
        }
        if ((c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && strict > FF_COMPLIANCE_EXPERIMENTAL) {
            err = std::string("The encoder \"") + c->name +
                  "\" is experimental; add \"-strict experimental\" to use it";
            return nullptr;
        }
        const AVMediaType want =
            std::strcmp(kind, "video") == 0 ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
        if (c->type != want) {
            err = std::string("The encoder \"") + c->name + "\" is not a " +
                  (want == AVMEDIA_TYPE_VIDEO ? "video" : "sound") + " encoder";
            return nullptr;
        }
        if (avformat_query_codec(ofmt, c->id, strict) != 1) {
            err = std::string("The encoder \"") + c->name + "\" cannot be stored in " + ofmt->name;
            return nullptr;
        }
        return c;
    };

    if (FInVideo >= 0) {
        const AVStream* ist = FIn->streams[FInVideo];
        const AVCodec* codec = findEncoder(videoCodec, ofmt->video_codec, "video");
        if (!codec) {
            CloseOutput(false);
            return false;
        }
        FVideoEnc = avcodec_alloc_context3(codec);
        AVCodecContext* enc = FVideoEnc;
        enc->width = width > 0 ? width : ist->codecpar->width;
        enc->height = height > 0 ? height : ist->codecpar->height;
        enc->pix_fmt = AV_PIX_FMT_YUV420P;
        if (const AVPixelFormat* fmts = supportedPixFmts(codec)) {
            bool has = false;
            for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
                has |= *f == AV_PIX_FMT_YUV420P;
            if (!has)
                enc->pix_fmt = fmts[0];
        }
        // MPEG-4 caps the time base's denominator at 65535: 30000/1001 is fine, microseconds
        // are not, so the time base is one frame (approximated when needed).
        const AVRational rate = streamFrameRate(ist);
        int num = 0, den = 0;
        av_reduce(&num, &den, rate.den, rate.num, 65535);
        enc->time_base = AVRational{num, den};
        enc->framerate = av_inv_q(enc->time_base);
        enc->gop_size = std::max(1, static_cast<int>(std::lround(av_q2d(enc->framerate))));
        enc->max_b_frames = 0;
        enc->bit_rate = videoBitrate > 0 ? videoBitrate : 1000000;
        enc->strict_std_compliance = strict;
        if (ofmt->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ret = avcodec_open2(enc, codec, nullptr);
        if (ret < 0) {
            err = std::string("Cannot open the video encoder \"") + codec->name +
                  "\": " + errText(ret);
            CloseOutput(false);
            return false;
        }
        const AVCodecParameters* ip = ist->codecpar;
        const AVPixelFormat srcFmt =
            FVideoDec ? FVideoDec->pix_fmt : static_cast<AVPixelFormat>(ip->format);
        if (srcFmt != AV_PIX_FMT_NONE) {
            // Same size: a conversion without scaling, exact and cheap; otherwise bilinear.
            const bool same = ip->width == enc->width && ip->height == enc->height;
            const int flags = same ? SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT : SWS_BILINEAR;
            FSws = sws_getContext(ip->width, ip->height, srcFmt, enc->width, enc->height,
                                  enc->pix_fmt, flags, nullptr, nullptr, nullptr);
            if (!FSws) {
                err = std::string("Cannot convert ") + av_get_pix_fmt_name(srcFmt) + " to " +
                      av_get_pix_fmt_name(enc->pix_fmt);
                CloseOutput(false);
                return false;
            }
        }
        FYuv = av_frame_alloc();
        FYuv->format = enc->pix_fmt;
        FYuv->width = enc->width;
        FYuv->height = enc->height;
        if (av_frame_get_buffer(FYuv, 0) < 0) {
            err = "Out of memory";
            CloseOutput(false);
            return false;
        }
        FVideoSt = avformat_new_stream(FOut, nullptr);
        avcodec_parameters_from_context(FVideoSt->codecpar, enc);
        FVideoSt->time_base = enc->time_base;
        FVideoSt->avg_frame_rate = enc->framerate;
    }

    if (FInAudio >= 0) {
        const AVStream* ist = FIn->streams[FInAudio];
        const AVCodec* codec = findEncoder(audioCodec, ofmt->audio_codec, "sound");
        if (!codec) {
            CloseOutput(false);
            return false;
        }
        FAudioEnc = avcodec_alloc_context3(codec);
        AVCodecContext* enc = FAudioEnc;
        enc->sample_rate = sampleRate > 0 ? sampleRate : ist->codecpar->sample_rate;
        if (const int* rates = supportedRates(codec)) {
            bool has = false;
            for (const int* r = rates; *r; ++r)
                has |= *r == enc->sample_rate;
            if (!has) {
                err = std::string("The encoder \"") + codec->name + "\" does not support " +
                      std::to_string(enc->sample_rate) + " Hz";
                CloseOutput(false);
                return false;
            }
        }
        const int inChannels = ist->codecpar->ch_layout.nb_channels;
        av_channel_layout_default(&enc->ch_layout, channels > 0 ? channels : inChannels);
        enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
        if (const AVSampleFormat* fmts = supportedSampleFmts(codec)) {
            bool has = false;
            for (const AVSampleFormat* f = fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
                has |= *f == AV_SAMPLE_FMT_FLTP;
            if (!has)
                enc->sample_fmt = fmts[0];
        }
        enc->bit_rate = audioBitrate > 0 ? audioBitrate : 128000;
        enc->time_base = AVRational{1, enc->sample_rate};
        enc->strict_std_compliance = strict;
        if (ofmt->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ret = avcodec_open2(enc, codec, nullptr);
        if (ret < 0) {
            err = std::string("Cannot open the audio encoder \"") + codec->name +
                  "\": " + errText(ret);
            CloseOutput(false);
            return false;
        }

        // The sound card's clock drifts against the wall clock that stamps the packets: the
        // resampler stretches or squeezes the sound by up to 1 % to follow the timestamps, and
        // bridges a jump of more than 0.1 s (a pause, a gap) with silence or by dropping.
        AVSampleFormat inFmt = AV_SAMPLE_FMT_S16;
        AVChannelLayout inLayout;
        int inRate = ist->codecpar->sample_rate;
        if (FAudioDec) {
            inFmt = FAudioDec->sample_fmt;
            av_channel_layout_copy(&inLayout, &FAudioDec->ch_layout);
            inRate = FAudioDec->sample_rate;
        } else {
            isPcm(ist->codecpar->codec_id, inFmt);
            av_channel_layout_default(&inLayout, inChannels);
        }
        FSwrInRate = inRate;
        ret = swr_alloc_set_opts2(&FSwr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                  &inLayout, inFmt, inRate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (ret >= 0) {
            av_opt_set_double(FSwr, "min_comp", 0.001, 0);
            av_opt_set_double(FSwr, "min_hard_comp", 0.1, 0);
            av_opt_set_double(FSwr, "comp_duration", 1.0, 0);
            av_opt_set_double(FSwr, "max_soft_comp", 0.01, 0);
            ret = swr_init(FSwr);
        }
        if (ret < 0) {
            err = "Cannot set up the sound conversion: " + errText(ret);
            CloseOutput(false);
            return false;
        }
        const int frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
        FFifo = av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frameSize * 8);
        FAudioFrame = av_frame_alloc();
        FAudioSt = avformat_new_stream(FOut, nullptr);
        avcodec_parameters_from_context(FAudioSt->codecpar, enc);
        FAudioSt->time_base = enc->time_base;
    }
    FDecoded = av_frame_alloc();
    FOutPkt = av_packet_alloc();

    ret = avio_open(&FOut->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) {
        err = "Cannot create the file \"" + path + "\": " + errText(ret);
        CloseOutput(false);
        return false;
    }
    FPath = path;
    AVDictionary* muxOpts = nullptr;
    if (FFragmented) {
        // A moov first, then fragments of at most a second starting at key frames: a process
        // that dies leaves a file that plays up to about its last second.
        av_dict_set(&muxOpts, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
        av_dict_set(&muxOpts, "frag_duration", "1000000", 0);
    }
    ret = avformat_write_header(FOut, &muxOpts);
    av_dict_free(&muxOpts);
    if (ret < 0) {
        err = "Cannot write the header of \"" + path + "\": " + errText(ret);
        CloseOutput(true);
        return false;
    }
    avio_flush(FOut->pb);
    return true;
}

bool TEncodeTask::ReadPacket(AVPacket* pkt, int& ret) {
    if (FAppFormat) {
        ret = FAppFormat->read_packet(FIn, pkt);
        if (ret >= 0 && pkt->stream_index >= 0 &&
            pkt->stream_index < static_cast<int>(FIn->nb_streams))
            return true;
        if (ret >= 0) { // a packet of no stream
            av_packet_unref(pkt);
            ret = AVERROR(EAGAIN);
        }
        return false;
    }
    ret = av_read_frame(FIn, pkt);
    return ret >= 0;
}

bool TEncodeTask::Write(AVPacket* pkt, AVStream* st, AVCodecContext* enc, std::string& err) {
    av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (FWriteFailed) {
        av_packet_unref(pkt);
        return true;
    }
    const int ret = av_interleaved_write_frame(FOut, pkt);
    if (ret < 0) {
        FWriteFailed = true;
        err = "Cannot write to \"" + FPath + "\": " + errText(ret);
        return false;
    }
    return true;
}

bool TEncodeTask::Drain(AVCodecContext* enc, AVStream* st, std::string& err) {
    for (;;) {
        const int ret = avcodec_receive_packet(enc, FOutPkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0) {
            err = std::string("Encoding failed (") + enc->codec->name + "): " + errText(ret);
            return false;
        }
        if (enc == FVideoEnc) {
            ++FFramesWritten;
            size_t size = 0;
            const uint8_t* q = av_packet_get_side_data(FOutPkt, AV_PKT_DATA_QUALITY_STATS, &size);
            if (q && size >= 4)
                FQuality = static_cast<float>(AV_RL32(q)) / FF_QP2LAMBDA;
            FDurationUs = std::max(
                FDurationUs, av_rescale_q(FOutPkt->pts + std::max<int64_t>(1, FOutPkt->duration),
                                          enc->time_base, AVRational{1, 1000000}));
        } else {
            ++FAudioFramesWritten;
            FDurationUs =
                std::max(FDurationUs, av_rescale_q(FOutPkt->pts + FOutPkt->duration, enc->time_base,
                                                   AVRational{1, 1000000}));
        }
        if (!Write(FOutPkt, st, enc, err))
            return false;
    }
}

bool TEncodeTask::EncodeVideoFrame(AVFrame* frame, std::string& err) {
    const int ret = avcodec_send_frame(FVideoEnc, frame);
    if (ret < 0 && ret != AVERROR_EOF) {
        err = "Encoding failed (video): " + errText(ret);
        return false;
    }
    return Drain(FVideoEnc, FVideoSt, err);
}

bool TEncodeTask::HandleVideo(AVPacket* pkt, std::string& err) {
    if (!FVideoEnc)
        return true;
    const AVStream* ist = FIn->streams[FInVideo];
    const AVCodecParameters* par = ist->codecpar;
    const uint8_t* src[4] = {nullptr};
    int srcStride[4] = {0};
    int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    AVFrame* decoded = nullptr;
    if (!FVideoDec) {
        // Packed raw frames are used in place; rows may be padded (the packet tells by its size).
        const AVPixelFormat fmt = static_cast<AVPixelFormat>(par->format);
        const int minLine = av_image_get_linesize(fmt, par->width, 0);
        const int line = par->height > 0 ? pkt->size / par->height : 0;
        if (minLine <= 0 || line < minLine) {
            err = "A video packet of " + std::to_string(pkt->size) + " bytes is too small for " +
                  std::to_string(par->width) + "x" + std::to_string(par->height) + " " +
                  av_get_pix_fmt_name(fmt);
            return false;
        }
        src[0] = pkt->data;
        srcStride[0] = line;
    } else {
        int ret = avcodec_send_packet(FVideoDec, pkt);
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            av_log(&g_log, AV_LOG_WARNING, "A video packet could not be decoded: %s\n",
                   errText(ret).c_str());
            return true;
        }
        ret = avcodec_receive_frame(FVideoDec, FDecoded);
        if (ret < 0)
            return true; // more input needed
        decoded = FDecoded;
        pts = decoded->best_effort_timestamp;
        for (int i = 0; i < 4; ++i) {
            src[i] = decoded->data[i];
            srcStride[i] = decoded->linesize[i];
        }
    }
    struct TUnref {
        AVFrame* f;
        ~TUnref() {
            if (f)
                av_frame_unref(f);
        }
    } unref{decoded};

    if (pts == AV_NOPTS_VALUE)
        return true;
    const int64_t us = av_rescale_q(pts, streamTimeBase(ist), AVRational{1, 1000000});
    if (FT0 == INT64_MIN)
        FT0 = us;
    const int64_t encPts =
        av_rescale_q_rnd(us - FT0, AVRational{1, 1000000}, FVideoEnc->time_base, AV_ROUND_NEAR_INF);
    if (encPts <= FLastVideoPts || encPts < 0) {
        // Two frames on one slot of the output's frame rate: the later one goes.
        ++FDroppedFrames;
        return true;
    }
    FLastVideoPts = encPts;
    if (!FSws)
        return true;
    int ret = av_frame_make_writable(FYuv);
    if (ret < 0) {
        err = "Out of memory";
        return false;
    }
    sws_scale(FSws, src, srcStride, 0, par->height, FYuv->data, FYuv->linesize);
    FYuv->pts = encPts;
    return EncodeVideoFrame(FYuv, err);
}

bool TEncodeTask::SendAudioFrame(AVFrame* frame, std::string& err) {
    const int ret = avcodec_send_frame(FAudioEnc, frame);
    if (ret < 0 && ret != AVERROR_EOF) {
        err = "Encoding failed (sound): " + errText(ret);
        return false;
    }
    return Drain(FAudioEnc, FAudioSt, err);
}

bool TEncodeTask::EncodeAudioFifo(bool flush, std::string& err) {
    const int frameSize = FAudioEnc->frame_size > 0 ? FAudioEnc->frame_size : 1024;
    // Sound from before the output's start (the buffer that was being filled when the first
    // frame was grabbed) is cut off, so both streams begin together.
    if (FAudioNext < 0) {
        const int drop =
            static_cast<int>(std::min<int64_t>(-FAudioNext, av_audio_fifo_size(FFifo)));
        av_audio_fifo_drain(FFifo, drop);
        FAudioNext += drop;
    }
    while (av_audio_fifo_size(FFifo) >= frameSize || (flush && av_audio_fifo_size(FFifo) > 0)) {
        const int n = std::min(frameSize, av_audio_fifo_size(FFifo));
        av_frame_unref(FAudioFrame);
        FAudioFrame->nb_samples = n;
        FAudioFrame->format = FAudioEnc->sample_fmt;
        FAudioFrame->sample_rate = FAudioEnc->sample_rate;
        av_channel_layout_copy(&FAudioFrame->ch_layout, &FAudioEnc->ch_layout);
        if (av_frame_get_buffer(FAudioFrame, 0) < 0) {
            err = "Out of memory";
            return false;
        }
        av_audio_fifo_read(FFifo, reinterpret_cast<void**>(FAudioFrame->data), n);
        FAudioFrame->pts = FAudioNext;
        FAudioNext += n;
        if (!SendAudioFrame(FAudioFrame, err))
            return false;
    }
    return true;
}

bool TEncodeTask::ConvertAudio(const uint8_t* const* data, int samples, int64_t startUs,
                               std::string& err) {
    const int64_t outRate = FAudioEnc->sample_rate;
    const int64_t unitsPerSecond = static_cast<int64_t>(FSwrInRate) * outRate;
    if (data) {
        const int64_t units = av_rescale(startUs, unitsPerSecond, 1000000);
        const int64_t outPts = swr_next_pts(FSwr, units);
        if (!FSwrStarted) {
            FSwrStarted = true;
            FAudioNext = av_rescale(outPts, 1, FSwrInRate);
        }
    }
    const int room = swr_get_out_samples(FSwr, data ? samples : 0) + 64;
    std::vector<uint8_t*> planes(FAudioEnc->ch_layout.nb_channels, nullptr);
    int lineSize = 0;
    if (av_samples_alloc(planes.data(), &lineSize, FAudioEnc->ch_layout.nb_channels, room,
                         FAudioEnc->sample_fmt, 0) < 0) {
        err = "Out of memory";
        return false;
    }
    const int got = swr_convert(FSwr, planes.data(), room, const_cast<const uint8_t**>(data),
                                data ? samples : 0);
    if (got > 0 && av_audio_fifo_write(FFifo, reinterpret_cast<void**>(planes.data()), got) < got) {
        av_freep(&planes[0]);
        err = "Out of memory";
        return false;
    }
    av_freep(&planes[0]);
    if (got < 0) {
        err = "Sound conversion failed: " + errText(got);
        return false;
    }
    return EncodeAudioFifo(data == nullptr, err);
}

bool TEncodeTask::HandleAudio(AVPacket* pkt, std::string& err) {
    if (!FAudioEnc)
        return true;
    const AVStream* ist = FIn->streams[FInAudio];
    const AVRational tb = streamTimeBase(ist);
    if (!FAudioDec) {
        const int ch = ist->codecpar->ch_layout.nb_channels;
        AVSampleFormat fmt = AV_SAMPLE_FMT_S16;
        isPcm(ist->codecpar->codec_id, fmt);
        const int bytes = av_get_bytes_per_sample(fmt) * ch;
        const int samples = bytes > 0 ? pkt->size / bytes : 0;
        if (samples <= 0 || pkt->pts == AV_NOPTS_VALUE)
            return true;
        // The packet is stamped with the time of its first sample.
        const int64_t us = av_rescale_q(pkt->pts, tb, AVRational{1, 1000000});
        if (FT0 == INT64_MIN) {
            if (FInVideo >= 0 && FVideoEnc)
                return true; // sound before the first frame has nowhere to go
            FT0 = us;
        }
        const uint8_t* data[1] = {pkt->data};
        return ConvertAudio(data, samples, us - FT0, err);
    }
    int ret = avcodec_send_packet(FAudioDec, pkt);
    if (ret < 0 && ret != AVERROR(EAGAIN)) {
        av_log(&g_log, AV_LOG_WARNING, "A sound packet could not be decoded: %s\n",
               errText(ret).c_str());
        return true;
    }
    while ((ret = avcodec_receive_frame(FAudioDec, FDecoded)) >= 0) {
        const int64_t pts = FDecoded->best_effort_timestamp;
        bool ok = true;
        if (pts != AV_NOPTS_VALUE) {
            const int64_t us = av_rescale_q(pts, tb, AVRational{1, 1000000});
            if (FT0 == INT64_MIN)
                FT0 = us;
            ok = ConvertAudio(FDecoded->extended_data, FDecoded->nb_samples, us - FT0, err);
        }
        av_frame_unref(FDecoded);
        if (!ok)
            return false;
    }
    return true;
}

void TEncodeTask::ReportProgress(TFFEncoder& owner, bool force) {
    const int64_t now = nowUs();
    if (!force && now < FNextProgressUs)
        return;
    const int interval = std::max(10, owner.ProgressInterval);
    const int64_t frames = FVideoEnc ? FFramesWritten : FAudioFramesWritten;
    if (FLastProgressUs > 0 && now > FLastProgressUs)
        FFps = static_cast<int32_t>((frames - FLastProgressFrames) * 1000000 /
                                    (now - FLastProgressUs));
    FLastProgressUs = now;
    FLastProgressFrames = frames;
    FNextProgressUs = now + interval * 1000LL;
    if (!owner.OnProgress)
        return;
    auto report = std::make_shared<TFFEncoder::TReport>();
    report->isProgress = true;
    TProgressInfo& p = report->progress;
    p.TaskIndex = FIndex;
    p.FileIndex = 0;
    p.FrameNumber = static_cast<int32_t>(frames);
    p.FPS = FFps;
    p.Quality = FQuality;
    p.CurrentSize = FOut && FOut->pb ? std::max<int64_t>(0, avio_tell(FOut->pb)) : 0;
    p.CurrentDuration = FDurationUs;
    p.BitRate =
        FDurationUs > 0 ? static_cast<float>(p.CurrentSize * 8.0 * 1000.0 / FDurationUs) : 0.0f;
    p.TotalDuration = FIn && FIn->duration > 0 && !FAppFormat ? FIn->duration : 0;
    owner.Report(report, interval);
}

void TEncodeTask::Run(TFFEncoder& owner, TTerminateInfo& result) {
    result.TaskIndex = FIndex;
    std::string failure;
    if (!FOut || !FIn) {
        result.Exception = true;
        result.ExceptionMsg = "The task has no output";
        return;
    }
    AVPacket* pkt = av_packet_alloc();
    FNextProgressUs = nowUs() + std::max(10, owner.ProgressInterval) * 1000LL;
    FLastFlushUs = nowUs();
    while (!owner.StopRequested()) {
        owner.WaitWhilePaused();
        if (owner.StopRequested())
            break;
        int ret = 0;
        if (ReadPacket(pkt, ret)) {
            bool ok = true;
            if (pkt->stream_index == FInVideo)
                ok = HandleVideo(pkt, failure);
            else if (pkt->stream_index == FInAudio)
                ok = HandleAudio(pkt, failure);
            av_packet_unref(pkt);
            if (!ok)
                break;
        } else if (ret == AVERROR(EAGAIN)) {
            // nothing ready yet; the device has waited a while already
        } else if (ret == AVERROR_EOF) {
            break;
        } else {
            failure = "Reading \"" + FUrl + "\" failed: " + errText(ret);
            break;
        }
        const int64_t now = nowUs();
        if (now - FLastFlushUs >= 500000) {
            FLastFlushUs = now;
            avio_flush(FOut->pb);
            if (FOut->pb->error < 0 && !FWriteFailed) {
                FWriteFailed = true;
                failure = "Cannot write to \"" + FPath + "\": " + errText(FOut->pb->error);
                break;
            }
        }
        ReportProgress(owner, false);
    }
    // At a stop the sound of the last moments is still on its way (a buffer of the sound device
    // fills for a while): take what arrives within a short grace, up to the last frame's end.
    if (failure.empty() && owner.StopRequested() && FAudioEnc && FVideoEnc && FSwrStarted) {
        const int64_t videoEnd = FDurationUs;
        const int64_t graceEnd = nowUs() + 700000;
        while (nowUs() < graceEnd) {
            const int64_t audioEnd =
                av_rescale(FAudioNext + av_audio_fifo_size(FFifo), 1000000, FAudioEnc->sample_rate);
            if (audioEnd >= videoEnd)
                break;
            int ret = 0;
            if (!ReadPacket(pkt, ret)) {
                if (ret == AVERROR(EAGAIN))
                    continue;
                break;
            }
            bool ok = true;
            if (pkt->stream_index == FInAudio)
                ok = HandleAudio(pkt, failure);
            av_packet_unref(pkt);
            if (!ok)
                break;
        }
    }
    av_packet_free(&pkt);

    // Drain the encoders into the file; after a failure only as far as that goes.
    std::string late;
    if (!FWriteFailed) {
        if (FAudioEnc && (!FSwrStarted || ConvertAudio(nullptr, 0, 0, late)))
            SendAudioFrame(nullptr, late);
        if (FVideoEnc && late.empty())
            EncodeVideoFrame(nullptr, late);
    }
    if (failure.empty() && !late.empty())
        failure = late;
    const int trailer = FWriteFailed ? 0 : av_write_trailer(FOut);
    if (trailer < 0 && failure.empty())
        failure = "Cannot finish \"" + FPath + "\": " + errText(trailer);
    if (FDroppedFrames > 0)
        av_log(&g_log, AV_LOG_INFO, "%lld frames were dropped (two frames on one time slot)\n",
               static_cast<long long>(FDroppedFrames));
    ReportProgress(owner, true);
    CloseInput();
    const int audioIndex = FAudioSt ? FAudioSt->index : -1;
    const int64_t audioShiftUs =
        FAudioEnc && FAudioEnc->initial_padding > 0
            ? av_rescale(FAudioEnc->initial_padding, 1000000, FAudioEnc->sample_rate)
            : 0;
    const std::string path = FPath;
    FPath.clear(); // keep the file
    CloseOutput(false);
    if (FFragmented) {
        // A fragment written ahead of its index cannot say that the encoder's priming samples
        // come before the start; the plain file says it again with an edit list.
        std::vector<int64_t> shifts(2, 0);
        if (audioShiftUs > 0 && audioIndex >= 0 && audioIndex < 2)
            shifts[audioIndex] = audioShiftUs;
        std::string remuxErr;
        if (!RemuxToPlainMp4(path, shifts, remuxErr))
            av_log(&g_log, AV_LOG_WARNING, "The recording stays a fragmented MP4: %s\n",
                   remuxErr.c_str());
    }
    result.Finished = failure.empty();
    result.Exception = !failure.empty();
    result.ExceptionMsg = failure;
}

bool RemuxToPlainMp4(const std::string& path, const std::vector<int64_t>& shiftUs,
                     std::string& err) {
    namespace fs = std::filesystem;
    const fs::path p(path);
    const std::string tmp = (p.parent_path() / ("." + p.filename().string() + ".remux")).string();
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    AVPacket* pkt = av_packet_alloc();
    std::vector<int> map;
    int ret = avformat_open_input(&in, path.c_str(), nullptr, nullptr);
    if (ret >= 0)
        ret = avformat_find_stream_info(in, nullptr);
    if (ret >= 0)
        ret = avformat_alloc_output_context2(&out, nullptr, "mp4", tmp.c_str());
    if (ret >= 0) {
        for (unsigned i = 0; i < in->nb_streams && ret >= 0; ++i) {
            const AVMediaType type = in->streams[i]->codecpar->codec_type;
            if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) {
                map.push_back(-1);
                continue;
            }
            AVStream* st = avformat_new_stream(out, nullptr);
            if (!st) {
                ret = AVERROR(ENOMEM);
                break;
            }
            ret = avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar);
            st->codecpar->codec_tag = 0;
            st->time_base = in->streams[i]->time_base;
            map.push_back(st->index);
        }
    }
    if (ret >= 0)
        ret = avio_open(&out->pb, tmp.c_str(), AVIO_FLAG_WRITE);
    if (ret >= 0) {
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "movflags", "+faststart", 0);
        ret = avformat_write_header(out, &opts);
        av_dict_free(&opts);
    }
    bool headerWritten = ret >= 0;
    while (ret >= 0) {
        ret = av_read_frame(in, pkt);
        if (ret == AVERROR_EOF) {
            ret = 0;
            break;
        }
        if (ret < 0)
            break;
        const int si = pkt->stream_index;
        // A packet cut short where a failed write ended the file would only make decoders
        // complain at the very end.
        if (si < 0 || si >= static_cast<int>(map.size()) || map[si] < 0 ||
            (pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            av_packet_unref(pkt);
            continue;
        }
        if (si < static_cast<int>(shiftUs.size()) && shiftUs[si] != 0) {
            const int64_t shift =
                av_rescale_q(shiftUs[si], AVRational{1, 1000000}, in->streams[si]->time_base);
            if (pkt->pts != AV_NOPTS_VALUE)
                pkt->pts -= shift;
            if (pkt->dts != AV_NOPTS_VALUE)
                pkt->dts -= shift;
        }
        av_packet_rescale_ts(pkt, in->streams[si]->time_base, out->streams[map[si]]->time_base);
        pkt->stream_index = map[si];
        pkt->pos = -1;
        ret = av_interleaved_write_frame(out, pkt);
    }
    if (ret >= 0 && headerWritten)
        ret = av_write_trailer(out);
    if (out && out->pb) {
        const int closeRet = avio_closep(&out->pb);
        if (ret >= 0 && closeRet < 0)
            ret = closeRet;
    }
    avformat_free_context(out);
    avformat_close_input(&in);
    av_packet_free(&pkt);
    if (ret < 0) {
        err = errText(ret);
        std::remove(tmp.c_str());
        return false;
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        err = ec.message();
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}
