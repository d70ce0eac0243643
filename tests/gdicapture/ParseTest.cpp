// URL and option parsing: result codes, the fields they set and the exact error lines.
#include "DeviceTest.h"

#include <functional>

#include "FakeScreenSource.h"
#include "FakeWaveIn.h"

namespace {

const char kInvalid[] = "Invalid parameters, it should be \"video=hwnd:audio=device_id\"\n";

struct TParseCase {
    const char* name;
    std::string url;
    std::map<std::string, std::string> options;
    int result;
    std::vector<std::string> errors; // lines at AV_LOG_ERROR, in order
    std::function<void(Tgdi_capture*, AVFormatContext*)> check;
};

void PrintTo(const TParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseTest : public ::testing::TestWithParam<TParseCase> {
protected:
    void SetUp() override {
        ResetFakeScreenConfig();
        SetScreenSourceFactory(CreateFakeScreenSource);
        SetWaveInSystem(&FWave);
    }
    void TearDown() override {
        SetScreenSourceFactory(nullptr);
        SetWaveInSystem(nullptr);
    }
    TFakeWaveInSystem FWave;
};

TEST_P(ParseTest, ResultFieldsAndLog) {
    const TParseCase& c = GetParam();
    TLogCapture log;
    AVFormatContext* s = nullptr;
    std::map<std::string, std::string> options = c.options;
    options.emplace("capture_flags", "0");
    int ret = OpenDevice(c.url, options, &s);
    EXPECT_EQ(ret, c.result);
    EXPECT_EQ(log.at(AV_LOG_ERROR), c.errors);
    if (ret == 0) {
        ASSERT_NE(s, nullptr);
        if (c.check)
            c.check(Priv(s), s);
        CloseAppInput(&s);
    } else {
        EXPECT_EQ(s, nullptr);
    }
    EXPECT_EQ(FakeScreenSourcesAlive(), 0);
    EXPECT_EQ(FWave.alive.load(), 0);
}

std::vector<TParseCase> Cases() {
    return {
        {"VideoOnly",
         "video=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext* s) {
             EXPECT_EQ(c->screen, 1);
             EXPECT_EQ(c->window_handle, 0u);
             EXPECT_EQ(c->wave, 0);
             EXPECT_EQ(s->nb_streams, 1u);
         }},
        {"AudioOnlyIsTheDefaultSource",
         "audio=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext* s) {
             EXPECT_EQ(c->screen, 0);
             EXPECT_EQ(c->wave, 1);
             EXPECT_EQ(c->device, WAVE_MAPPER);
             ASSERT_EQ(s->nb_streams, 1u);
             EXPECT_EQ(s->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
         }},
        {"BothEmpty",
         "video=:audio=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext* s) {
             EXPECT_EQ(c->window_handle, 0u);
             EXPECT_EQ(c->device, WAVE_MAPPER);
             ASSERT_EQ(s->nb_streams, 2u);
             EXPECT_EQ(s->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
             EXPECT_EQ(s->streams[1]->id, 1);
         }},
        {"AudioFirst",
         "audio=1:video=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->window_handle, 0u);
             EXPECT_EQ(c->device, 1u);
         }},
        {"WrongCase", "Video=1", {}, AVERROR(EINVAL), {kInvalid}, nullptr},
        {"NoPrefix", "screen", {}, AVERROR(EINVAL), {kInvalid}, nullptr},
        {"Empty", "", {}, AVERROR(EINVAL), {kInvalid}, nullptr},
        {"VideoNotANumber",
         "video=abc",
         {},
         AVERROR(EINVAL),
         {"Failed to parse \"video=abc\": Invalid argument\n", kInvalid},
         nullptr},
        {"AudioPartTakesTheRest",
         "video=1:audio=2:video=3",
         {},
         AVERROR(EINVAL),
         {"Failed to parse \"video=1:audio=2:video=3\": Invalid argument\n", kInvalid},
         nullptr},
        {"DefaultFrameRateIsNtsc",
         "video=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext* s) {
             EXPECT_EQ(c->requested_framerate.num, 30000);
             EXPECT_EQ(c->requested_framerate.den, 1001);
             EXPECT_EQ(s->streams[0]->time_base.den, 1000000);
         }},
        {"BadFrameRate",
         "video=",
         {{"framerate", "abc"}},
         AVERROR(EINVAL),
         {"Could not parse framerate \"abc\".\n"},
         nullptr},
        {"BadVideoSize",
         "video=",
         {{"video_size", "big"}},
         AVERROR(EINVAL),
         {"Could not parse video size \"big\".\n"},
         nullptr},
        {"Offset",
         "video=",
         {{"capture_offset", "10,20"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->x_off, 10);
             EXPECT_EQ(c->y_off, 20);
         }},
        {"OffsetWithoutY",
         "video=",
         {{"capture_offset", "10"}},
         AVERROR(EINVAL),
         {"Could not parse capture-offset \"10\".\n"},
         nullptr},
        {"OffsetTrailingText",
         "video=",
         {{"capture_offset", "10,20x"}},
         AVERROR(EINVAL),
         {"Could not parse capture-offset \"10,20x\".\n"},
         nullptr},
        {"OffsetEmptyX",
         "video=",
         {{"capture_offset", ",5"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->x_off, 0);
             EXPECT_EQ(c->y_off, 5);
         }},
        {"OffsetNegative",
         "video=",
         {{"capture_offset", "-10,-20"}, {"video_size", "32x16"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->x_off, -10);
             EXPECT_EQ(c->y_off, -20);
         }},
        {"SampleFormatFloat",
         "audio=",
         {{"sample_fmt", "flt"}},
         AVERROR(EINVAL),
         {"Invalid sample format: \"flt\", it should be u8 or s16\n"},
         nullptr},
        {"SampleFormatU8",
         "audio=",
         {{"sample_fmt", "u8"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext* s) {
             EXPECT_EQ(c->sample_format, 8);
             EXPECT_EQ(s->streams[0]->codecpar->codec_id, AV_CODEC_ID_PCM_U8);
             EXPECT_EQ(c->WaveFormat.block_align, 2);
         }},
        {"WaveBufSizeZeroIsDefault",
         "audio=",
         {{"wavebufsize", "0"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->wave_bufsize, 65536);
             EXPECT_EQ(c->_WaveHdr[0].buffer_length, 65536u);
         }},
        {"WaveBufSizeRoundsToBlocks",
         "audio=",
         {{"wavebufsize", "10"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) { EXPECT_EQ(c->_WaveHdr[3].buffer_length, 8u); }},
        {"WaveBufSizeBelowOneBlock",
         "audio=",
         {{"wavebufsize", "2"}},
         AVERROR(EIO),
         {"Error allocating wave buffer memory.\n"},
         nullptr},
        {"SampleRateZero",
         "audio=",
         {{"sample_rate", "0"}},
         AVERROR(EINVAL),
         {"Invalid sample rate 0\n"},
         nullptr},
        {"ChannelsZero",
         "audio=",
         {{"channels", "0"}},
         AVERROR(EINVAL),
         {"Invalid channels 0\n"},
         nullptr},
        {"AudioDevicePastTheEnd", "audio=7", {}, AVERROR(EIO), {"No such entity\n"}, nullptr},
        {"CaptureFlagsZero",
         "video=",
         {},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->show_frame, 0);
             EXPECT_EQ(c->client, 0);
             EXPECT_EQ(c->cursor, 0);
         }},
        {"CaptureFlagsByName",
         "video=",
         {{"capture_flags", "client+cursor"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) {
             EXPECT_EQ(c->show_frame, 0);
             EXPECT_EQ(c->client, 1);
             EXPECT_EQ(c->cursor, 1);
         }},
        {"PausePointerIs64Bit",
         "video=",
         {{"pause_pointer", "140737488355328"}},
         0,
         {},
         [](Tgdi_capture* c, AVFormatContext*) { EXPECT_EQ(c->Paused, 140737488355328LL); }},
    };
}

INSTANTIATE_TEST_SUITE_P(Gdi, ParseTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GdiRegister, TwiceKeepsOneDescriptor) {
    register_gdicapture();
    register_gdicapture();
    const TAppInputFormat* f = FindAppInputFormat("gdicapture");
    ASSERT_EQ(f, &gdicapture_format);
    EXPECT_STREQ(f->long_name, "GDI(Screen/Wave) capture");
    EXPECT_EQ(f->flags, AVFMT_NOFILE);
    EXPECT_STREQ(f->priv_class->class_name, "ScreenCaptureFormat");
    int n = 0;
    for (const AVOption* o = f->priv_class->option; o->name; ++o)
        ++n;
    EXPECT_EQ(n + 1, 13); // with the terminator
}

TEST(GdiScreen, SizeReachingPastTheScreenIsClamped) {
    ResetFakeScreenConfig();
    SetScreenSourceFactory(CreateFakeScreenSource);
    AVFormatContext* s = nullptr;
    ASSERT_EQ(
        OpenDevice(
            "video=",
            {{"capture_offset", "600,400"}, {"video_size", "320x240"}, {"capture_flags", "0"}}, &s),
        0);
    EXPECT_EQ(s->streams[0]->codecpar->width, 40);
    EXPECT_EQ(s->streams[0]->codecpar->height, 80);
    CloseAppInput(&s);
    TLogCapture log;
    EXPECT_EQ(OpenDevice("video=", {{"capture_offset", "700,0"}, {"capture_flags", "0"}}, &s),
              AVERROR(EIO));
    EXPECT_EQ(log.at(AV_LOG_ERROR), std::vector<std::string>{"Invalid properties, aborting.\n"});
    SetScreenSourceFactory(nullptr);
}

} // namespace
