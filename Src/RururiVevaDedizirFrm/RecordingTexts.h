// The option texts, input URL and output file name of a recording, built from the options
// record alone (no window, no encoder), so that they can be checked on their own.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

#include "Options.h"

struct TRecordingTexts {
    bool NothingToRecord = false; // video and sound are both off
    QString InputOptions;         // "-f gdicapture -pause_pointer N ..."
    QString Url;                  // "video=0:audio=-1", "video=0" or "audio=-1"
    QString OutputOptions;        // "-c:a libfaac -b:a 256k -ar 44100 -c:v mpeg4 ..."
};

// pauseAddress is the address of the pause flag; haveLibfaac whether libavcodec has "libfaac".
TRecordingTexts BuildRecordingTexts(const TRecorderOptions& options, std::uintptr_t pauseAddress,
                                    bool haveLibfaac);

// folder + "YYYY-MM-DD-HH-MM-SS.mp4" of the local time `when`; when that file exists already
// (a second recording in the same second), "-2", "-3" ... before ".mp4".
QString RecordingFilePath(const QString& folder, const QDateTime& when);
