// Records the screen through the same path as the main window's Record button (the option texts
// of the controller, the capture device and the encoder component) and prints figures:
//   kvc_record_bench record W H FPS SECONDS OUT.mp4   -> "frames_lost N", "cpu_s X", "maxrss_kb N"
//   kvc_record_bench content W H                      -> a window of moving content at 0,0
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include "FFEncoder.h"
#include "FFLogger.h"
#include "GDICapture.h"
#include "RecordingTexts.h"
#include "TestMedia.h"

namespace {

class TContent : public QWidget {
public:
    TContent(int w, int h) {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(0, 0, w, h);
        for (int k = 0; k < 30; ++k) {
            FFrames.push_back(PatternFrame(w, h, k));
        }
        connect(&FTimer, &QTimer::timeout, this, [this] {
            FNumber = (FNumber + 1) % static_cast<int>(FFrames.size());
            update();
        });
        FTimer.start(16);
    }
    void paintEvent(QPaintEvent*) override {
        const QImage img(FFrames[FNumber].data(), width(), height(), width() * 4,
                         QImage::Format_RGB32);
        QPainter(this).drawImage(0, 0, img);
    }

private:
    std::vector<std::vector<uint8_t>> FFrames;
    QTimer FTimer;
    int FNumber = 0;
};

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
           ru.ru_stime.tv_usec / 1e6;
}

int record(int w, int h, const char* fps, double seconds, const char* out) {
    int32_t pauseFlag = 0;
    TRecorderOptions o;
    o.RecTop = 0;
    o.RecLeft = 0;
    o.RecWidth = w;
    o.RecHeight = h;
    o.RecordAudio = true;
    o.AudioDeviceID = 0;
    o.Audio_Bitrate = "256";
    o.Audio_SampleRate = "44100";
    o.Audio_Channels = 2;
    o.RecordVideo = true;
    o.Video_Bitrate = "1000";
    o.Video_Frames = fps;
    const TRecordingTexts t =
        BuildRecordingTexts(o, reinterpret_cast<std::uintptr_t>(&pauseFlag), false);

    TFFLogger logger;
    long long lost = 0, dropped = 0;
    logger.OnLog = [&](QObject*, int32_t, TLogLevel, const std::string& line) {
        static const QRegularExpression lostRe("We lost (\\d+) frames");
        static const QRegularExpression droppedRe("(\\d+) frames were dropped");
        const QString text = QString::fromStdString(line);
        if (auto m = lostRe.match(text); m.hasMatch())
            lost += m.captured(1).toLongLong();
        if (auto m = droppedRe.match(text); m.hasMatch())
            dropped += m.captured(1).toLongLong();
        if (text.contains("frame dropped!"))
            ++dropped;
    };
    TFFEncoder enc;
    if (!enc.LoadAVLib("")) {
        std::fprintf(stderr, "%s\n", enc.LastErrMsg().c_str());
        return 1;
    }
    register_gdicapture();
    TInputOptions in;
    in.Options = t.InputOptions.toStdString();
    const double cpu0 = cpuSeconds();
    if (enc.AddTask(t.Url.toStdString(), in) < 0) {
        std::fprintf(stderr, "%s\n", enc.LastErrMsg().c_str());
        return 1;
    }
    TOutputOptions oo;
    oo.Options = t.OutputOptions.toStdString();
    if (enc.SetOutput(0, out, oo) < 0) {
        std::fprintf(stderr, "%s\n", enc.LastErrMsg().c_str());
        return 1;
    }
    enc.Start(1);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < seconds * 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    enc.Stop(true);
    QApplication::processEvents();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("wall_s %.3f\nframes_lost %lld\nframes_dropped %lld\ncpu_s %.3f\nmaxrss_kb %ld\n",
                timer.elapsed() / 1000.0, lost, dropped, cpuSeconds() - cpu0, ru.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "content") == 0) {
        TContent content(std::atoi(argv[2]), std::atoi(argv[3]));
        content.show();
        return QApplication::exec();
    }
    if (argc >= 7 && std::strcmp(argv[1], "record") == 0)
        return record(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], std::atof(argv[5]), argv[6]);
    std::fprintf(stderr, "usage: %s record W H FPS SECONDS OUT | content W H\n", argv[0]);
    return 2;
}
