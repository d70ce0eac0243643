#include "RecordingTexts.h"

#include <QFileInfo>

TRecordingTexts BuildRecordingTexts(const TRecorderOptions& o, std::uintptr_t pauseAddress,
                                    bool haveLibfaac) {
    TRecordingTexts t;
    t.NothingToRecord = !o.RecordVideo && !o.RecordAudio;

    t.InputOptions = "-f gdicapture -pause_pointer " + QString::number(pauseAddress);
    if (o.RecordVideo)
        t.InputOptions +=
            " -capture_offset " + QString::number(o.RecTop) + "," + QString::number(o.RecLeft) +
            " -capture_flags +showframe+client+cursor -s " + QString::number(o.RecWidth) + "," +
            QString::number(o.RecHeight) + " -r " + o.Video_Frames;
    if (o.RecordAudio)
        t.InputOptions += " -ar " + o.Audio_SampleRate + " -ac " +
                          QString::number(o.Audio_Channels) + " -sample_fmt s16";

    const QString device = QString::number(static_cast<qint64>(o.AudioDeviceID) - 1);
    if (o.RecordVideo)
        t.Url = o.RecordAudio ? "video=0:audio=" + device : QString("video=0");
    else if (o.RecordAudio)
        t.Url = "audio=" + device;

    t.OutputOptions = haveLibfaac ? "-c:a libfaac" : "-c:a aac -strict experimental";
    if (o.RecordAudio)
        t.OutputOptions += " -b:a " + o.Audio_Bitrate + "k -ar " + o.Audio_SampleRate;
    if (o.RecordVideo)
        t.OutputOptions += " -c:v mpeg4 -s " + QString::number(o.RecWidth) + "x" +
                           QString::number(o.RecHeight) + " -b:v " + o.Video_Bitrate + "k";
    return t;
}

QString RecordingFilePath(const QString& folder, const QDateTime& when) {
    // Fixed digits, whatever the regional settings.
    const QString base = folder + when.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    QString path = base + ".mp4";
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + "-" + QString::number(n) + ".mp4";
    return path;
}
