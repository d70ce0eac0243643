// The program's settings: one process-wide record, loaded from "Data/options.ini" under
// AppDataFolder at start-up and written back by two narrow save operations.
#pragma once

#include <QString>

#include <cstdint>

struct TRecorderOptions {
    // The capture rectangle. Note the names: RecTop holds the screen X of the left edge and
    // RecLeft the screen Y of the top edge. Stored files rely on this, so it stays.
    int32_t RecTop = 0;
    int32_t RecLeft = 0;
    int32_t RecWidth = 0;
    int32_t RecHeight = 0;
    bool RecordAudio = false;
    int32_t AudioDeviceID = 0;  // position in the Options dialog's device list; 0 = default
    QString Audio_Bitrate;      // kbit/s as decimal text
    QString Audio_SampleRate;   // always "44100"
    int32_t Audio_Channels = 0; // always 2
    bool RecordVideo = false;
    QString Video_Bitrate;    // kbit/s as decimal text
    QString Video_Frames;     // frames per second as text, may have a fraction ("29.97")
    int32_t Video_Format = 0; // 0 = MP4, the only format
};

// Used on the GUI thread only.
extern TRecorderOptions RecorderOptions;

// AppDataFolder + "Data/options.ini".
QString OptionsFilePath();

// Fills every field of RecorderOptions from the options file, or with the defaults when the
// file does not exist (10, 10, 320, 240, on, 0, "256", "44100", 2, on, "1000", "15", 0). A value
// that does not convert takes its field's default. Creates nothing.
void LoadOptions();

// Trimmed text that is a signed 64-bit integer (decimal, or hex after "$", "x" or "0x").
bool IsIntegerText(const QString& text);
// Trimmed text that is a floating-point number with the decimal separator of the user's locale.
bool IsFloatText(const QString& text);

// Writes RecordAudio, AudioDeviceID, Audio_Bitrate, RecordVideo, Video_Bitrate, Video_Frames and
// Video_Format. Creates "Data/" and the file when missing. Returns whether the write succeeded;
// callers need not report a failure.
bool SaveMediaOptions();
// Writes RecTop, RecLeft, RecWidth and RecHeight to section General; otherwise as above.
bool SaveCaptureRect();
