// A long recording through the main window's controller, as a user makes one: the whole screen
// (1920x1080) at 15 fps with the default sound source, while a window changes the picture.
// Prints the resident memory at every interval, then frames written against expected, frames
// lost and dropped, and where sound and picture start and end in the file.
//   kvc_soak_bench [MINUTES] [--interval SECONDS]     (default 30 minutes, 60 s)
// Needs DISPLAY and PULSE_SERVER: run it with bench/soak/run-soak or under scripts/test-env.
#include "RururiVevaDedizirFrm.h"
#include "UPublic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Full-screen moving bands, redrawn at 15 Hz: the encoder gets real work every frame.
class TMovingContent : public QWidget {
public:
    TMovingContent() {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(0, 0, 1920, 1080);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            ++FStep;
            update();
        });
        FTimer.start(66);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int band = 0; band < 24; ++band) {
            const int hue = (band * 15 + FStep * 3) % 360;
            p.fillRect(0, band * 45, width(), 45, QColor::fromHsv(hue, 200, 220));
        }
        const int x = (FStep * 16) % width();
        p.fillRect(x, 0, 120, height(), Qt::black);
        p.setPen(Qt::white);
        p.drawText(40, 40, QString::number(FStep));
    }

private:
    QTimer FTimer;
    int FStep = 0;
};

double ResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// One value of one stream from ffprobe ("" when there is none).
QString ProbeStream(const QString& file, const char* stream, const char* entry, bool count) {
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"),
                     QStringLiteral("-select_streams"), QString::fromLatin1(stream)};
    if (count) {
        args << QStringLiteral("-count_packets");
    }
    args << QStringLiteral("-show_entries") << QStringLiteral("stream=") + QLatin1String(entry)
         << QStringLiteral("-of") << QStringLiteral("csv=p=0") << file;
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), args);
    probe.waitForFinished(600000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

long long SumOf(const QString& log, const QString& pattern) {
    long long sum = 0;
    const QRegularExpression re(pattern);
    for (auto it = re.globalMatch(log); it.hasNext();) {
        const auto m = it.next();
        sum += m.lastCapturedIndex() >= 1 ? m.captured(1).toLongLong() : 1;
    }
    return sum;
}

int g_boxes = 0;
void CountBox(QWidget*, const QString& text, const QString&, bool) {
    ++g_boxes;
    std::printf("message box: %s\n", text.toUtf8().constData());
}

} // namespace

int main(int argc, char** argv) {
    double minutes = 30;
    int interval = 60;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--interval") && i + 1 < argc) {
            interval = std::max(1, std::atoi(argv[++i]));
        } else {
            minutes = std::atof(argv[i]);
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr,
                     "kvc_soak_bench: needs DISPLAY and PULSE_SERVER (bench/soak/run-soak)\n");
        return 2;
    }
    QApplication app(argc, argv);
    InitAppTitle();
    InitVersionFormatSettings();
    InitAppDataFolder();
    LoadOptions();
    RecorderOptions.RecTop = 0;
    RecorderOptions.RecLeft = 0;
    RecorderOptions.RecWidth = 1920;
    RecorderOptions.RecHeight = 1080;
    RecorderOptions.RecordAudio = true;
    RecorderOptions.AudioDeviceID = 0;
    RecorderOptions.RecordVideo = true;
    RecorderOptions.Video_Frames = QStringLiteral("15");
    TfrmRururiVevaDedizir::RecordingMessageBox = CountBox;

    TMovingContent content;
    content.show();
    Pump(1000);
    auto w = std::make_unique<TfrmRururiVevaDedizir>();
    w->btnStartClick();
    if (!IsRecording) {
        std::fprintf(stderr, "not recording:\n%s\n", w->mmoLog->toPlainText().toUtf8().constData());
        return 1;
    }
    const QString file = LastRecordingFile;
    std::printf("soak: %.1f min at 1920x1080, 15 fps, with sound -> %s\n", minutes,
                file.toUtf8().constData());
    std::printf("%8s %10s %12s\n", "time_s", "rss_mb", "file_mb");
    std::fflush(stdout);

    const qint64 total = static_cast<qint64>(minutes * 60000);
    QElapsedTimer t;
    t.start();
    double firstRss = -1, lastRss = -1, peakRss = 0;
    qint64 nextReport = std::min<qint64>(interval * 1000LL, total);
    bool endedEarly = false;
    while (t.elapsed() < total) {
        Pump(100);
        if (w->btnStart->isEnabled()) {
            endedEarly = true;
            break;
        }
        if (t.elapsed() >= nextReport) {
            lastRss = ResidentMb();
            if (firstRss < 0) {
                firstRss = lastRss;
            }
            peakRss = std::max(peakRss, lastRss);
            std::printf("%8.0f %10.1f %12.1f\n", t.elapsed() / 1000.0, lastRss,
                        QFileInfo(file).size() / 1048576.0);
            std::fflush(stdout);
            nextReport += interval * 1000LL;
        }
    }
    const double recordedS = t.elapsed() / 1000.0;
    w->btnStopClick();
    Pump(200);
    const QString log = w->mmoLog->toPlainText();
    w.reset();

    const long long lost = SumOf(log, QStringLiteral("We lost (\\d+) frames"));
    const long long dropped = SumOf(log, QStringLiteral("frame dropped!")) +
                              SumOf(log, QStringLiteral("(\\d+) frames were dropped"));
    const int frames = ProbeStream(file, "v:0", "nb_read_packets", true).toInt();
    const double vStart = ProbeStream(file, "v:0", "start_time", false).toDouble();
    const double vDur = ProbeStream(file, "v:0", "duration", false).toDouble();
    const double aStart = ProbeStream(file, "a:0", "start_time", false).toDouble();
    const double aDur = ProbeStream(file, "a:0", "duration", false).toDouble();

    std::printf("recorded_s %.1f%s\n", recordedS, endedEarly ? " (ended by itself)" : "");
    std::printf("rss_first_mb %.1f rss_last_mb %.1f rss_peak_mb %.1f growth_after_first_mb %.1f\n",
                firstRss, lastRss, peakRss, lastRss - firstRss);
    std::printf("frames_written %d expected %.0f\n", frames, recordedS * 15);
    std::printf("frames_lost %lld frames_dropped %lld message_boxes %d\n", lost, dropped, g_boxes);
    std::printf("video %.3f..%.3f s, audio %.3f..%.3f s\n", vStart, vStart + vDur, aStart,
                aStart + aDur);
    std::printf("av_offset_start_ms %.1f av_offset_end_ms %.1f (audio minus video)\n",
                (aStart - vStart) * 1000, (aStart + aDur - vStart - vDur) * 1000);
    return endedEarly ? 1 : 0;
}
