// The logger: one OnLog per line, in order, on the logger's thread, with the logging thread's
// id and level; never blocking the thread that logs.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include "FFLogger.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct TLogged {
    int32_t tid;
    TLogLevel level;
    std::string text;
};

struct LoggerFixture : ::testing::Test {
    TFFLogger logger;
    std::vector<TLogged> lines;
    std::thread::id deliveredOn;
    void SetUp() override {
        logger.OnLog = [this](QObject*, int32_t tid, TLogLevel level, const std::string& text) {
            deliveredOn = std::this_thread::get_id();
            lines.push_back({tid, level, text});
        };
    }
    void Pump() {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
    }
};

TEST_F(LoggerFixture, SplitsMessagesIntoLinesInOrder) {
    av_log(nullptr, AV_LOG_INFO, "first\nsecond\n");
    av_log(nullptr, AV_LOG_WARNING, "third in ");
    av_log(nullptr, AV_LOG_WARNING, "two pieces\n");
    EXPECT_TRUE(lines.empty()) << "delivered asynchronously, not inside av_log";
    Pump();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "first");
    EXPECT_EQ(lines[1].text, "second");
    EXPECT_EQ(lines[2].text, "third in two pieces");
    EXPECT_EQ(lines[2].level, TLogLevel::llWarning);
    EXPECT_EQ(lines[0].tid, static_cast<int32_t>(::syscall(SYS_gettid)));
}

TEST_F(LoggerFixture, FiltersByLevel) {
    struct Case {
        TLogLevel setting;
        int avLevel;
        bool delivered;
    };
    const Case cases[] = {
        {TLogLevel::llInfo, AV_LOG_INFO, true},      {TLogLevel::llInfo, AV_LOG_VERBOSE, false},
        {TLogLevel::llError, AV_LOG_WARNING, false}, {TLogLevel::llError, AV_LOG_INFO, false},
        {TLogLevel::llError, AV_LOG_ERROR, true},    {TLogLevel::llError, AV_LOG_PANIC, true},
        {TLogLevel::llError, AV_LOG_FATAL, true},    {TLogLevel::llDebug, AV_LOG_DEBUG, true},
        {TLogLevel::llQuiet, AV_LOG_PANIC, false},
    };
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llInfo);
    for (const Case& c : cases) {
        lines.clear();
        logger.SetLogLevel(c.setting);
        av_log(nullptr, c.avLevel, "message\n");
        Pump();
        EXPECT_EQ(lines.size(), c.delivered ? 1u : 0u)
            << "level setting " << int(c.setting) << ", message level " << c.avLevel;
        if (c.delivered && !lines.empty()) {
            EXPECT_EQ(lines[0].level, LogLevelOfAV(c.avLevel));
        }
    }
    EXPECT_EQ(AVLevelOf(TLogLevel::llQuiet), -8);
    EXPECT_EQ(AVLevelOf(TLogLevel::llDebug), 48);
}

TEST_F(LoggerFixture, ProducerUnderALockNeverWaitsForTheMainThread) {
    // The main thread does not process events while the other thread logs 5000 lines holding a
    // lock of its own: the thread must finish on its own.
    std::mutex deviceLock;
    std::atomic<bool> done{false};
    int32_t tid = 0;
    std::thread producer([&] {
        tid = static_cast<int32_t>(::syscall(SYS_gettid));
        std::lock_guard lock(deviceLock);
        for (int i = 0; i < 5000; ++i)
            av_log(nullptr, AV_LOG_INFO, "line %d\n", i);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(done.load());
    producer.join();
    EXPECT_TRUE(lines.empty());
    Pump();
    ASSERT_EQ(lines.size(), 5000u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(lines[i].text, "line " + std::to_string(i));
    EXPECT_EQ(lines[0].tid, tid);
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
}

TEST_F(LoggerFixture, DetachedHandlerGetsNothing) {
    logger.OnLog = nullptr;
    av_log(nullptr, AV_LOG_ERROR, "nobody listens\n");
    Pump();
    EXPECT_TRUE(lines.empty());
}

} // namespace
