// An X server and a sound server of a test's own, started like scripts/test-env starts them, so
// that a test can kill them in the middle of a recording without touching the shared ones.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// Xvfb 1920x1080x24 with MIT-SHM on a free display number (-displayfd).
class TPrivateXServer {
public:
    TPrivateXServer() = default;
    ~TPrivateXServer();
    TPrivateXServer(const TPrivateXServer&) = delete;
    TPrivateXServer& operator=(const TPrivateXServer&) = delete;

    // False with the reason in *error when the server does not come up within 10 s.
    bool Start(QString* error);
    QString Display() const { return FDisplay; } // ":N"
    void Kill();                                 // SIGKILL and reap
    bool Running() const { return FPid > 0; }

private:
    pid_t FPid = -1;
    QString FDisplay;
};

// PulseAudio with the null sink "kvc_null" and the 440 Hz sine source "kvc_sine" as default
// source, on a socket in a folder of its own.
class TPrivateSoundServer {
public:
    TPrivateSoundServer() = default;
    ~TPrivateSoundServer();
    TPrivateSoundServer(const TPrivateSoundServer&) = delete;
    TPrivateSoundServer& operator=(const TPrivateSoundServer&) = delete;

    bool Start(QString* error);
    QString Server() const; // "unix:<folder>/native", for PULSE_SERVER
    QString RuntimePath() const { return FDir.path(); }
    void Kill();
    bool Running() const { return FPid > 0; }

private:
    QTemporaryDir FDir;
    pid_t FPid = -1;
};

// Kills pid with SIGKILL and waits for it (a child of this process).
void KillAndReap(pid_t pid);
