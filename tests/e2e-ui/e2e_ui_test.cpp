// The whole program driven like a person would, with synthetic mouse input (xdotool) on the
// private display: mark a rectangle with the Mark window (move it and size it), record a few
// seconds with the Record image, stop, and check that the MP4 holds exactly that rectangle of
// the screen and that the recording is in the list the recordings dialog shows.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

namespace {

QString g_program;

QString run(const QString& tool, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(20000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString xdotool(const QStringList& args) {
    return run("xdotool", args);
}

// The first visible window whose name matches, waiting up to five seconds.
QString findWindow(const QString& name) {
    for (int i = 0; i < 50; ++i) {
        const QString out = xdotool({"search", "--onlyvisible", "--name", name});
        if (!out.isEmpty())
            return out.split('\n').first();
        QTest::qWait(100);
    }
    return {};
}

QRect geometry(const QString& window) {
    const QString out = xdotool({"getwindowgeometry", "--shell", window});
    QRect r;
    for (const QString& line : out.split('\n')) {
        const auto kv = line.split('=');
        if (kv.size() != 2)
            continue;
        const int v = kv[1].toInt();
        if (kv[0] == "X")
            r.moveLeft(v);
        else if (kv[0] == "Y")
            r.moveTop(v);
        else if (kv[0] == "WIDTH")
            r.setWidth(v);
        else if (kv[0] == "HEIGHT")
            r.setHeight(v);
    }
    return r;
}

void moveTo(QPoint p) {
    xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())});
    QTest::qWait(150);
}

void clickAt(QPoint p) {
    moveTo(p);
    xdotool({"click", "1"});
    QTest::qWait(300);
}

// Presses at `from`, moves to `to` in a few steps with the button held, releases.
void dragFromTo(QPoint from, QPoint to) {
    moveTo(from);
    xdotool({"mousedown", "1"});
    QTest::qWait(100);
    for (int i = 1; i <= 5; ++i) {
        moveTo(from + (to - from) * i / 5);
    }
    xdotool({"mouseup", "1"});
    QTest::qWait(300);
}

QString documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace

class E2eUiTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QSKIP("needs DISPLAY and PULSE_SERVER; run under scripts/test-env");
        for (const char* tool : {"xdotool", "ffprobe", "ffmpeg"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString("needs %1 (scripts/install-deps)").arg(tool)));
    }

    void markRecordStopAndList() {
        const QString folder = documentsFolder() + "/Kestrovane/VideoCapture/";
        QDir(folder).removeRecursively();

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(g_program, {});
        QVERIFY(program.waitForStarted());
        const QString main = findWindow("^Kestrovane Video Capture$");
        QVERIFY(!main.isEmpty());
        QTest::qWait(500);
        const QRect mw = geometry(main);
        QCOMPARE(mw.size(), QSize(340, 200));

        // The Mark image opens the Mark window, centred (over the main window).
        clickAt(mw.topLeft() + QPoint(60, 123));
        const QString mark = findWindow("^MarkVideoWindow$");
        QVERIFY(!mark.isEmpty());
        QTest::qWait(300);
        const QRect m0 = geometry(mark);
        // Move it by its surface so that it covers the main window with a margin ...
        const QPoint target = mw.topLeft() - QPoint(90, 40);
        dragFromTo(m0.center(), m0.center() + (target - m0.topLeft()));
        QTRY_COMPARE(geometry(mark).topLeft(), target);
        // ... and size it by its bottom-right corner to 480 x 272.
        const QRect m1 = geometry(mark);
        const QPoint corner = m1.bottomRight() - QPoint(2, 2);
        dragFromTo(corner, corner + QPoint(480 - m1.width(), 272 - m1.height()));
        QTRY_COMPARE(geometry(mark).size(), QSize(480, 272));
        const QRect marked = geometry(mark);
        // Accept.
        clickAt(marked.topLeft() + QPoint(48, 23));
        QTRY_VERIFY(xdotool({"search", "--onlyvisible", "--name", "^MarkVideoWindow$"}).isEmpty());

        // Record for a few seconds with the Record image, then press it again.
        clickAt(mw.topLeft() + QPoint(42, 178));
        QTest::qWait(3500);
        clickAt(mw.topLeft() + QPoint(44, 180));
        const QStringList files = QDir(folder).entryList({"*.mp4"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString file = folder + files.first();
        // The stop finishes the file (its index written at the end) and then it stays as it is.
        qint64 size = -1;
        for (int i = 0; i < 40 && QFileInfo(file).size() != size; ++i) {
            size = QFileInfo(file).size();
            QTest::qWait(500);
        }
        QCOMPARE(QFileInfo(file).size(), size);

        // The file: that rectangle, a few seconds, with sound.
        const QString streams =
            run("ffprobe", {"-v", "error", "-show_entries",
                            "stream=codec_type,codec_name,width,height", "-of", "csv=p=0", file});
        QVERIFY2(streams.contains("mpeg4,video,480,272"), qPrintable(streams));
        QVERIFY2(streams.contains("aac,audio"), qPrintable(streams));
        const double seconds = run("ffprobe", {"-v", "error", "-show_entries", "format=duration",
                                               "-of", "csv=p=0", file})
                                   .toDouble();
        QVERIFY2(seconds > 2.5 && seconds < 6.0, qPrintable(QString::number(seconds)));

        // Its picture is that part of the screen: the main window's blue strip where the main
        // window lies inside it, the black root window in its top-left corner.
        QProcess ff;
        ff.start("ffmpeg", {"-v", "error", "-ss", "1", "-i", file, "-frames:v", "1", "-f",
                            "rawvideo", "-pix_fmt", "rgb24", "-"});
        QVERIFY(ff.waitForFinished(20000));
        const QByteArray rgb = ff.readAllStandardOutput();
        QCOMPARE(rgb.size(), 480 * 272 * 3);
        const auto pixel = [&](QPoint screen) {
            const QPoint p = screen - marked.topLeft();
            const int i = (p.y() * 480 + p.x()) * 3;
            return QColor(uchar(rgb[i]), uchar(rgb[i + 1]), uchar(rgb[i + 2]));
        };
        const QColor strip = pixel(mw.topLeft() + QPoint(300, 196)); // under the Options image
        QVERIFY2(strip.blue() > strip.red() + 40, qPrintable(strip.name()));
        const QColor root = pixel(marked.topLeft() + QPoint(6, 6));
        QVERIFY2(root.red() < 40 && root.green() < 40 && root.blue() < 40, qPrintable(root.name()));

        // The recordings dialog opens from the Help image's menu (its first item).
        clickAt(mw.topLeft() + QPoint(298, 9));
        xdotool({"key", "Down", "Return"});
        const QString dialog = findWindow("^Saved Recordings$");
        QVERIFY(!dialog.isEmpty());
        xdotool({"key", "Escape"});
        QTest::qWait(300);

        // Close with the Close image; the close query writes the list and the rectangle.
        clickAt(mw.topLeft() + QPoint(331, 9));
        if (program.state() != QProcess::NotRunning)
            QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QFile list(folder + "Data/SavedRecordings");
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(list.readAll()).contains(file + "|MP4|"));
        QSettings ini(folder + "Data/options.ini", QSettings::IniFormat);
        if (QFile::exists(ini.fileName())) {
            // "General" is QSettings' top level; RecTop holds the X.
            QCOMPARE(ini.value("RecTop").toInt(), marked.x());
            QCOMPARE(ini.value("RecLeft").toInt(), marked.y());
            QCOMPARE(ini.value("RecWidth").toInt(), 480);
            QCOMPARE(ini.value("RecHeight").toInt(), 272);
        }
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <program> [Qt Test options]\n", argv[0]);
        return 2;
    }
    g_program = QString::fromLocal8Bit(argv[1]);
    // The rest are Qt Test's own options.
    QStringList args = app.arguments();
    args.removeAt(1);
    E2eUiTest test;
    return QTest::qExec(&test, args);
}
#include "e2e_ui_test.moc"
