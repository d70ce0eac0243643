#include "Options.h"

#include "AppState.h"
#include "FormatText.h"
#include "IniFile.h"

#include <QDir>
#include <QFileInfo>

TRecorderOptions RecorderOptions;

namespace {

const QString General = QStringLiteral("General");
const QString Audio = QStringLiteral("Audio");
const QString Video = QStringLiteral("Video");

int32_t IntDef(const QString& text, int32_t def) {
    int32_t v = 0;
    return TryStrToInt32(text, v) ? v : def;
}

// On when the lowest 8 bits are not all zero (256 is off); on when the text is no number.
bool FlagDef(const QString& text) {
    int32_t v = 0;
    if (!TryStrToInt32(text, v)) {
        return true;
    }
    return (v & 0xff) != 0;
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Opens the options file for a write, creating "Data/" when needed. False when the folder
// cannot be made or an existing file cannot be read (it is then left alone).
bool OpenForWrite(TIniFile& ini) {
    if (AppDataFolder.isEmpty()) {
        return false;
    }
    if (!QDir().mkpath(AppDataFolder + QStringLiteral("Data"))) {
        return false;
    }
    const QString path = OptionsFilePath();
    bool ok = false;
    ini = TIniFile::FromFile(path, &ok);
    return ok || !QFileInfo::exists(path);
}

} // namespace

QString OptionsFilePath() {
    return AppDataFolder + QStringLiteral("Data/options.ini");
}

bool IsIntegerText(const QString& text) {
    const QString t = TrimText(text);
    int64_t v = 0;
    return !t.isEmpty() && TryStrToInt64(t, v);
}

bool IsFloatText(const QString& text) {
    const QString t = TrimText(text);
    double v = 0;
    return !t.isEmpty() && TryStrToFloat(t, v, LocaleDecimalSeparator());
}

void LoadOptions() {
    TRecorderOptions& o = RecorderOptions;
    o.Audio_SampleRate = QStringLiteral("44100");
    o.Audio_Channels = 2;
    const QString path = OptionsFilePath();
    if (AppDataFolder.isEmpty() || !QFileInfo::exists(path)) {
        o.RecTop = 10;
        o.RecLeft = 10;
        o.RecWidth = 320;
        o.RecHeight = 240;
        o.RecordAudio = true;
        o.AudioDeviceID = 0;
        o.Audio_Bitrate = QStringLiteral("256");
        o.RecordVideo = true;
        o.Video_Bitrate = QStringLiteral("1000");
        o.Video_Frames = QStringLiteral("15");
        o.Video_Format = 0;
        return;
    }
    const TIniFile ini = TIniFile::FromFile(path);
    o.RecTop = IntDef(ini.ReadString(General, QStringLiteral("RecTop"), QStringLiteral("10")), 10);
    o.RecLeft =
        IntDef(ini.ReadString(General, QStringLiteral("RecLeft"), QStringLiteral("10")), 10);
    o.RecWidth =
        IntDef(ini.ReadString(General, QStringLiteral("RecWidth"), QStringLiteral("320")), 320);
    o.RecHeight =
        IntDef(ini.ReadString(General, QStringLiteral("RecHeight"), QStringLiteral("240")), 240);
    o.RecordAudio =
        FlagDef(ini.ReadString(Audio, QStringLiteral("RecordAudio"), QStringLiteral("1")));
    o.AudioDeviceID =
        IntDef(ini.ReadString(Audio, QStringLiteral("AudioDeviceID"), QStringLiteral("0")), 0);
    const QString audioBitrate =
        ini.ReadString(Audio, QStringLiteral("Audio_Bitrate"), QStringLiteral("256"));
    o.Audio_Bitrate = IsIntegerText(audioBitrate) ? audioBitrate : QStringLiteral("256");
    o.RecordVideo =
        FlagDef(ini.ReadString(Video, QStringLiteral("RecordVideo"), QStringLiteral("1")));
    const QString videoBitrate =
        ini.ReadString(Video, QStringLiteral("Video_Bitrate"), QStringLiteral("1000"));
    o.Video_Bitrate = IsIntegerText(videoBitrate) ? videoBitrate : QStringLiteral("1000");
    const QString frames =
        ini.ReadString(Video, QStringLiteral("Video_Frames"), QStringLiteral("15"));
    o.Video_Frames = IsFloatText(frames) ? frames : QStringLiteral("15");
    o.Video_Format =
        IntDef(ini.ReadString(Video, QStringLiteral("Video_Format"), QStringLiteral("0")), 0);
}

bool SaveMediaOptions() {
    TIniFile ini;
    if (!OpenForWrite(ini)) {
        return false;
    }
    const TRecorderOptions& o = RecorderOptions;
    ini.WriteString(Audio, QStringLiteral("RecordAudio"), Flag(o.RecordAudio));
    ini.WriteString(Audio, QStringLiteral("AudioDeviceID"), QString::number(o.AudioDeviceID));
    ini.WriteString(Audio, QStringLiteral("Audio_Bitrate"), o.Audio_Bitrate);
    ini.WriteString(Video, QStringLiteral("RecordVideo"), Flag(o.RecordVideo));
    ini.WriteString(Video, QStringLiteral("Video_Bitrate"), o.Video_Bitrate);
    ini.WriteString(Video, QStringLiteral("Video_Frames"), o.Video_Frames);
    ini.WriteString(Video, QStringLiteral("Video_Format"), QString::number(o.Video_Format));
    return ini.SaveToFile(OptionsFilePath());
}

bool SaveCaptureRect() {
    TIniFile ini;
    if (!OpenForWrite(ini)) {
        return false;
    }
    const TRecorderOptions& o = RecorderOptions;
    ini.WriteString(General, QStringLiteral("RecTop"), QString::number(o.RecTop));
    ini.WriteString(General, QStringLiteral("RecLeft"), QString::number(o.RecLeft));
    ini.WriteString(General, QStringLiteral("RecWidth"), QString::number(o.RecWidth));
    ini.WriteString(General, QStringLiteral("RecHeight"), QString::number(o.RecHeight));
    return ini.SaveToFile(OptionsFilePath());
}
