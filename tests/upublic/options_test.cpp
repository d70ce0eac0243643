// Loading and saving the options record through "Data/options.ini".
#include "AppState.h"
#include "Options.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        AppDataFolder = FDir.path() + "/";
        RecorderOptions = TRecorderOptions{};
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::system());
        AppDataFolder.clear();
    }
    void WriteFile(const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(AppDataFolder + "Data"));
        QFile f(OptionsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray ReadFile() {
        QFile f(OptionsFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir FDir;
};

// Every field as text, so that one comparison shows all of them.
QString Dump(const TRecorderOptions& o) {
    return QString("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13")
        .arg(o.RecTop)
        .arg(o.RecLeft)
        .arg(o.RecWidth)
        .arg(o.RecHeight)
        .arg(o.RecordAudio ? "on" : "off")
        .arg(o.AudioDeviceID)
        .arg(o.Audio_Bitrate, o.Audio_SampleRate)
        .arg(o.Audio_Channels)
        .arg(o.RecordVideo ? "on" : "off")
        .arg(o.Video_Bitrate, o.Video_Frames)
        .arg(o.Video_Format);
}

const char* const Defaults = "10 10 320 240 on 0 256 44100 2 on 1000 15 0";

TEST_F(OptionsTest, NoFileMeansDefaultsAndCreatesNothing) {
    LoadOptions();
    EXPECT_EQ(Dump(RecorderOptions), Defaults);
    EXPECT_FALSE(QFile::exists(AppDataFolder + "Data"));
}

TEST_F(OptionsTest, EmptyFileReadsEveryDefault) {
    WriteFile("");
    LoadOptions();
    EXPECT_EQ(Dump(RecorderOptions), Defaults);
}

TEST_F(OptionsTest, ConvertsEachValueOnItsOwn) {
    using Field = std::function<QString(const TRecorderOptions&)>;
    const Field recTop = [](auto& o) { return QString::number(o.RecTop); };
    const Field audio = [](auto& o) { return QString(o.RecordAudio ? "on" : "off"); };
    const Field video = [](auto& o) { return QString(o.RecordVideo ? "on" : "off"); };
    const Field abr = [](auto& o) { return o.Audio_Bitrate; };
    const Field vbr = [](auto& o) { return o.Video_Bitrate; };
    const Field frames = [](auto& o) { return o.Video_Frames; };
    const Field format = [](auto& o) { return QString::number(o.Video_Format); };
    const Field device = [](auto& o) { return QString::number(o.AudioDeviceID); };
    struct Case {
        const char* section;
        const char* line;
        Field field;
        const char* expected;
    };
    const Case cases[] = {
        {"General", "RecTop= 25 ", recTop, "25"},
        {"General", "RecTop=", recTop, "10"},
        {"General", "RecTop=abc", recTop, "10"},
        {"General", "RecTop=1.5", recTop, "10"},
        {"General", "RecTop=-7", recTop, "-7"},
        {"General", "RecTop=2147483648", recTop, "10"},
        {"General", "RecTop=-2147483648", recTop, "-2147483648"},
        {"General", "RecTop=$10", recTop, "10"},
        {"Video", "RecordVideo=0", video, "off"},
        {"Video", "RecordVideo=256", video, "off"},
        {"Video", "RecordVideo=1", video, "on"},
        {"Video", "RecordVideo=2", video, "on"},
        {"Video", "RecordVideo=-1", video, "on"},
        {"Video", "RecordVideo=yes", video, "on"},
        {"Audio", "RecordAudio=512", audio, "off"},
        {"Audio", "Audio_Bitrate=abc", abr, "256"},
        {"Audio", "Audio_Bitrate=  128 ", abr, "128"},
        {"Audio", "Audio_Bitrate=128.5", abr, "256"},
        {"Audio", "Audio_Bitrate=$80", abr, "$80"},
        {"Audio", "Audio_Bitrate=0x80", abr, "0x80"},
        {"Audio", "Audio_Bitrate=x8G", abr, "256"},
        {"Audio", "Audio_Bitrate=9223372036854775807", abr, "9223372036854775807"},
        {"Audio", "Audio_Bitrate=9223372036854775808", abr, "256"},
        {"Video", "Video_Bitrate=100", vbr, "100"},
        {"Video", "Video_Bitrate=", vbr, "1000"},
        {"Video", "Video_Frames=12.5", frames, "12.5"},
        {"Video", "Video_Frames=", frames, "15"},
        {"Video", "Video_Frames=1e1", frames, "1e1"},
        {"Video", "Video_Frames=1,5", frames, "15"},
        {"Video", "Video_Frames=fast", frames, "15"},
        {"Video", "Video_Format=7", format, "7"},
        {"Audio", "AudioDeviceID=99", device, "99"},
        {"Audio", "AudioDeviceID=two", device, "0"},
    };
    for (const Case& c : cases) {
        WriteFile(QByteArray("[") + c.section + "]\r\n" + c.line + "\r\n");
        LoadOptions();
        EXPECT_EQ(c.field(RecorderOptions), c.expected) << c.line;
    }
}

TEST_F(OptionsTest, OneBadRectangleKeyLeavesTheOthers) {
    WriteFile("[General]\nRecTop=abc\nRecLeft=30\nRecWidth=\nRecHeight=480\n");
    LoadOptions();
    EXPECT_EQ(Dump(RecorderOptions), "10 30 320 480 on 0 256 44100 2 on 1000 15 0");
}

TEST_F(OptionsTest, FrameRateFollowsTheLocaleDecimalSeparator) {
    WriteFile("[Video]\nVideo_Frames=29.97\n");
    LoadOptions();
    EXPECT_EQ(RecorderOptions.Video_Frames, "29.97");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LoadOptions();
    EXPECT_EQ(RecorderOptions.Video_Frames, "15");
    EXPECT_TRUE(IsFloatText("29,97"));
    EXPECT_TRUE(IsFloatText("25"));
}

TEST_F(OptionsTest, RectangleSaveTouchesOnlyItsFourKeys) {
    const QByteArray before = "; kept comment\r\n"
                              "[General]\r\n"
                              "RecTop=1\r\n"
                              "Other=x\r\n"
                              "reCLeft = 2\r\n"
                              "\r\n"
                              "[Audio]\r\n"
                              "RecordAudio=0\r\n"
                              "Audio_Bitrate= 64 \r\n"
                              "[Extra]\r\n"
                              "Foo=bar";
    WriteFile(before);
    LoadOptions();
    RecorderOptions.RecTop = 100;
    RecorderOptions.RecLeft = -5;
    RecorderOptions.RecWidth = 640;
    RecorderOptions.RecHeight = 480;
    RecorderOptions.Audio_Bitrate = "999"; // in memory only: not the rectangle save's business
    ASSERT_TRUE(SaveCaptureRect());
    EXPECT_EQ(ReadFile(), "; kept comment\r\n"
                          "[General]\r\n"
                          "RecTop=100\r\n"
                          "Other=x\r\n"
                          "reCLeft =-5\r\n"
                          "RecWidth=640\r\n"
                          "RecHeight=480\r\n"
                          "\r\n"
                          "[Audio]\r\n"
                          "RecordAudio=0\r\n"
                          "Audio_Bitrate= 64 \r\n"
                          "[Extra]\r\n"
                          "Foo=bar");
}

TEST_F(OptionsTest, MediaSaveRoundTripsAndCreatesTheFile) {
    LoadOptions();
    RecorderOptions.RecordAudio = false;
    RecorderOptions.AudioDeviceID = 3;
    RecorderOptions.Audio_Bitrate = "128";
    RecorderOptions.Video_Frames = "29.97";
    RecorderOptions.RecTop = 77;
    ASSERT_TRUE(SaveMediaOptions());
    EXPECT_EQ(ReadFile(), "[Audio]\nRecordAudio=0\nAudioDeviceID=3\nAudio_Bitrate=128\n\n"
                          "[Video]\nRecordVideo=1\nVideo_Bitrate=1000\nVideo_Frames=29.97\n"
                          "Video_Format=0\n");
    RecorderOptions = TRecorderOptions{};
    LoadOptions();
    EXPECT_EQ(Dump(RecorderOptions), "10 10 320 240 off 3 128 44100 2 on 1000 29.97 0");
}

TEST_F(OptionsTest, SaveFailsQuietlyWhenDataCannotBeMade) {
    QFile blocker(AppDataFolder + "Data");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    LoadOptions();
    EXPECT_FALSE(SaveCaptureRect());
    EXPECT_FALSE(SaveMediaOptions());
}

} // namespace
