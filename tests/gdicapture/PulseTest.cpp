// The PulseAudio wave-in layer on the private sound server (a 440 Hz sine as default source).
#include "DeviceTest.h"

#include <cstdlib>
#include <thread>

#include "FakeScreenSource.h"

namespace {

using namespace std::chrono_literals;

class PulseFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs PULSE_SERVER (run under scripts/test-env)";
        pkt = av_packet_alloc();
    }
    void TearDown() override {
        CloseAppInput(&s);
        av_packet_free(&pkt);
        SetScreenSourceFactory(nullptr);
    }
    AVFormatContext* s = nullptr;
    AVPacket* pkt = nullptr;
};

TEST_F(PulseFixture, SourcesAreListed) {
    const std::vector<std::string> sources = ListCaptureSourceDescriptions();
    EXPECT_GE(sources.size(), 2u); // the sine source and the null sink's monitor
    EXPECT_EQ(PulseWaveInSystem().num_devs(), sources.size());
}

TEST_F(PulseFixture, RecordsTheDefaultSourceInBuffersOfTheRoundedLength) {
    // 0.1 s at 48000 Hz stereo s16 is 19200 bytes; 19202 rounds down to it.
    ASSERT_EQ(OpenDevice("audio=", {{"sample_rate", "48000"}, {"wavebufsize", "19202"}}, &s), 0);
    EXPECT_EQ(s->streams[0]->codecpar->sample_rate, 48000);
    std::vector<std::int64_t> pts;
    int peak = 0;
    for (int i = 0; i < 40 && pts.size() < 6; ++i) {
        int r = ReadPacket(s, pkt);
        if (r == AVERROR(EAGAIN))
            continue;
        ASSERT_EQ(r, 19200);
        const auto* samples = reinterpret_cast<const std::int16_t*>(pkt->data);
        for (int k = 0; k < r / 2; ++k)
            peak = std::max(peak, std::abs(int(samples[k])));
        pts.push_back(pkt->pts);
        av_packet_unref(pkt);
    }
    ASSERT_EQ(pts.size(), 6u);
    EXPECT_EQ(pts[0], 0);
    const double step = double(pts[5] - pts[1]) / 4;
    EXPECT_NEAR(step, 100000.0, 10000.0);
    EXPECT_GT(peak, 1000);
}

TEST_F(PulseFixture, AudioBeforeTheFirstFrameIsDiscarded) {
    ResetFakeScreenConfig();
    FakeScreenConfig().root_width = 16;
    FakeScreenConfig().root_height = 16;
    SetScreenSourceFactory(CreateFakeScreenSource);
    TLogCapture log;
    ASSERT_EQ(OpenDevice("video=0:audio=",
                         {{"framerate", "10"}, {"capture_flags", "0"}, {"wavebufsize", "8820"}},
                         &s),
              0);
    // Buffers done before the first read are dropped (the test server's source may take a
    // while to deliver its first block).
    for (int i = 0; i < 300 && !log.contains("not started, skip wave data"); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(log.contains("not started, skip wave data 8820 bytes\n"));
    std::int64_t firstAudio = INT64_MIN;
    for (int i = 0; i < 100 && firstAudio == INT64_MIN; ++i) {
        int r = ReadPacket(s, pkt);
        if (r > 0 && pkt->stream_index == 1)
            firstAudio = pkt->pts;
        av_packet_unref(pkt);
    }
    ASSERT_NE(firstAudio, INT64_MIN);
    // Its first sample may precede the first frame, by less than one buffer (50 ms).
    EXPECT_GT(firstAudio, -50000);
    EXPECT_LT(firstAudio, 300000);
}

TEST_F(PulseFixture, SourcePastTheEndFailsCleanly) {
    TLogCapture log;
    EXPECT_EQ(OpenDevice("audio=99", {}, &s), AVERROR(EIO));
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(log.at(AV_LOG_ERROR), std::vector<std::string>{"No such entity\n"});
}

} // namespace
