// The capture device's URL and option values as the encoder hands them over: a private record
// set up the way the input opener does it (defaults, then the options by name), then the three
// parsers. Any text must be refused or give values the grab and wave code can use.
#include "FuzzCheck.h"
#include "GDICapture.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <string>

namespace {

// Option names of the device a recording's input text may carry ("pause_pointer" is an address
// the controller passes itself and is not text from outside).
const char* const OptionNames[] = {"video_size",  "framerate", "capture_offset", "capture_flags",
                                   "sample_rate", "channels",  "sample_fmt",     "wavebufsize"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    AVFormatContext* s = avformat_alloc_context();
    KVC_FUZZ_CHECK(s != nullptr);
    auto* ctx = static_cast<Tgdi_capture*>(av_mallocz(sizeof(Tgdi_capture)));
    KVC_FUZZ_CHECK(ctx != nullptr);
    ctx->class_ = &gdi_class;
    s->priv_data = ctx;
    av_opt_set_defaults(ctx);

    s->url = av_strdup(fdp.ConsumeRandomLengthString(1200).c_str());
    while (fdp.remaining_bytes() > 0) {
        const char* name = fdp.PickValueInArray(OptionNames);
        const std::string value = fdp.ConsumeRandomLengthString(80);
        av_opt_set(ctx, name, value.c_str(), 0); // refused values keep the previous one
    }

    if (gdi_parse_url(s) == 0) {
        KVC_FUZZ_CHECK(ctx->screen || ctx->wave);
    }
    if (gdi_parse_video_options(s) == 0) {
        KVC_FUZZ_CHECK(ctx->requested_framerate.num > 0 && ctx->requested_framerate.den > 0);
        KVC_FUZZ_CHECK(ctx->requested_width >= 0 && ctx->requested_height >= 0);
    }
    if (gdi_parse_audio_options(s) == 0) {
        KVC_FUZZ_CHECK(ctx->sample_rate > 0 && ctx->channels > 0 && ctx->wave_bufsize > 0);
        KVC_FUZZ_CHECK(ctx->sample_format == 8 || ctx->sample_format == 16);
    }

    av_opt_free(ctx);
    av_freep(&s->priv_data);
    avformat_free_context(s);
    return 0;
}
