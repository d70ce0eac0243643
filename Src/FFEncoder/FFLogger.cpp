#include "FFLogger.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct TLine {
    int32_t threadId;
    TLogLevel level;
    std::string text;
};

// Shared between the callback (any thread) and the logger. Never destroyed, so that a callback
// still running on another thread while the logger goes away finds it intact.
struct TLogState {
    std::mutex lock;
    TFFLogger* logger = nullptr; // the active logger, or null
    std::deque<TLine> lines;
    std::size_t dropped = 0;
    bool posted = false; // a delivery call is on its way
    std::atomic<int> avLevel{AV_LOG_INFO};
};

TLogState& state() {
    static TLogState* s = new TLogState;
    return *s;
}

// Text of a message that has not reached its line break yet, per thread.
thread_local std::string t_partial;
thread_local int t_printPrefix = 1;

void postDelivery(TFFLogger* logger) {
    QPointer<TFFLogger> guard(logger);
    QMetaObject::invokeMethod(
        logger,
        [guard] {
            if (guard)
                guard->DeliverPending();
        },
        Qt::QueuedConnection);
}

void logCallback(void* avcl, int level, const char* fmt, va_list vl) {
    TLogState& st = state();
    level &= 0xff; // the upper bits carry a colour hint
    if (level > st.avLevel.load(std::memory_order_relaxed))
        return;
    char buf[2048];
    va_list copy;
    va_copy(copy, vl);
    av_log_format_line2(avcl, level, fmt, copy, buf, sizeof buf, &t_printPrefix);
    va_end(copy);
    t_partial += buf;
    if (t_partial.empty() || t_partial.back() != '\n') {
        // Long messages are cut by the buffer; keep pieces until the line ends, within reason.
        if (t_partial.size() < 16384)
            return;
    }
    const int32_t tid = static_cast<int32_t>(::syscall(SYS_gettid));
    const TLogLevel ll = LogLevelOfAV(level);

    std::lock_guard lock(st.lock);
    std::size_t start = 0;
    while (start < t_partial.size()) {
        std::size_t end = t_partial.find('\n', start);
        if (end == std::string::npos)
            end = t_partial.size();
        std::string line = t_partial.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (st.lines.size() < TFFLogger::MaxQueuedLines)
            st.lines.push_back({tid, ll, std::move(line)});
        else
            ++st.dropped;
        start = end + 1;
    }
    t_partial.clear();
    if (st.logger && !st.posted && QCoreApplication::instance()) {
        st.posted = true;
        postDelivery(st.logger);
    }
}

} // namespace

int AVLevelOf(TLogLevel level) {
    return static_cast<int>(level) * 8 - 8;
}

TLogLevel LogLevelOfAV(int avLevel) {
    if (avLevel < AV_LOG_PANIC)
        return TLogLevel::llQuiet;
    if (avLevel >= AV_LOG_DEBUG)
        return TLogLevel::llDebug;
    return static_cast<TLogLevel>((avLevel + 8) / 8);
}

TFFLogger::TFFLogger(QObject* parent) : QObject(parent) {
    TLogState& st = state();
    {
        std::lock_guard lock(st.lock);
        st.logger = this;
        st.lines.clear();
        st.dropped = 0;
        st.posted = false;
        st.avLevel = AVLevelOf(TLogLevel::llInfo);
    }
    av_log_set_callback(logCallback);
}

TFFLogger::~TFFLogger() {
    TLogState& st = state();
    std::lock_guard lock(st.lock);
    if (st.logger == this) {
        av_log_set_callback(av_log_default_callback);
        st.logger = nullptr;
        st.lines.clear();
        st.posted = false;
    }
}

TLogLevel TFFLogger::LogLevel() const {
    return LogLevelOfAV(state().avLevel.load());
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    state().avLevel = AVLevelOf(level);
}

void TFFLogger::DeliverPending() {
    TLogState& st = state();
    std::deque<TLine> lines;
    std::size_t dropped = 0;
    {
        std::lock_guard lock(st.lock);
        if (st.logger != this)
            return;
        lines.swap(st.lines);
        dropped = st.dropped;
        st.dropped = 0;
        st.posted = false;
    }
    // OnLog may log itself (or be replaced); each line is handed to the handler current then.
    for (const TLine& line : lines)
        if (OnLog)
            OnLog(this, line.threadId, line.level, line.text);
    if (dropped && OnLog)
        OnLog(this, static_cast<int32_t>(::syscall(SYS_gettid)), TLogLevel::llWarning,
              std::to_string(dropped) + " log lines were dropped while the program was busy");
}
