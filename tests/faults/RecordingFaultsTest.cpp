// Faults in the middle of a recording: the X server goes away, the sound server is killed, the
// disk refuses to take more. The recording runs in a process of its own (fault_recorder) on an X
// server and a sound server that this test starts itself; each case must end by itself without a
// hang or crash, run the close query to its end and leave a file that plays.
#include "PrivateServers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#ifndef KVC_FAULT_RECORDER
#error "KVC_FAULT_RECORDER must name the fault_recorder executable"
#endif

namespace {

enum class TFault { KillX, KillSound, FileSizeLimit };

struct TCase {
    const char* name;
    TFault fault;
    bool sound;
    bool warningBox;     // the recording's end is reported with a warning box
    const char* logLine; // a line the log must hold ("" for none)
};

const TCase Cases[] = {
    {"x_server_lost", TFault::KillX, true, true, ""},
    {"sound_server_killed", TFault::KillSound, true, false, "waveIn device closed."},
    {"file_size_limit", TFault::FileSizeLimit, true, true, ""},
};

struct TProbe {
    bool ok = false;
    double durationS = 0;
    int videoFrames = 0;
    bool audio = false;
    QString errors;
};

// What ffprobe makes of the file, decoding every video frame.
TProbe Probe(const QString& path) {
    TProbe p;
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                 QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration:stream=codec_type,nb_read_frames"),
                 QStringLiteral("-of"), QStringLiteral("flat"), path});
    if (!probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished();
        p.errors = QStringLiteral("ffprobe did not finish");
        return p;
    }
    p.errors = QString::fromUtf8(probe.readAllStandardError());
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QString key = line.section(u'=', 0, 0);
        QString value = line.section(u'=', 1);
        value.remove(u'"');
        if (key == QStringLiteral("format.duration")) {
            p.durationS = value.toDouble();
        } else if (key.endsWith(QStringLiteral(".codec_type")) &&
                   value == QStringLiteral("audio")) {
            p.audio = true;
        } else if (key.endsWith(QStringLiteral(".nb_read_frames"))) {
            p.videoFrames = std::max(p.videoFrames, value.toInt());
        }
    }
    p.ok = probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    return p;
}

class RecordingFaults : public ::testing::TestWithParam<TCase> {
protected:
    void SetUp() override {
        QString error;
        if (!FX.Start(&error)) {
            GTEST_SKIP() << error.toStdString();
        }
        if (GetParam().sound && !FSound.Start(&error)) {
            GTEST_SKIP() << error.toStdString();
        }
        ASSERT_TRUE(FHome.isValid());
        ASSERT_TRUE(QDir().mkpath(FHome.path() + QStringLiteral("/Documents")));
    }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = FHome.path();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("DISPLAY"), FX.Display());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (FSound.Running()) {
            env.insert(QStringLiteral("PULSE_SERVER"), FSound.Server());
            env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), FSound.RuntimePath());
        } else {
            env.remove(QStringLiteral("PULSE_SERVER"));
        }
        return env;
    }

    // Waits until the recorder printed a line starting with prefix; false on time-out or exit.
    bool WaitForLine(QProcess& recorder, const QString& prefix, int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            recorder.waitForReadyRead(100);
            FOutput += QString::fromUtf8(recorder.readAllStandardOutput());
            for (const QString& line : FOutput.split(u'\n')) {
                if (line.startsWith(prefix)) {
                    return true;
                }
            }
            if (recorder.state() == QProcess::NotRunning) {
                return false;
            }
        }
        return false;
    }

    QStringList Lines(const QString& prefix) const {
        QStringList found;
        for (const QString& line : FOutput.split(u'\n')) {
            if (line.startsWith(prefix)) {
                found.append(line.mid(prefix.size()));
            }
        }
        return found;
    }

    TPrivateXServer FX;
    TPrivateSoundServer FSound;
    QTemporaryDir FHome;
    QString FOutput;
};

TEST_P(RecordingFaults, EndsCleanlyAndTheFilePlays) {
    const TCase& c = GetParam();
    QStringList args{QStringLiteral("--seconds"), QStringLiteral("20")};
    if (!c.sound) {
        args << QStringLiteral("--no-sound");
    }
    if (c.fault == TFault::FileSizeLimit) {
        args << QStringLiteral("--fsize-limit") << QString::number(96 * 1024);
    }
    QProcess recorder;
    recorder.setProcessEnvironment(Environment());
    recorder.start(QStringLiteral(KVC_FAULT_RECORDER), args);
    ASSERT_TRUE(recorder.waitForStarted(10000));
    ASSERT_TRUE(WaitForLine(recorder, QStringLiteral("RECORDING "), 20000))
        << FOutput.toStdString() << recorder.readAllStandardError().toStdString();

    std::this_thread::sleep_for(std::chrono::seconds(2));
    if (c.fault == TFault::KillX) {
        FX.Kill();
    } else if (c.fault == TFault::KillSound) {
        FSound.Kill();
    }

    const bool closed = WaitForLine(recorder, QStringLiteral("CLOSED"), 30000);
    if (!recorder.waitForFinished(10000)) {
        recorder.kill();
        recorder.waitForFinished();
    }
    const QString log = QString::fromUtf8(recorder.readAllStandardError());
    FOutput += QString::fromUtf8(recorder.readAllStandardOutput());
    SCOPED_TRACE("output:\n" + FOutput.toStdString() + "log:\n" + log.toStdString());
    ASSERT_TRUE(closed) << "the recorder hung";
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(recorder.exitCode(), 0);
    EXPECT_EQ(Lines(QStringLiteral("ENDED_BY_ITSELF")).size(), 1);
    EXPECT_EQ(Lines(QStringLiteral("STEP ")),
              (QStringList{"SaveSavedRecordings", "SaveCaptureRect", "DetachEncoderReports",
                           "StopEncoder", "DetachLogger"}));

    const QStringList boxes = Lines(QStringLiteral("BOX "));
    if (c.warningBox) {
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("1 ")));
    } else {
        EXPECT_TRUE(boxes.isEmpty());
    }
    if (*c.logLine) {
        EXPECT_TRUE(log.contains(QString::fromUtf8(c.logLine)));
    }

    const QString file = Lines(QStringLiteral("RECORDING ")).value(0);
    ASSERT_TRUE(QFileInfo::exists(file)) << "the recording was lost";
    const TProbe probe = Probe(file);
    EXPECT_TRUE(probe.ok) << probe.errors.toStdString();
    EXPECT_TRUE(probe.errors.isEmpty()) << probe.errors.toStdString();
    EXPECT_GT(probe.videoFrames, 10);
    EXPECT_GT(probe.durationS, 0.7);
    if (c.sound) {
        EXPECT_TRUE(probe.audio);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, RecordingFaults, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
