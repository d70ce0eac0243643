// The input and output option texts, the URL and the file name of a recording.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "RecordingTexts.h"

namespace {

TRecorderOptions defaults() {
    TRecorderOptions o;
    o.RecTop = 10;
    o.RecLeft = 10;
    o.RecWidth = 320;
    o.RecHeight = 240;
    o.RecordAudio = true;
    o.AudioDeviceID = 0;
    o.Audio_Bitrate = "256";
    o.Audio_SampleRate = "44100";
    o.Audio_Channels = 2;
    o.RecordVideo = true;
    o.Video_Bitrate = "1000";
    o.Video_Frames = "15";
    return o;
}

TEST(RecordingTexts, OptionTextsAndUrls) {
    struct Case {
        const char* name;
        void (*change)(TRecorderOptions&);
        bool libfaac;
        const char* input; // after "-f gdicapture -pause_pointer 4096"
        const char* url;
        const char* output;
    };
    const Case cases[] = {
        {"defaults with libfaac", [](TRecorderOptions&) {}, true,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15 -ar "
         "44100 -ac 2 -sample_fmt s16",
         "video=0:audio=-1", "-c:a libfaac -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k"},
        {"defaults without libfaac", [](TRecorderOptions&) {}, false,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15 -ar "
         "44100 -ac 2 -sample_fmt s16",
         "video=0:audio=-1",
         "-c:a aac -strict experimental -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k"},
        {"sound off", [](TRecorderOptions& o) { o.RecordAudio = false; }, true,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15",
         "video=0", "-c:a libfaac -c:v mpeg4 -s 320x240 -b:v 1000k"},
        {"device 3", [](TRecorderOptions& o) { o.AudioDeviceID = 3; }, true,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15 -ar "
         "44100 -ac 2 -sample_fmt s16",
         "video=0:audio=2", "-c:a libfaac -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k"},
        {"left screen, 29.97",
         [](TRecorderOptions& o) {
             o.RecTop = -1280;
             o.RecLeft = 0;
             o.RecWidth = 1280;
             o.RecHeight = 1024;
             o.Video_Frames = "29.97";
         },
         true,
         " -capture_offset -1280,0 -capture_flags +showframe+client+cursor -s 1280,1024 -r 29.97 "
         "-ar 44100 -ac 2 -sample_fmt s16",
         "video=0:audio=-1", "-c:a libfaac -b:a 256k -ar 44100 -c:v mpeg4 -s 1280x1024 -b:v 1000k"},
        {"64k sound", [](TRecorderOptions& o) { o.Audio_Bitrate = "64"; }, false,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15 -ar "
         "44100 -ac 2 -sample_fmt s16",
         "video=0:audio=-1",
         "-c:a aac -strict experimental -b:a 64k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k"},
        {"video bitrate 2500", [](TRecorderOptions& o) { o.Video_Bitrate = "2500"; }, false,
         " -capture_offset 10,10 -capture_flags +showframe+client+cursor -s 320,240 -r 15 -ar "
         "44100 -ac 2 -sample_fmt s16",
         "video=0:audio=-1",
         "-c:a aac -strict experimental -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 2500k"},
        {"sound only, device 2",
         [](TRecorderOptions& o) {
             o.RecordVideo = false;
             o.AudioDeviceID = 2;
         },
         false, " -ar 44100 -ac 2 -sample_fmt s16", "audio=1",
         "-c:a aac -strict experimental -b:a 256k -ar 44100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecorderOptions o = defaults();
        c.change(o);
        const TRecordingTexts t = BuildRecordingTexts(o, 4096, c.libfaac);
        EXPECT_FALSE(t.NothingToRecord);
        EXPECT_EQ(t.InputOptions.toStdString(),
                  std::string("-f gdicapture -pause_pointer 4096") + c.input);
        EXPECT_EQ(t.Url.toStdString(), c.url);
        EXPECT_EQ(t.OutputOptions.toStdString(), c.output);
    }
}

TEST(RecordingTexts, BothOffIsNothingToRecord) {
    TRecorderOptions o = defaults();
    o.RecordAudio = false;
    o.RecordVideo = false;
    EXPECT_TRUE(BuildRecordingTexts(o, 1, true).NothingToRecord);
}

TEST(RecordingTexts, PauseAddressIsTheFullPointerInDecimal) {
    const std::uintptr_t address = 0x7ffd12345678;
    EXPECT_TRUE(BuildRecordingTexts(defaults(), address, true)
                    .InputOptions.startsWith("-f gdicapture -pause_pointer 140724908873336 "));
}

TEST(RecordingTexts, FileNamesAfterTheLocalTimeNeverOverwrite) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QDateTime when(QDate(2014, 2, 3), QTime(9, 5, 7));
    EXPECT_EQ(RecordingFilePath(folder, when), folder + "2014-02-03-09-05-07.mp4");
    QFile(folder + "2014-02-03-09-05-07.mp4").open(QIODevice::WriteOnly);
    EXPECT_EQ(RecordingFilePath(folder, when), folder + "2014-02-03-09-05-07-2.mp4");
    QFile(folder + "2014-02-03-09-05-07-2.mp4").open(QIODevice::WriteOnly);
    EXPECT_EQ(RecordingFilePath(folder, when), folder + "2014-02-03-09-05-07-3.mp4");
    EXPECT_EQ(RecordingFilePath(folder, QDateTime(QDate(2014, 12, 31), QTime(23, 59, 59))),
              folder + "2014-12-31-23-59-59.mp4");
}

} // namespace
