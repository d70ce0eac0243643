// The encoder component on a fake capture input of its own: option texts, the encoded file
// (codecs, sizes, timing, picture, tone), sound drift and gaps, the end reports, pause and
// stop, input and write failures, and what a killed recording leaves.
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "FFEncoder.h"
#include "TestMedia.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const char* kOutput = "-c:a aac -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k";

struct EncoderFixture : ::testing::Test {
    fs::path dir;
    TFFEncoder enc;
    std::vector<TTerminateInfo> ends;
    std::vector<TProgressInfo> progress;
    std::thread::id reportThread;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvc-enc-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        enc.OnTerminate = [this](QObject*, const TTerminateInfo& t) {
            reportThread = std::this_thread::get_id();
            ends.push_back(t);
        };
        enc.OnProgress = [this](QObject*, const TProgressInfo& p) { progress.push_back(p); };
    }
    void TearDown() override {
        enc.Stop(true);
        fs::remove_all(dir);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // Adds the input and the output; fails the test with LastErrMsg when either fails.
    bool Prepare(const std::string& url, const std::string& in, const std::string& out,
                 const std::string& path) {
        TInputOptions io;
        io.Options = in;
        const int task = enc.AddTask(url, io);
        EXPECT_GE(task, 0) << enc.LastErrMsg();
        if (task < 0)
            return false;
        TOutputOptions oo;
        oo.Options = out;
        const int r = enc.SetOutput(task, path, oo);
        EXPECT_GE(r, 0) << enc.LastErrMsg();
        return r >= 0;
    }
    // Runs the conversion to its end, with the event loop running.
    void RunToEnd(int timeoutS = 120) {
        ASSERT_TRUE(enc.Start(1)) << enc.LastErrMsg();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutS);
        while ((ends.empty() || ends.back().TaskIndex != -1) &&
               std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_FALSE(ends.empty());
        ASSERT_EQ(ends.back().TaskIndex, -1) << "the conversion did not end in time";
        enc.Stop(true);
    }
    void PumpFor(int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

TEST(LoadAVLib, ChecksTheLibrariesAndReportsWhyNot) {
    {
        TFFEncoder enc;
        EXPECT_FALSE(enc.AVLibLoaded());
        EXPECT_TRUE(enc.LoadAVLib("/nowhere/LibAV")) << enc.LastErrMsg();
        EXPECT_TRUE(enc.AVLibLoaded());
    }
    TFFEncoder::SetLibraryCheck([] { return std::string("libavcodec has no MPEG-4 encoder"); });
    TFFEncoder enc;
    EXPECT_FALSE(enc.LoadAVLib(""));
    EXPECT_FALSE(enc.AVLibLoaded());
    EXPECT_NE(enc.LastErrMsg().find("libavcodec has no MPEG-4 encoder"), std::string::npos);
    TFFEncoder::SetLibraryCheck(nullptr);
    EXPECT_TRUE(enc.LoadAVLib(""));
}

TEST_F(EncoderFixture, RejectsBadOptionsWithTheReason) {
    struct Case {
        const char* url;
        const char* in;
        const char* out; // null: the input itself must fail
        const char* reason;
    };
    const Case cases[] = {
        {"video", "-f kvc_fake -nosuch 1", nullptr, "\"-nosuch\""},
        {"video", "-f kvc_fake -r", nullptr, "Missing argument for option \"-r\""},
        {"video", "-f kvc_fake 15", nullptr, "Unexpected \"15\""},
        {"video", "-f kvc_fake -ar many", nullptr, "\"many\" for option \"sample_rate\""},
        {"video", "-f no_such_format", nullptr, "Unknown input format \"no_such_format\""},
        {"nothing", "-f kvc_fake", nullptr, "Cannot open \"nothing\""},
        {"/no/such/file.mp4", "", nullptr, "Cannot open \"/no/such/file.mp4\""},
        {"video", "-f kvc_fake", "-c:v no_such_codec", "Unknown encoder \"no_such_codec\""},
        {"video", "-f kvc_fake", "-c:v mpeg4 -b:v fast", "Invalid video bitrate \"fast\""},
        {"video", "-f kvc_fake", "-c:v mpeg4 -s 0x0", "Invalid frame size \"0x0\""},
        {"video", "-f kvc_fake", "-c:v mpeg4 -zoom 2", "Unrecognized option \"-zoom\""},
        {"video", "-f kvc_fake", "-c:v mpeg4 -strict", "Missing argument"},
        {"audio", "-f kvc_fake", "-c:a aac -ar 12345", "does not support 12345 Hz"},
        {"audio", "-f kvc_fake", "-c:a mpeg4", "is not a sound encoder"},
        {"audio", "-f kvc_fake", "-c:a pcm_s16le", "cannot be stored"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.in) + " | " + (c.out ? c.out : "-"));
        enc.ClearTasks();
        TInputOptions io;
        io.Options = c.in;
        const int task = enc.AddTask(c.url, io);
        if (!c.out) {
            EXPECT_LT(task, 0);
            EXPECT_NE(enc.LastErrMsg().find(c.reason), std::string::npos) << enc.LastErrMsg();
            EXPECT_EQ(enc.TaskCount(), 0);
            continue;
        }
        ASSERT_GE(task, 0) << enc.LastErrMsg();
        TOutputOptions oo;
        oo.Options = c.out;
        EXPECT_LT(enc.SetOutput(task, Path("x.mp4"), oo), 0);
        EXPECT_NE(enc.LastErrMsg().find(c.reason), std::string::npos) << enc.LastErrMsg();
    }
    // An output that cannot be created, and one whose container is unknown.
    enc.ClearTasks();
    TInputOptions io;
    io.Options = "-f kvc_fake";
    ASSERT_EQ(enc.AddTask("video", io), 0);
    TOutputOptions oo;
    oo.Options = "-c:v mpeg4";
    EXPECT_LT(enc.SetOutput(0, Path("missing-folder/x.mp4"), oo), 0);
    EXPECT_NE(enc.LastErrMsg().find("Cannot create the file"), std::string::npos);
    EXPECT_LT(enc.SetOutput(0, Path("x.unknownext"), oo), 0);
    EXPECT_NE(enc.LastErrMsg().find("container"), std::string::npos) << enc.LastErrMsg();
    EXPECT_FALSE(enc.Start(1)) << "a task without output has nothing to run";
}

TEST_F(EncoderFixture, EncodesPictureAndToneIntoAPlainMp4) {
    const std::string path = Path("rec.mp4");
    ASSERT_TRUE(Prepare("video+audio", "-f kvc_fake -s 320x240 -r 15 -duration 3", kOutput, path));
    const std::string info = enc.Decoders(0, 0).FileInfoText;
    EXPECT_NE(info.find("Input #0, kvc_fake, from 'video+audio':"), std::string::npos) << info;
    EXPECT_NE(info.find("Stream #0:0: Video: rawvideo"), std::string::npos) << info;
    EXPECT_NE(info.find("320x240"), std::string::npos) << info;
    EXPECT_NE(info.find("Stream #0:1: Audio: pcm_s16le"), std::string::npos) << info;
    EXPECT_EQ(enc.Decoders(0, 1).FileInfoText, "");
    RunToEnd();

    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].TaskIndex, 0);
    EXPECT_TRUE(ends[0].Finished);
    EXPECT_FALSE(ends[0].Exception) << ends[0].ExceptionMsg;
    EXPECT_EQ(ends[1].TaskIndex, -1);
    EXPECT_TRUE(ends[1].Finished);
    EXPECT_EQ(reportThread, std::this_thread::get_id());

    const TMediaInfo m = ReadMedia(path, true);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(m.videoCodec, "mpeg4");
    EXPECT_EQ(m.width, 320);
    EXPECT_EQ(m.height, 240);
    EXPECT_EQ(m.frames, 45);
    EXPECT_EQ(m.audioCodec, "aac");
    EXPECT_EQ(m.sampleRate, 44100);
    EXPECT_EQ(m.channels, 2);
    EXPECT_NEAR(m.durationS, 3.0, 0.15);
    EXPECT_NEAR(m.firstAudioS, m.firstVideoS, 1.0 / 15);
    EXPECT_GT(Psnr(m.firstFrame, PatternFrame(320, 240, 0)), 30.0);
    for (std::size_t i = 0; i < m.numbers.size(); ++i)
        ASSERT_EQ(m.numbers[i], static_cast<int>(i)) << "frame " << i;
    EXPECT_GT(TonePower(m.mono, 44100, 440), 100 * TonePower(m.mono, 44100, 1000));

    const std::vector<std::string> boxes = TopLevelBoxes(path);
    const auto at = [&](const char* b) { return std::find(boxes.begin(), boxes.end(), b); };
    EXPECT_EQ(at("moof"), boxes.end()) << "the finished file is not fragmented";
    ASSERT_NE(at("moov"), boxes.end());
    EXPECT_LT(at("moov"), at("mdat")) << "the index comes first";
}

TEST_F(EncoderFixture, SizesAndRates) {
    struct Case {
        const char* in;
        const char* out;
        int width, height;
        int frames;
    };
    const Case cases[] = {
        {"-s 321x241 -r 15 -duration 2", "-c:v mpeg4 -s 321x241 -b:v 1000k", 321, 241, 30},
        {"-s 320x240 -r 29.97 -duration 2", "-c:v mpeg4 -b:v 1000k", 320, 240, 60},
        {"-s 640x480 -r 10 -duration 2", "-c:v mpeg4 -s 320x240 -b:v 500k", 320, 240, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        enc.ClearTasks();
        ends.clear();
        const std::string path = Path("size.mp4");
        ASSERT_TRUE(Prepare("video", std::string("-f kvc_fake ") + c.in, c.out, path));
        RunToEnd();
        const TMediaInfo m = ReadMedia(path);
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(m.width, c.width);
        EXPECT_EQ(m.height, c.height);
        EXPECT_NEAR(m.frames, c.frames, 1);
    }
}

TEST_F(EncoderFixture, TwoFramesOnOneSlotKeepOnlyTheFirst) {
    const std::string path = Path("dup.mp4");
    ASSERT_TRUE(Prepare("video", "-f kvc_fake -r 15 -duration 2 -duplicate 1", kOutput, path));
    RunToEnd();
    const TMediaInfo m = ReadMedia(path, true);
    EXPECT_EQ(m.frames, 30);
    for (std::size_t i = 0; i < m.numbers.size(); ++i)
        ASSERT_EQ(m.numbers[i], static_cast<int>(i));
}

// The fake sound card's clock runs fast or slow; the clicks it records at every whole second of
// true time must land at that second in the file.
TEST_F(EncoderFixture, SoundFollowsTheWallClockDespiteDrift) {
    for (const char* drift : {"0.005", "-0.005", "0"}) {
        SCOPED_TRACE(std::string("drift ") + drift);
        enc.ClearTasks();
        ends.clear();
        const std::string path = Path("drift.mp4");
        ASSERT_TRUE(Prepare("video+audio",
                            std::string("-f kvc_fake -r 15 -duration 30 -drift ") + drift, kOutput,
                            path));
        RunToEnd();
        const TMediaInfo m = ReadMedia(path);
        ASSERT_TRUE(m.ok) << m.error;
        const std::vector<double> clicks = ClickOnsets(m.mono, m.sampleRate);
        ASSERT_GE(clicks.size(), 28u);
        double worst = 0;
        for (double c : clicks) {
            const double t = c + m.firstAudioS - m.firstVideoS;
            worst = std::max(worst, std::fabs(t - std::round(t)));
        }
        std::printf("drift %s: %zu clicks, worst offset %.1f ms, last at %.3f s\n", drift,
                    clicks.size(), worst * 1000, clicks.back());
        EXPECT_LT(worst, 1.0 / 15) << "sound and picture more than a frame apart";
        EXPECT_NEAR(clicks.back() + m.firstAudioS - m.firstVideoS, 29.0, 1.0 / 15);
        EXPECT_NEAR(m.audioEndS, m.lastVideoEndS, 0.5);
    }
}

TEST_F(EncoderFixture, AGapInTheSoundIsBridgedNotStretched) {
    const std::string path = Path("gap.mp4");
    ASSERT_TRUE(Prepare("video+audio",
                        "-f kvc_fake -r 15 -duration 8 -audio_gap_at 2.2 -audio_gap 2", kOutput,
                        path));
    RunToEnd();
    const TMediaInfo m = ReadMedia(path);
    const std::vector<double> clicks = ClickOnsets(m.mono, m.sampleRate);
    // The clicks of seconds 3 and 4 were lost with the gap; the others stay on their seconds.
    std::vector<int> seconds;
    for (double c : clicks) {
        const double t = c + m.firstAudioS - m.firstVideoS;
        EXPECT_NEAR(t, std::round(t), 1.0 / 15);
        seconds.push_back(static_cast<int>(std::lround(t)));
    }
    EXPECT_EQ(seconds, (std::vector<int>{1, 2, 5, 6, 7}));
}

TEST_F(EncoderFixture, AnInputFailureEndsTheTaskWithTheReasonAndKeepsTheFile) {
    const std::string path = Path("fail.mp4");
    ASSERT_TRUE(
        Prepare("video+audio", "-f kvc_fake -r 15 -duration 0 -fail_after 2", kOutput, path));
    RunToEnd();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].Exception);
    EXPECT_FALSE(ends[0].Finished);
    EXPECT_NE(ends[0].ExceptionMsg.find("Reading \"video+audio\" failed"), std::string::npos)
        << ends[0].ExceptionMsg;
    EXPECT_FALSE(ends[1].Exception);
    const TMediaInfo m = ReadMedia(path);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_NEAR(m.frames, 30, 1);
}

TEST_F(EncoderFixture, ProgressPauseAndStopWhilePaused) {
    const std::string path = Path("pause.mp4");
    enc.ProgressInterval = 100;
    ASSERT_TRUE(Prepare("video+audio", "-f kvc_fake -r 15 -duration 0 -realtime 1", kOutput, path));
    ASSERT_TRUE(enc.Start(1));
    PumpFor(1200);
    ASSERT_FALSE(progress.empty());
    EXPECT_GT(progress.back().FrameNumber, 5);
    EXPECT_GT(progress.back().CurrentSize, 0);
    EXPECT_GT(progress.back().CurrentDuration, 500000);
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i].FrameNumber, progress[i - 1].FrameNumber);

    enc.Pause();
    PumpFor(300);
    const int pausedAt = progress.back().FrameNumber;
    PumpFor(700);
    EXPECT_LE(progress.back().FrameNumber, pausedAt + 1) << "the worker takes no packets";
    enc.Resume();
    PumpFor(600);
    EXPECT_GT(progress.back().FrameNumber, pausedAt + 3);

    enc.Pause();
    const auto t0 = std::chrono::steady_clock::now();
    enc.Stop(true);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    // Both end reports came while Stop waited, on this thread.
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].TaskIndex, 0);
    EXPECT_TRUE(ends[0].Finished);
    EXPECT_EQ(ends[1].TaskIndex, -1);
    const TMediaInfo m = ReadMedia(path);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_GT(m.frames, 20);
}

TEST_F(EncoderFixture, StopWithoutAnEventLoopDeliversTheReportsInStop) {
    const std::string path = Path("stop.mp4");
    ASSERT_TRUE(Prepare("video+audio", "-f kvc_fake -r 15 -duration 0 -realtime 1", kOutput, path));
    ASSERT_TRUE(enc.Start(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // no events processed
    enc.Stop(true);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].TaskIndex, -1);
    const TMediaInfo m = ReadMedia(path);
    EXPECT_GT(m.durationS, 1.0) << "a main thread that does not answer holds the worker up";
    // A second conversion with the same component.
    enc.ClearTasks();
    ends.clear();
    ASSERT_TRUE(Prepare("video", "-f kvc_fake -duration 1", kOutput, Path("second.mp4")));
    RunToEnd();
    EXPECT_EQ(ReadMedia(Path("second.mp4")).frames, 15);
}

// ---- recordings in a process of their own

struct TChild {
    pid_t pid = -1;
    int out = -1;
};

TChild spawnRecorder(const std::string& path, long long limit) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string limitText = std::to_string(limit);
    char* argv[] = {self.data(), const_cast<char*>("--child-record"),
                    const_cast<char*>(path.c_str()), limitText.data(), nullptr};
    TChild child;
    if (posix_spawn(&child.pid, self.c_str(), &fa, nullptr, argv, environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    child.out = fds[0];
    return child;
}

std::string readAll(int fd) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

TEST_F(EncoderFixture, AKilledRecordingPlaysUpToAboutItsLastSecond) {
    const std::string path = Path("killed.mp4");
    TChild child = spawnRecorder(path, 0);
    ASSERT_GT(child.pid, 0);
    std::this_thread::sleep_for(std::chrono::seconds(6));
    ::kill(child.pid, SIGKILL);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    readAll(child.out);
    ASSERT_TRUE(WIFSIGNALED(status));
    const TMediaInfo m = ReadMedia(path);
    ASSERT_TRUE(m.ok) << m.error;
    std::printf("killed after 6 s: %.2f s of picture, %.2f s of sound\n", m.lastVideoEndS,
                m.audioEndS);
    EXPECT_GE(m.lastVideoEndS, 4.5);
    EXPECT_GE(m.frames, 4.5 * 15);
    EXPECT_GE(m.audioEndS, 4.0);
}

TEST_F(EncoderFixture, AWriteFailureEndsTheTaskOnceAndKeepsAPlayableFile) {
    const std::string path = Path("full.mp4");
    TChild child = spawnRecorder(path, 300 * 1024);
    ASSERT_GT(child.pid, 0);
    // 1000 kbit/s reach the limit after about 2.5 s; the child ends by itself.
    int status = 0;
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(child.pid, &status, WNOHANG) == child.pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (i == 299) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, &status, 0);
            FAIL() << "the recording did not end at the file-size limit";
        }
    }
    const std::string out = readAll(child.out);
    EXPECT_TRUE(WIFEXITED(status));
    std::size_t failures = 0;
    for (std::size_t at = 0; (at = out.find("END 0 0 1 ", at)) != std::string::npos; ++at)
        ++failures;
    EXPECT_EQ(failures, 1u) << out;
    EXPECT_NE(out.find("Cannot write to"), std::string::npos) << out;
    EXPECT_NE(out.find("END -1 1 0"), std::string::npos) << out;
    const TMediaInfo m = ReadMedia(path);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_GT(m.frames, 15);
    EXPECT_LE(fs::file_size(path), 300u * 1024);
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".remux"), std::string::npos)
            << "no temporary file is left";
}

} // namespace
