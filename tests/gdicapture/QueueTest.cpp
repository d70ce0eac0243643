// Pacing on a fake clock, the drop rule, and the queue between the producers and read_packet.
#include "DeviceTest.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "FakeScreenSource.h"
#include "FakeWaveIn.h"

namespace {

using namespace std::chrono_literals;

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFakeScreenConfig();
        FakeScreenConfig().root_width = 16;
        FakeScreenConfig().root_height = 8;
        SetScreenSourceFactory(CreateFakeScreenSource);
        SetWaveInSystem(&FWave);
        pkt = av_packet_alloc();
    }
    void TearDown() override {
        CloseAppInput(&s);
        av_packet_free(&pkt);
        SetScreenSourceFactory(nullptr);
        SetWaveInSystem(nullptr);
        SetCaptureClock(nullptr);
        EXPECT_EQ(FakeScreenSourcesAlive(), 0);
        EXPECT_EQ(FWave.alive.load(), 0);
    }
    // Reads until a packet of `stream` comes, skipping EAGAIN; its pts, or INT64_MIN.
    std::int64_t nextPts(int stream = 0) {
        for (int i = 0; i < 100000; ++i) {
            int r = ReadPacket(s, pkt);
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0)
                return INT64_MIN;
            const bool match = pkt->stream_index == stream;
            const std::int64_t pts = pkt->pts;
            av_packet_unref(pkt);
            if (match)
                return pts;
        }
        return INT64_MIN;
    }
    TFakeWaveInSystem FWave;
    TFakeClock clock;
    AVFormatContext* s = nullptr;
    AVPacket* pkt = nullptr;
};

TEST_F(DeviceFixture, FirstTwoFramesAtOnceThenOneIntervalApart) {
    SetCaptureClock(&clock);
    ASSERT_EQ(OpenDevice("video=", {{"framerate", "10"}, {"capture_flags", "0"}}, &s), 0);
    const std::int64_t expected[] = {0, 0, 100000, 200000, 300000, 400000};
    for (std::int64_t want : expected)
        EXPECT_NEAR(double(nextPts()), double(want), 1.0);
    EXPECT_EQ(pkt->size, 0); // unref'd
}

TEST_F(DeviceFixture, PauseSkipsFrameSlotsAndReportsThem) {
    clock.set_real_sleep(500);
    SetCaptureClock(&clock);
    std::atomic<std::int32_t> paused{0};
    const std::string address = std::to_string(reinterpret_cast<std::intptr_t>(&paused));
    TLogCapture log;
    ASSERT_EQ(OpenDevice("video=",
                         {{"framerate", "10"}, {"capture_flags", "0"}, {"pause_pointer", address}},
                         &s),
              0);
    ASSERT_EQ(nextPts(), 0);
    paused.store(1);
    const std::int64_t from = clock.now();
    for (int i = 0; i < 20000 && clock.now() < from + 2000000; ++i)
        std::this_thread::sleep_for(50us);
    paused.store(0);

    std::int64_t last = 0, gap = 0;
    for (int i = 0; i < 100000 && gap < 1000000; ++i) {
        std::int64_t pts = nextPts();
        ASSERT_NE(pts, INT64_MIN);
        gap = pts - last;
        last = pts;
    }
    EXPECT_GE(gap, 1900000);
    EXPECT_LE(gap, 2300000);
    int lost = 0;
    for (auto& line : log.at(AV_LOG_INFO))
        std::sscanf(line.c_str(), "We lost %d frames.", &lost);
    EXPECT_GE(lost, 18);
    EXPECT_LE(lost, 22);
    EXPECT_TRUE(log.contains(" It might be caused by paused or bad performance or frame rate "
                             "is too high.\n"));
}

struct TDropCase {
    int percent;
    int dropped_of_eight;
};

class DropRule : public ::testing::TestWithParam<TDropCase> {};

TEST_P(DropRule, DropsByFullness) {
    AVFormatContext* s = avformat_alloc_context();
    auto* ctx = static_cast<Tgdi_capture*>(av_mallocz(sizeof(Tgdi_capture)));
    s->max_picture_buffer = 10 * 1000; // as read_header leaves it for an rtbufsize of 1000
    ctx->curbufsize = GetParam().percent * 100;
    s->priv_data = ctx;
    TLogCapture log;
    int dropped = 0;
    for (int i = 0; i < 8; ++i)
        dropped += gdi_should_drop_frame(s) ? 1 : 0;
    EXPECT_EQ(dropped, GetParam().dropped_of_eight);
    const std::string line =
        "real-time buffer " + std::to_string(GetParam().percent) + "% full! frame dropped!\n";
    EXPECT_EQ(log.at(AV_LOG_ERROR), std::vector<std::string>(size_t(dropped), line));
    s->priv_data = nullptr;
    av_free(ctx);
    avformat_free_context(s);
}

INSTANTIATE_TEST_SUITE_P(Gdi, DropRule,
                         ::testing::Values(TDropCase{61, 0}, TDropCase{62, 2}, TDropCase{75, 4},
                                           TDropCase{87, 6}, TDropCase{100, 8}, TDropCase{150, 8}));

TEST_F(DeviceFixture, NonBlockingEmptyQueueReturnsAtOnce) {
    // Buffers of one second: nothing can be queued yet.
    ASSERT_EQ(OpenDevice("audio=", {{"wavebufsize", "176400"}}, &s), 0);
    s->flags |= AVFMT_FLAG_NONBLOCK;
    TLogCapture log;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPacket(s, pkt), AVERROR(EAGAIN));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);
    EXPECT_TRUE(log.contains("non-block, need read again\n"));
    EXPECT_TRUE(log.contains("Count of GDI objects: "));
}

TEST_F(DeviceFixture, BlockingWaitsAtMostOneSecond) {
    // Buffers of 1.5 s: the first wait times out, the second ends with the first buffer.
    ASSERT_EQ(OpenDevice("audio=", {{"wavebufsize", "264600"}}, &s), 0);
    TLogCapture log;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPacket(s, pkt), AVERROR(EAGAIN));
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 1200ms);
    EXPECT_TRUE(log.contains("wait timeout, need read again\n"));
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPacket(s, pkt), 264600);
    waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 900ms);
    EXPECT_EQ(pkt->pts, 0);
    EXPECT_EQ(pkt->stream_index, 0);
}

TEST_F(DeviceFixture, FailedGrabReportsEioWhilePacketsAreQueued) {
    FakeScreenConfig().grabs_before_failure = 3;
    TLogCapture log;
    ASSERT_EQ(OpenDevice("video=", {{"framerate", "100"}, {"capture_flags", "0"}}, &s), 0);
    s->flags |= AVFMT_FLAG_NONBLOCK;
    EXPECT_EQ(ReadPacket(s, pkt) > 0 || true, true); // starts the grab thread
    av_packet_unref(pkt);
    for (int i = 0; i < 200 && !gdi_load(Priv(s)->Stoped); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(gdi_load(Priv(s)->Stoped));
    {
        std::lock_guard lock(*Priv(s)->mutex);
        EXPECT_NE(Priv(s)->pktl, nullptr);
    }
    EXPECT_EQ(ReadPacket(s, pkt), AVERROR(EIO));
    EXPECT_TRUE(log.contains("Failed to capture image: BitBlt() error 8\n"));
}

TEST_F(DeviceFixture, DeviceThatClosedGivesEof) {
    FWave.config.buffers_before_close = 2;
    TLogCapture log;
    ASSERT_EQ(OpenDevice("audio=", {{"wavebufsize", "4410"}}, &s), 0); // 25 ms buffers
    int packets = 0, r = 0;
    for (int i = 0; i < 50; ++i) {
        r = ReadPacket(s, pkt);
        av_packet_unref(pkt);
        if (r > 0)
            ++packets;
        else if (r != AVERROR(EAGAIN))
            break;
    }
    EXPECT_EQ(r, AVERROR_EOF);
    EXPECT_LE(packets, 2);
    EXPECT_TRUE(log.contains("waveIn device closed.\n"));
}

TEST_F(DeviceFixture, TeardownLogsNoClosedLine) {
    TLogCapture log;
    ASSERT_EQ(OpenDevice("audio=", {{"wavebufsize", "4410"}}, &s), 0);
    ReadPacket(s, pkt);
    CloseAppInput(&s);
    EXPECT_TRUE(log.contains("waveIn device opened.\n"));
    EXPECT_FALSE(log.contains("waveIn device closed.\n"));
}

TEST_F(DeviceFixture, AudioOnlyStartsAtZeroAndStampsTheFirstSample) {
    FWave.config.latency_us = 5000;
    FWave.config.clock = &clock;
    SetCaptureClock(&clock);
    ASSERT_EQ(OpenDevice("audio=", {{"wavebufsize", "17640"}}, &s), 0); // 100 ms buffers
    std::int64_t prev = nextPts();
    EXPECT_EQ(prev, 0);
    for (int i = 0; i < 5; ++i) {
        std::int64_t pts = nextPts();
        EXPECT_NEAR(double(pts - prev), 100000.0, 1.0);
        prev = pts;
    }
}

TEST_F(DeviceFixture, FailedReadHeaderLeavesNothingBehind) {
    const int threads = CountEntries("/proc/self/task");
    const int fds = CountEntries("/proc/self/fd");
    struct TCase {
        const char* url;
        std::map<std::string, std::string> options;
        int result;
    };
    FWave.config.open_error = 6; // after the grab thread and the queue exist
    const TCase cases[] = {
        {"video=:audio=", {{"capture_flags", "0"}}, AVERROR(EIO)},
        {"video=", {{"framerate", "abc"}}, AVERROR(EINVAL)},
        {"video=", {{"video_size", "0x0"}}, AVERROR(EINVAL)},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(OpenDevice(c.url, c.options, &s), c.result) << c.url;
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(FakeScreenSourcesAlive(), 0);
        EXPECT_EQ(FWave.alive.load(), 0);
    }
    FWave.config.open_error = 0;
    FWave.config.start_error = 7; // the device was open and its thread ran
    EXPECT_EQ(OpenDevice("video=:audio=", {{"capture_flags", "0"}}, &s), AVERROR(EIO));
    EXPECT_EQ(FWave.opened.load(), 1);
    EXPECT_EQ(FWave.alive.load(), 0);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
}

} // namespace
