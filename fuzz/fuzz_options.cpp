// The options file on any bytes: loading gives values of the right shape, and saving them into
// that same file and loading again gives the same values (the saves edit hostile files safely).
#include "AppState.h"
#include "FuzzCheck.h"
#include "Options.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

bool Same(const TRecorderOptions& a, const TRecorderOptions& b) {
    return a.RecTop == b.RecTop && a.RecLeft == b.RecLeft && a.RecWidth == b.RecWidth &&
           a.RecHeight == b.RecHeight && a.RecordAudio == b.RecordAudio &&
           a.AudioDeviceID == b.AudioDeviceID && a.Audio_Bitrate == b.Audio_Bitrate &&
           a.Audio_SampleRate == b.Audio_SampleRate && a.Audio_Channels == b.Audio_Channels &&
           a.RecordVideo == b.RecordVideo && a.Video_Bitrate == b.Video_Bitrate &&
           a.Video_Frames == b.Video_Frames && a.Video_Format == b.Video_Format;
}

QTemporaryDir* Folder() {
    // On tmpfs when there is one: the target writes the file twice per input.
    static QTemporaryDir* dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        auto* d = new QTemporaryDir(base + QStringLiteral("/kvc-fuzz-options-XXXXXX"));
        AppDataFolder = d->path() + u'/';
        QDir().mkpath(AppDataFolder + QStringLiteral("Data"));
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Folder();
    {
        QFile file(OptionsFilePath());
        KVC_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        KVC_FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                       static_cast<qint64>(size));
    }
    LoadOptions();
    const TRecorderOptions loaded = RecorderOptions;
    KVC_FUZZ_CHECK(IsIntegerText(loaded.Audio_Bitrate));
    KVC_FUZZ_CHECK(IsIntegerText(loaded.Video_Bitrate));
    KVC_FUZZ_CHECK(IsFloatText(loaded.Video_Frames));
    KVC_FUZZ_CHECK(loaded.Audio_SampleRate == QStringLiteral("44100"));
    KVC_FUZZ_CHECK(loaded.Audio_Channels == 2);

    KVC_FUZZ_CHECK(SaveCaptureRect());
    KVC_FUZZ_CHECK(SaveMediaOptions());
    LoadOptions();
    KVC_FUZZ_CHECK(Same(loaded, RecorderOptions));
    return 0;
}
