// The logger component: takes over libav's log callback and hands every line, no less important
// than LogLevel, to OnLog on the main thread with the id of the thread that logged it.
//
// The callback may run on any thread, also one that holds a capture device's queue lock, so it
// never waits for the GUI: lines are queued and delivered in order by a queued call on the
// thread the logger lives on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QObject>

enum class TLogLevel : int {
    llQuiet = 0,
    llPanic,
    llFatal,
    llError,
    llWarning,
    llInfo,
    llVerbose,
    llDebug
};

// The libav level of a TLogLevel: -8 for llQuiet up to 48 for llDebug.
int AVLevelOf(TLogLevel level);
// The TLogLevel a libav message level belongs to (a level between two steps counts as the more
// important one; TRACE counts as llDebug).
TLogLevel LogLevelOfAV(int avLevel);

using TLogEvent = std::function<void(QObject* Sender, int32_t AThreadID, TLogLevel ALogLevel,
                                     const std::string& ALogMsg)>;

class TFFLogger : public QObject {
    Q_OBJECT
public:
    // Installs the log callback; the logger must be created on the thread that is to receive
    // OnLog (the main thread). Only one logger is active at a time: the newest.
    explicit TFFLogger(QObject* parent = nullptr);
    // Restores libav's default callback; lines not yet delivered are dropped.
    ~TFFLogger() override;

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);

    TLogEvent OnLog;

    // Delivers the queued lines now, on the calling thread (which must be the logger's).
    void DeliverPending();

    // Most lines kept while the main thread is busy; beyond it lines are counted and dropped,
    // and one line says how many were lost.
    static constexpr std::size_t MaxQueuedLines = 20000;
};
