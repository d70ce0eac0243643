// Whole recordings through the main window's controller, on the private X display and sound
// server: a moving pattern on the screen and the 440 Hz sine source are recorded and read back.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "FakeWaveIn.h"
#include "RururiVevaDedizirFrm.h"
#include "TestMedia.h"
#include "UPublic.h"
#include "WaveIn.h"

namespace {

struct TBox {
    QString text;
    QString caption;
    bool warning;
};
std::vector<TBox> g_boxes;
void recordBox(QWidget*, const QString& text, const QString& caption, bool warning) {
    g_boxes.push_back({text, caption, warning});
}

int g_libraryChecks = 0;
std::string countingCheck() {
    ++g_libraryChecks;
    return {};
}

// A borderless window over the capture rectangle showing PatternFrame(k), k counting at 30 Hz.
class TPatternWindow : public QWidget {
public:
    TPatternWindow(int x, int y, int w, int h) {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                       Qt::WindowStaysOnTopHint);
        setGeometry(x, y, w, h);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            ++FNumber;
            update();
        });
        FTimer.start(33);
    }
    void paintEvent(QPaintEvent*) override {
        FPixels = PatternFrame(width(), height(), FNumber);
        const QImage img(FPixels.data(), width(), height(), width() * 4, QImage::Format_RGB32);
        QPainter(this).drawImage(0, 0, img);
    }

private:
    QTimer FTimer;
    int FNumber = 0;
    std::vector<uint8_t> FPixels;
};

void pumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

struct RecordingFixture : ::testing::Test {
    std::unique_ptr<TfrmRururiVevaDedizir> w;
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the X display and sound server of scripts/test-env";
        IsRecording = false;
        LastRecordingFile.clear();
        InitAppTitle();
        InitAppDataFolder();
        LoadOptions(); // no options file: the defaults (10,10 320x240 at 15, sound on)
        SavedRecordingsList.clear();
        g_boxes.clear();
        g_libraryChecks = 0;
        TFFEncoder::SetLibraryCheck(countingCheck);
        TfrmRururiVevaDedizir::RecordingMessageBox = recordBox;
        w = std::make_unique<TfrmRururiVevaDedizir>();
    }
    void TearDown() override {
        w.reset();
        TFFEncoder::SetLibraryCheck(nullptr);
        SetWaveInSystem(nullptr);
    }
    QString log() const { return w->mmoLog->toPlainText(); }
    // enabled states of btnStart, btnStop, btnPause, btnResume
    std::string buttons() const {
        std::string s;
        for (QPushButton* b : {w->btnStart, w->btnStop, w->btnPause, w->btnResume})
            s += b->isEnabled() ? '1' : '0';
        return s;
    }
    // Waits for the end report with task index -1 (btnStart enabled again).
    void waitReady(int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!w->btnStart->isEnabled() && t.elapsed() < ms)
            pumpFor(20);
    }
};

TEST_F(RecordingFixture, RecordsTheRectangleWithSoundInSync) {
    TPatternWindow pattern(10, 10, 320, 240);
    pattern.show();
    pumpFor(500);

    EXPECT_EQ(buttons(), "1000");
    QElapsedTimer wall;
    w->btnStartClick();
    wall.start();
    ASSERT_TRUE(IsRecording) << log().toStdString();
    EXPECT_EQ(buttons(), "0110");
    const QString path = LastRecordingFile;
    EXPECT_TRUE(path.startsWith(AppDataFolder));
    EXPECT_TRUE(path.endsWith(".mp4"));
    ASSERT_EQ(SavedRecordingsList.size(), 1u);
    EXPECT_TRUE(log().contains("3.OO.Options: -c:a aac -strict experimental -b:a 256k -ar 44100 "
                               "-c:v mpeg4 -s 320x240 -b:v 1000k"))
        << log().toStdString();
    EXPECT_TRUE(log().contains("\n***Can do convert.\n"));
    EXPECT_TRUE(log().contains("Input #0, gdicapture, from 'video=0:audio=-1':"));

    pumpFor(5000);
    EXPECT_TRUE(w->lblStatus->text().startsWith("Frame number: "));
    EXPECT_TRUE(w->TimeLabel->text().startsWith("Size: "));
    EXPECT_TRUE(w->TimeLabel->text().contains("           Time: 0:0:"));
    const double wallS = wall.elapsed() / 1000.0; // the stop's wait is not recording time
    w->btnStopClick();
    EXPECT_FALSE(IsRecording);
    EXPECT_EQ(buttons(), "1000") << "the end reports came while the stop waited";
    EXPECT_TRUE(g_boxes.empty());
    // Lines of the device and the libraries, as "#" thread "." level ": " text.
    EXPECT_TRUE(log().contains(QRegularExpression("#\\d+\\.5: .*ready for screen capturing")))
        << log().toStdString();

    const TMediaInfo m = ReadMedia(path.toStdString(), true);
    ASSERT_TRUE(m.ok) << m.error;
    std::printf("wall %.2f s, file %.2f s, %d frames, first audio %.3f video %.3f\n", wallS,
                m.durationS, m.frames, m.firstAudioS, m.firstVideoS);
    EXPECT_EQ(m.videoCodec, "mpeg4");
    EXPECT_EQ(m.width, 320);
    EXPECT_EQ(m.height, 240);
    EXPECT_EQ(m.audioCodec, "aac");
    EXPECT_EQ(m.sampleRate, 44100);
    EXPECT_EQ(m.channels, 2);
    EXPECT_NEAR(m.durationS, wallS, 0.3);
    EXPECT_NEAR(m.frames, wallS * 15, 4);
    EXPECT_NEAR(m.firstAudioS, m.firstVideoS, 1.0 / 15);
    EXPECT_GT(TonePower(m.mono, 44100, 440), 100 * TonePower(m.mono, 44100, 1000));
    EXPECT_GT(TonePower(m.mono, 44100, 440), 1e-4) << "a tone, not silence";
    ASSERT_FALSE(m.numbers.empty());
    const int first = m.numbers[0];
    ASSERT_GE(first, 0) << "the pattern's number is readable";
    EXPECT_GT(Psnr(m.firstFrame, PatternFrame(320, 240, first)), 30.0);
    EXPECT_GT(m.numbers.back(), first + 100) << "the picture moves";

    // A second recording in the same run: no second library check, a new file, a new entry.
    w->btnStartClick();
    ASSERT_TRUE(IsRecording) << log().toStdString();
    EXPECT_NE(LastRecordingFile, path);
    pumpFor(1000);
    w->btnStopClick();
    EXPECT_EQ(g_libraryChecks, 1);
    EXPECT_EQ(SavedRecordingsList.size(), 2u);
    EXPECT_GT(ReadMedia(LastRecordingFile.toStdString()).frames, 10);
}

TEST_F(RecordingFixture, PauseResumeAndStopWhilePaused) {
    w->btnStartClick();
    ASSERT_TRUE(IsRecording) << log().toStdString();
    pumpFor(1000);
    w->btnPauseClick();
    EXPECT_EQ(buttons(), "0101");
    EXPECT_EQ(w->FPauseFlag.load(), 1);
    pumpFor(1500);
    w->btnResumeClick();
    EXPECT_EQ(buttons(), "0110");
    EXPECT_EQ(w->FPauseFlag.load(), 0);
    pumpFor(1000);
    w->btnPauseClick();
    pumpFor(300);
    w->btnStopClick();
    EXPECT_FALSE(IsRecording);
    waitReady();
    EXPECT_EQ(buttons(), "1000");
    EXPECT_EQ(w->FPauseFlag.load(), 1) << "the flag keeps its value until the next start";
    const TMediaInfo m = ReadMedia(LastRecordingFile.toStdString());
    ASSERT_TRUE(m.ok) << m.error;
    std::printf("paused recording: %d frames, %.2f s\n", m.frames, m.durationS);
    EXPECT_GT(m.frames, 20);
    EXPECT_LT(m.frames, 15 * 3.0) << "nothing was grabbed during the pause";
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(RecordingFixture, FailuresBeforeTheRecordingOnlyLog) {
    // An input that cannot be opened: a sound device that does not exist.
    RecorderOptions.AudioDeviceID = 40;
    w->btnStartClick();
    EXPECT_FALSE(IsRecording);
    EXPECT_EQ(buttons(), "1000");
    EXPECT_TRUE(log().contains("\n***File open error: ")) << log().toStdString();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(LastRecordingFile.isEmpty());

    // Both off: a message box, nothing else.
    RecorderOptions.RecordAudio = false;
    RecorderOptions.RecordVideo = false;
    w->btnStartClick();
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_TRUE(g_boxes[0].text.contains("nothing to record"));
    EXPECT_EQ(g_boxes[0].caption, "Kestrovane Video Capture");
    EXPECT_FALSE(IsRecording);
    EXPECT_EQ(buttons(), "1000");
}

TEST_F(RecordingFixture, LibrariesThatCannotBeUsedGiveOneLogLine) {
    TFFEncoder::SetLibraryCheck([] { return std::string("libavcodec lacks \"mpeg4\""); });
    w->btnStartClick();
    EXPECT_FALSE(IsRecording);
    EXPECT_EQ(buttons(), "1000");
    const QStringList lines = log().split('\n');
    ASSERT_EQ(lines.size(), 1) << log().toStdString();
    EXPECT_TRUE(lines[0].contains("libavcodec lacks \"mpeg4\""));
    EXPECT_TRUE(g_boxes.empty());
    // The next start tries again, and records.
    TFFEncoder::SetLibraryCheck(countingCheck);
    w->btnStartClick();
    EXPECT_TRUE(IsRecording);
    EXPECT_EQ(g_libraryChecks, 1);
    pumpFor(500);
    w->btnStopClick();
}

TEST_F(RecordingFixture, AFailureDuringTheRecordingWarnsOnceAndKeepsIsRecording) {
    TFakeWaveInSystem fake;
    fake.config.add_buffers_before_failure = 12;
    SetWaveInSystem(&fake);
    w->btnStartClick();
    ASSERT_TRUE(IsRecording) << log().toStdString();
    waitReady(15000);
    EXPECT_EQ(buttons(), "1000");
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_TRUE(g_boxes[0].warning);
    EXPECT_EQ(g_boxes[0].caption, "Kestrovane Video Capture");
    EXPECT_FALSE(g_boxes[0].text.isEmpty());
    EXPECT_TRUE(IsRecording) << "a recording that ended by itself leaves the flag set";
    EXPECT_EQ(SavedRecordingsList.size(), 1u);
    const TMediaInfo m = ReadMedia(LastRecordingFile.toStdString());
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_GT(m.frames, 5);
    w->btnStopClick(); // finds nothing running
    EXPECT_FALSE(IsRecording);
}

// A sound card whose clock runs 0.5 % fast against the wall clock: without correction the sound
// would be 150 ms longer than the picture after 30 s.
TEST_F(RecordingFixture, ThirtySecondsWithAFastSoundClockStayInSync) {
    if (qEnvironmentVariableIsSet("KVC_SKIP_LONG_TESTS"))
        GTEST_SKIP() << "KVC_SKIP_LONG_TESTS";
    TFakeWaveInSystem fake;
    fake.config.rate_ratio = 1.005;
    SetWaveInSystem(&fake);
    w->btnStartClick();
    ASSERT_TRUE(IsRecording) << log().toStdString();
    pumpFor(30000);
    w->btnStopClick();
    const TMediaInfo m = ReadMedia(LastRecordingFile.toStdString());
    ASSERT_TRUE(m.ok) << m.error;
    std::printf("30 s, sound 0.5 %% fast: picture ends %.3f s, sound ends %.3f s\n",
                m.lastVideoEndS, m.audioEndS);
    // Both end at the stop: the picture within a frame, the sound within one device buffer
    // (65536 bytes, 0.37 s) of it; uncorrected, the sound would run 0.15 s longer on top.
    EXPECT_NEAR(m.lastVideoEndS, 30.0, 0.5);
    EXPECT_NEAR(m.audioEndS, m.lastVideoEndS, 0.372 + 1.0 / 15);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    else
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
