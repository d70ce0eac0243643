// The encoder's option texts: splitting into pairs, the bitrate and count values, and opening an
// input of the application's own formats with any option names and values (a stand-in format
// here, so that nothing outside the process is touched).
#include "AppInputFormat.h"
#include "EncodeTask.h"
#include "FuzzCheck.h"
#include "OptionText.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <climits>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TFakeInput {
    const AVClass* class_;
    int number;
    char* text;
    int64_t big;
};

const AVOption FakeOptions[] = {
    {"number", "", offsetof(TFakeInput, number), AV_OPT_TYPE_INT, {.i64 = 1}, 0, 100, 0, nullptr},
    {"text", "", offsetof(TFakeInput, text), AV_OPT_TYPE_STRING, {.str = "x"}, 0, 0, 0, nullptr},
    {"big",
     "",
     offsetof(TFakeInput, big),
     AV_OPT_TYPE_INT64,
     {.i64 = 0},
     double(INT64_MIN),
     double(INT64_MAX),
     0,
     nullptr},
    {nullptr, nullptr, 0, AVOptionType(0), {.i64 = 0}, 0, 0, 0, nullptr},
};

AVClass MakeClass() {
    AVClass c{};
    c.class_name = "FuzzInput";
    c.item_name = av_default_item_name;
    c.option = FakeOptions;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass FakeClass = MakeClass();

int FakeReadHeader(AVFormatContext* s) {
    AVStream* st = avformat_new_stream(s, nullptr);
    if (!st) {
        return AVERROR(ENOMEM);
    }
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    st->codecpar->format = AV_PIX_FMT_BGRA;
    st->codecpar->width = 16;
    st->codecpar->height = 16;
    st->time_base = {1, 1000000};
    return 0;
}
int FakeReadPacket(AVFormatContext*, AVPacket*) {
    return AVERROR_EOF;
}
int FakeReadClose(AVFormatContext*) {
    return 0;
}

const TAppInputFormat FakeFormat = {
    "kvcfuzz",          "fuzz input",   AVFMT_NOFILE,   &FakeClass,
    sizeof(TFakeInput), FakeReadHeader, FakeReadPacket, FakeReadClose,
};

bool HasSpace(const std::string& s) {
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    RegisterAppInputFormat(&FakeFormat);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The texts reach libavutil as C strings: they end at a NUL.
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    std::vector<TOptionPair> pairs;
    std::string err;
    if (!SplitOptionText(text, pairs, err)) {
        KVC_FUZZ_CHECK(!err.empty());
        return 0;
    }
    std::string joined;
    bool formatGiven = false;
    for (const TOptionPair& p : pairs) {
        KVC_FUZZ_CHECK(!p.name.empty() && !p.value.empty());
        KVC_FUZZ_CHECK(!HasSpace(p.name) && !HasSpace(p.value));
        joined += " -" + p.name + " " + p.value;
        formatGiven = formatGiven || p.name == "f";

        long long bps = 0;
        if (ParseBitrate(p.value, bps)) {
            KVC_FUZZ_CHECK(bps >= 1 && bps <= 10000000000LL);
        }
        int count = 0;
        if (ParsePositiveInt(p.value, count)) {
            KVC_FUZZ_CHECK(count > 0);
            KVC_FUZZ_CHECK(p.value.find_first_not_of("0123456789") == std::string::npos);
        }
    }
    std::vector<TOptionPair> again;
    KVC_FUZZ_CHECK(SplitOptionText(joined, again, err));
    KVC_FUZZ_CHECK(again.size() == pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        KVC_FUZZ_CHECK(again[i].name == pairs[i].name && again[i].value == pairs[i].value);
    }

    // A "-f" of its own could name a format of libavformat that reaches files or the network.
    if (!formatGiven && size < 2048) {
        TEncodeTask task(0);
        const bool opened = task.OpenInput("kvcfuzz:", "-f kvcfuzz " + text, err);
        KVC_FUZZ_CHECK(opened || !err.empty());
    }
    return 0;
}
