// A recording from start to close, as the program makes it, for the fault tests: they run this in
// a process of its own on servers of their own, break something in the middle and read what it
// printed. Lines on stdout:
//   RECORDING <path>     the recording has started
//   BOX <0|1> <text>     a message box of the controller (1: with the warning icon)
//   ENDED_BY_ITSELF      the recording ended without a stop (ENDED_BY_STOP after --seconds)
//   STEP <name>          a step of the close query
//   CLOSED               the close query ran to its end
// Options: --seconds N (stop after N s unless it ended before), --no-sound,
//          --fsize-limit BYTES (files of this process cannot grow beyond; SIGXFSZ ignored).
#include "RururiVevaDedizirFrm.h"
#include "UPublic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <thread>

namespace {

void PrintLine(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void PrintBox(QWidget*, const QString& text, const QString&, bool warning) {
    QString oneLine = text;
    oneLine.replace(u'\n', u' ').replace(u'\r', u' ');
    PrintLine(QStringLiteral("BOX %1 %2").arg(warning ? 1 : 0).arg(oneLine));
}

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    bool sound = true;
    long long fsizeLimit = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--no-sound")) {
            sound = false;
        } else if (!std::strcmp(argv[i], "--fsize-limit") && i + 1 < argc) {
            fsizeLimit = std::atoll(argv[++i]);
        }
    }
    if (fsizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        rlimit limit{static_cast<rlim_t>(fsizeLimit), static_cast<rlim_t>(fsizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }

    // The window system is not the captured display: the capture device opens DISPLAY itself,
    // and a test may kill that server without taking the toolkit down with it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitAppTitle();
    InitVersionFormatSettings();
    InitAppDataFolder();
    LoadOptions();
    RecorderOptions.RecTop = 10;
    RecorderOptions.RecLeft = 10;
    RecorderOptions.RecWidth = 320;
    RecorderOptions.RecHeight = 240;
    RecorderOptions.RecordVideo = true;
    RecorderOptions.RecordAudio = sound;
    RecorderOptions.AudioDeviceID = 0;
    TfrmRururiVevaDedizir::RecordingMessageBox = PrintBox;

    auto w = std::make_unique<TfrmRururiVevaDedizir>();
    w->btnStartClick();
    if (!IsRecording) {
        std::fprintf(stderr, "%s\n", w->mmoLog->toPlainText().toUtf8().constData());
        PrintLine(QStringLiteral("NOT_RECORDING"));
    } else {
        PrintLine(QStringLiteral("RECORDING ") + LastRecordingFile);
        QElapsedTimer t;
        t.start();
        while (!w->btnStart->isEnabled() && t.elapsed() < seconds * 1000) {
            Pump(20);
        }
        if (w->btnStart->isEnabled()) {
            PrintLine(QStringLiteral("ENDED_BY_ITSELF"));
        } else {
            w->btnStopClick();
            PrintLine(QStringLiteral("ENDED_BY_STOP"));
        }
    }
    w->ConfirmCloseWhileRecording = [] { return true; };
    w->OnCloseQueryStep = [](const char* step) {
        PrintLine(QStringLiteral("STEP ") + QString::fromUtf8(step));
    };
    w->FormCloseQuery();
    std::fprintf(stderr, "%s\n", w->mmoLog->toPlainText().toUtf8().constData());
    w.reset();
    PrintLine(QStringLiteral("CLOSED"));
    return 0;
}
