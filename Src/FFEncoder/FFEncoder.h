// The encoder component: runs conversion tasks given in the option syntax of the ffmpeg
// command-line tool. A task reads one input (a format of the application's own table or any
// libavformat input), converts its video to MPEG-4 or whatever "-c:v" names and its sound to
// AAC, and writes one output file, on a worker thread of its own. Reports (progress, end) reach
// the thread the component lives on while the worker waits for them.
//
// While a task runs its MP4 output is fragmented and flushed at least once a second, so a
// process killed in the middle leaves a file that plays up to about its last second; at the end
// the file is rewritten as an ordinary MP4 (index first), and kept fragmented if that fails.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QObject>

struct TInputOptions {
    std::string FileName; // empty: the name passed with AddTask
    std::string Options;  // ffmpeg command-line syntax, e.g. "-f gdicapture -r 15"
    void Reset() { *this = TInputOptions(); }
};

struct TOutputOptions {
    std::string FileName; // empty: the name passed with SetOutput
    std::string Options;  // e.g. "-c:a aac -b:a 256k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k"
    void Reset() { *this = TOutputOptions(); }
};

struct TProgressInfo {
    int32_t TaskIndex = 0;
    int32_t FileIndex = 0;
    int32_t FrameNumber = 0;     // video frames written (audio frames when there is no video)
    int32_t FPS = 0;             // frames written per second of wall time, lately
    float Quality = 0;           // the video encoder's last quantiser
    float BitRate = 0;           // kbit/s over what has been written
    int64_t CurrentSize = 0;     // bytes written
    int64_t CurrentDuration = 0; // microseconds of media written
    int64_t TotalDuration = 0;   // microseconds of the input, 0 when unknown (live input)
};

struct TTerminateInfo {
    int32_t TaskIndex = -1; // -1: the report of the end of all work
    bool Finished = false;  // the task ran to its end (input end or stop) without failure
    bool Exception = false; // the task ended by a failure
    std::string ExceptionMsg;
};

struct TDecoderInfo {
    std::string FileInfoText; // several lines describing the opened input
};

using TTerminateEvent = std::function<void(QObject* Sender, const TTerminateInfo& ATerminateInfo)>;
using TProgressEvent = std::function<void(QObject* Sender, const TProgressInfo& AProgressInfo)>;

class TEncodeTask;

class TFFEncoder : public QObject {
    Q_OBJECT
public:
    explicit TFFEncoder(QObject* parent = nullptr);
    // Stops a running conversion and waits for it; reports still pending are dropped.
    ~TFFEncoder() override;

    // The system's libraries are linked; LoadAVLib checks once that they are usable (versions
    // the program was built for, the "mpeg4" and an AAC encoder present). APath is not used.
    bool AVLibLoaded() const { return FLoaded; }
    bool LoadAVLib(const std::string& APath);
    // Replaces the usability check (tests): it returns an empty text when the libraries are
    // usable, else the reason. Null restores the real check.
    using TLibraryCheck = std::string (*)();
    static void SetLibraryCheck(TLibraryCheck check);

    // Tasks; not while a conversion runs (they then fail with a reason in LastErrMsg).
    void ClearTasks();
    // Opens the input named AFileName (or AOptions.FileName) on the calling thread; the task
    // index, or -1 with the reason in LastErrMsg.
    int AddTask(const std::string& AFileName, const TInputOptions& AOptions);
    // The description of input AInputIndex of a task (empty for an unknown one).
    const TDecoderInfo& Decoders(int ATaskIndex, int AInputIndex) const;
    // Adds the output file; opens the encoders and creates the file. 0, or -1 with the reason.
    int SetOutput(int ATaskIndex, const std::string& AFileName, const TOutputOptions& AOptions);
    void RemoveTask(int ATaskIndex);
    int TaskCount() const { return static_cast<int>(FTasks.size()); }
    const std::string& LastErrMsg() const { return FLastErrMsg; }

    // Runs the tasks, one after the other, on one worker thread; returns at once. False when
    // there is nothing to run or a conversion still runs.
    bool Start(int AThreadCount = 1);
    void Pause();
    void Resume();
    bool Paused() const { return FPaused; }
    // Asks the conversion to end. With AWaitForStop: returns when it has ended and the output
    // is closed and finished (also from a pause), delivering pending reports on this thread
    // meanwhile.
    void Stop(bool AWaitForStop);
    bool Running() const { return FThread.joinable() && !FWorkerDone; }

    TTerminateEvent OnTerminate;
    TProgressEvent OnProgress;
    int ProgressInterval = 500;           // milliseconds between progress reports
    bool TriggerEventInMainThread = true; // reports on the component's thread (false: worker)

    // Delivers the reports that wait for delivery, on the calling thread.
    void DeliverPendingReports();

private:
    struct TReport {
        bool isProgress = false;
        TProgressInfo progress;
        TTerminateInfo terminate;
        bool delivered = false;
    };
    friend class TEncodeTask;

    void Work();
    // Called by the worker: hands the report over and waits for its delivery, at most
    // maxWaitMs (negative: until delivered or the component is going away).
    void Report(const std::shared_ptr<TReport>& report, int maxWaitMs);
    bool StopRequested() const { return FStop; }
    // Worker side of a pause: returns when not paused or asked to stop.
    void WaitWhilePaused();
    void JoinWorker();

    std::vector<std::unique_ptr<TEncodeTask>> FTasks;
    std::string FLastErrMsg;
    bool FLoaded = false;

    std::thread FThread;
    std::atomic<bool> FWorkerDone{true};
    std::atomic<bool> FStop{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FDying{false};
    std::mutex FLock; // guards FReports and the pause/stop wake-ups
    std::condition_variable FWake;
    std::deque<std::shared_ptr<TReport>> FReports;
    bool FPosted = false;
};
