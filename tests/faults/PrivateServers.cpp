#include "PrivateServers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Starts argv with stdout and stderr to /dev/null and keepFd (if >= 0) left open in the child.
pid_t Spawn(const std::vector<std::string>& argv, int keepFd,
            const std::vector<std::pair<std::string, std::string>>& env = {}) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Child: only async-signal-safe calls until exec.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd) {
            close(fd);
        }
    }
    for (const auto& [name, value] : env) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    execvp(args[0], args.data());
    _exit(127);
}

bool Alive(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
}

} // namespace

void KillAndReap(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// ---- X

TPrivateXServer::~TPrivateXServer() {
    Kill();
}

bool TPrivateXServer::Start(QString* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = QStringLiteral("pipe failed");
        return false;
    }
    FPid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1920x1080x24",
                  "+extension", "MIT-SHM", "-nolisten", "tcp", "-noreset"},
                 fds[1]);
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            number.append(buf, static_cast<size_t>(n));
            if (number.find('\n') != std::string::npos) {
                break;
            }
        }
        if (!Alive(FPid)) {
            FPid = -1;
            break;
        }
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) {
        number.pop_back();
    }
    if (FPid <= 0 || number.empty()) {
        *error = QStringLiteral("Xvfb did not start (is it installed?)");
        Kill();
        return false;
    }
    FDisplay = QStringLiteral(":") + QString::fromStdString(number);
    return true;
}

void TPrivateXServer::Kill() {
    KillAndReap(FPid);
    FPid = -1;
}

// ---- sound

TPrivateSoundServer::~TPrivateSoundServer() {
    Kill();
}

QString TPrivateSoundServer::Server() const {
    return QStringLiteral("unix:") + FDir.path() + QStringLiteral("/native");
}

bool TPrivateSoundServer::Start(QString* error) {
    const QString dir = FDir.path();
    QFile pa(dir + QStringLiteral("/default.pa"));
    QFile conf(dir + QStringLiteral("/daemon.conf"));
    if (!FDir.isValid() || !pa.open(QIODevice::WriteOnly) || !conf.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write the sound server's configuration");
        return false;
    }
    pa.write(QStringLiteral(
                 "load-module module-native-protocol-unix socket=%1/native auth-anonymous=1\n"
                 "load-module module-null-sink sink_name=kvc_null rate=44100 channels=2 "
                 "sink_properties=device.description=Test-Null-Output\n"
                 "load-module module-sine-source source_name=kvc_sine rate=44100 frequency=440\n"
                 "update-source-proplist kvc_sine device.description=Test-Sine-440Hz\n"
                 "set-default-sink kvc_null\n"
                 "set-default-source kvc_sine\n")
                 .arg(dir)
                 .toUtf8());
    conf.write("exit-idle-time = -1\nflat-volumes = no\ndefault-sample-rate = 44100\n"
               "default-sample-channels = 2\n");
    pa.close();
    conf.close();
    QDir().mkpath(dir + QStringLiteral("/state"));

    const std::string d = dir.toStdString();
    FPid = Spawn(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
         "--disallow-module-loading=no", "--log-target=file:" + d + "/pulse.log",
         "--file=" + d + "/default.pa", "--disable-shm=no"},
        -1,
        {{"PULSE_RUNTIME_PATH", d}, {"PULSE_STATE_PATH", d + "/state"}, {"PULSE_CONFIG_PATH", d}});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), Server());
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir);
    for (int i = 0; i < 100; ++i) {
        if (!Alive(FPid)) {
            FPid = -1;
            break;
        }
        QProcess info;
        info.setProcessEnvironment(env);
        info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (info.waitForFinished(5000) && info.exitStatus() == QProcess::NormalExit &&
            info.exitCode() == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    *error = QStringLiteral("PulseAudio did not start (is it installed?)");
    Kill();
    return false;
}

void TPrivateSoundServer::Kill() {
    KillAndReap(FPid);
    FPid = -1;
}
