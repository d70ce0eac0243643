// Only one copy runs per session: tested with real processes.
#include "SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

// Starts the lock holder and returns the first line it prints.
QString Holder(QProcess& p,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    p.setProcessEnvironment(env);
    p.start(KVC_LOCK_HOLDER, {"30"});
    if (!p.waitForStarted(5000) || !p.waitForReadyRead(10000)) {
        return "<no output>";
    }
    return QString::fromLatin1(p.readLine()).trimmed();
}

// Runs a copy that should end at once; returns its exit code, or -1 if it did not end in time.
int RunShort(QProcess& p, const QString& program, const QProcessEnvironment& env) {
    p.setProcessEnvironment(env);
    p.start(program, {});
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Whether process pid holds a flock, as the kernel lists it in /proc/locks.
bool HoldsFlock(qint64 pid) {
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
        if (f.size() > 4 && f[1] == "FLOCK" && f[4].toLongLong() == pid) {
            return true;
        }
    }
    return false;
}

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("XDG_RUNTIME_DIR").isEmpty()) {
            GTEST_SKIP() << "needs the private XDG_RUNTIME_DIR of kvc_add_test";
        }
    }
};

TEST(InstanceLockPath, RuntimeFolderOrTempWithUserId) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
    EXPECT_EQ(InstanceLockPath("Kestrovane Video Capture"),
              "/run/user/1000/Kestrovane Video Capture.lock");
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    qunsetenv("TMPDIR");
    EXPECT_EQ(InstanceLockPath("Kestrovane Video Capture"),
              "/tmp/Kestrovane Video Capture-" + std::to_string(getuid()) + ".lock");
    if (!tmp.isNull()) {
        qputenv("TMPDIR", tmp);
    }
    if (!saved.isNull()) {
        qputenv("XDG_RUNTIME_DIR", saved);
    }
}

TEST_F(InstanceTest, SecondCopyEndsAtOnceAndAKilledCopyBlocksNothing) {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess first;
    ASSERT_EQ(Holder(first), "acquired");

    QProcess second;
    EXPECT_EQ(RunShort(second, KVC_LOCK_HOLDER, env), 0);
    EXPECT_EQ(QString::fromLatin1(second.readAllStandardOutput()).trimmed(), "held");

    // The program itself: with the lock taken it must end with 0 before it needs a display,
    // so it does so even where no display exists.
    QProcessEnvironment noDisplay = env;
    noDisplay.remove("DISPLAY");
    noDisplay.remove("WAYLAND_DISPLAY");
    noDisplay.insert("QT_QPA_PLATFORM", "xcb");
    QProcess program;
    EXPECT_EQ(RunShort(program, KVC_PROGRAM, noDisplay), 0);
    EXPECT_TRUE(program.readAllStandardError().isEmpty());

    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    QProcess next;
    EXPECT_EQ(Holder(next), "acquired");
    next.kill();
    next.waitForFinished(5000);
}

TEST_F(InstanceTest, ALockThatCannotBeMadeLetsTheProgramStart) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QDir::tempPath() + "/kvc-no-such-folder/deeper");
    QProcess p;
    EXPECT_EQ(RunShort(p, KVC_LOCK_HOLDER, env), 0);
    EXPECT_EQ(QString::fromLatin1(p.readAllStandardOutput()).trimmed(), "unavailable");
}

TEST_F(InstanceTest, RealProgramKeepsASecondCopyOut) {
    if (qEnvironmentVariable("DISPLAY").isEmpty()) {
        GTEST_SKIP() << "needs DISPLAY (run under scripts/test-env)";
    }
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(KVC_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    // Wait until the first copy holds the lock (without taking it ourselves).
    bool holds = false;
    for (int i = 0; i < 100 && !holds && first.state() == QProcess::Running; ++i) {
        holds = HoldsFlock(first.processId());
        if (!holds) {
            usleep(100000);
        }
    }
    ASSERT_TRUE(holds) << "the program did not take the lock";
    QProcess probe;
    EXPECT_EQ(RunShort(probe, KVC_LOCK_HOLDER, env), 0);
    EXPECT_EQ(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), "held");
    QProcess second;
    EXPECT_EQ(RunShort(second, KVC_PROGRAM, env), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished(5000);
    }
}

} // namespace
