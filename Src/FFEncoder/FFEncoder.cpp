#include "FFEncoder.h"

#include <algorithm>
#include <chrono>

#include <QMetaObject>

#include "EncodeTask.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

std::string versionText(unsigned v) {
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

// The libraries must be of the major versions the program was built against (their ABI), and
// libavcodec must have the encoders the recordings use.
std::string realLibraryCheck() {
    struct TLib {
        const char* name;
        unsigned runtime;
        unsigned built;
    };
    const TLib libs[] = {
        {"libavutil", avutil_version(), LIBAVUTIL_VERSION_INT},
        {"libavcodec", avcodec_version(), LIBAVCODEC_VERSION_INT},
        {"libavformat", avformat_version(), LIBAVFORMAT_VERSION_INT},
        {"libswscale", swscale_version(), LIBSWSCALE_VERSION_INT},
        {"libswresample", swresample_version(), LIBSWRESAMPLE_VERSION_INT},
    };
    for (const TLib& lib : libs)
        if (AV_VERSION_MAJOR(lib.runtime) != AV_VERSION_MAJOR(lib.built))
            return std::string(lib.name) + " " + versionText(lib.runtime) +
                   " is not the version the program was built for (" + versionText(lib.built) + ")";
    if (!avcodec_find_encoder_by_name("mpeg4"))
        return "libavcodec " + versionText(avcodec_version()) +
               " has no MPEG-4 video encoder (\"mpeg4\")";
    if (!avcodec_find_encoder_by_name("libfaac") && !avcodec_find_encoder_by_name("aac"))
        return "libavcodec " + versionText(avcodec_version()) +
               " has no AAC encoder (\"libfaac\" or \"aac\")";
    return {};
}

TFFEncoder::TLibraryCheck g_libraryCheck = nullptr;

const TDecoderInfo g_noDecoder;

} // namespace

void TFFEncoder::SetLibraryCheck(TLibraryCheck check) {
    g_libraryCheck = check;
}

TFFEncoder::TFFEncoder(QObject* parent) : QObject(parent) {}

TFFEncoder::~TFFEncoder() {
    OnTerminate = nullptr;
    OnProgress = nullptr;
    Stop(true);
    FTasks.clear();
}

bool TFFEncoder::LoadAVLib(const std::string& /*APath*/) {
    if (FLoaded)
        return true;
    const std::string reason = g_libraryCheck ? g_libraryCheck() : realLibraryCheck();
    if (!reason.empty()) {
        FLastErrMsg = "Cannot use the FFmpeg libraries: " + reason;
        return false;
    }
    FLoaded = true;
    return true;
}

void TFFEncoder::ClearTasks() {
    if (Running()) {
        FLastErrMsg = "A conversion is running";
        return;
    }
    JoinWorker();
    FTasks.clear();
}

int TFFEncoder::AddTask(const std::string& AFileName, const TInputOptions& AOptions) {
    if (Running()) {
        FLastErrMsg = "A conversion is running";
        return -1;
    }
    const std::string url = AOptions.FileName.empty() ? AFileName : AOptions.FileName;
    auto task = std::make_unique<TEncodeTask>(static_cast<int>(FTasks.size()));
    std::string err;
    if (!task->OpenInput(url, AOptions.Options, err)) {
        FLastErrMsg = err;
        return -1;
    }
    FTasks.push_back(std::move(task));
    return static_cast<int>(FTasks.size()) - 1;
}

const TDecoderInfo& TFFEncoder::Decoders(int ATaskIndex, int AInputIndex) const {
    if (ATaskIndex < 0 || ATaskIndex >= static_cast<int>(FTasks.size()) || AInputIndex != 0)
        return g_noDecoder;
    return FTasks[ATaskIndex]->Info();
}

int TFFEncoder::SetOutput(int ATaskIndex, const std::string& AFileName,
                          const TOutputOptions& AOptions) {
    if (Running()) {
        FLastErrMsg = "A conversion is running";
        return -1;
    }
    if (ATaskIndex < 0 || ATaskIndex >= static_cast<int>(FTasks.size())) {
        FLastErrMsg = "There is no task " + std::to_string(ATaskIndex);
        return -1;
    }
    const std::string path = AOptions.FileName.empty() ? AFileName : AOptions.FileName;
    std::string err;
    if (!FTasks[ATaskIndex]->SetOutput(path, AOptions.Options, err)) {
        FLastErrMsg = err;
        return -1;
    }
    return 0;
}

void TFFEncoder::RemoveTask(int ATaskIndex) {
    if (Running() || ATaskIndex < 0 || ATaskIndex >= static_cast<int>(FTasks.size()))
        return;
    FTasks.erase(FTasks.begin() + ATaskIndex);
    for (std::size_t i = 0; i < FTasks.size(); ++i)
        FTasks[i]->SetIndex(static_cast<int>(i));
}

bool TFFEncoder::Start(int /*AThreadCount*/) {
    if (Running()) {
        FLastErrMsg = "A conversion is running";
        return false;
    }
    JoinWorker();
    bool any = false;
    for (const auto& t : FTasks)
        any |= t->HasOutput();
    if (!any) {
        FLastErrMsg = "There is nothing to convert";
        return false;
    }
    FStop = false;
    FPaused = false;
    FWorkerDone = false;
    FThread = std::thread(&TFFEncoder::Work, this);
    return true;
}

void TFFEncoder::Pause() {
    if (Running())
        FPaused = true;
}

void TFFEncoder::Resume() {
    {
        std::lock_guard lock(FLock);
        FPaused = false;
    }
    FWake.notify_all();
}

void TFFEncoder::Stop(bool AWaitForStop) {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FWake.notify_all();
    if (!AWaitForStop || !FThread.joinable())
        return;
    // The worker may wait for a report to be delivered: deliver here until it is done.
    for (;;) {
        DeliverPendingReports();
        std::unique_lock lock(FLock);
        if (FWorkerDone && FReports.empty())
            break;
        FWake.wait_for(lock, std::chrono::milliseconds(50),
                       [this] { return FWorkerDone.load() || !FReports.empty(); });
    }
    JoinWorker();
}

void TFFEncoder::JoinWorker() {
    if (FThread.joinable())
        FThread.join();
}

void TFFEncoder::WaitWhilePaused() {
    std::unique_lock lock(FLock);
    while (FPaused && !FStop)
        FWake.wait_for(lock, std::chrono::milliseconds(100));
}

void TFFEncoder::Work() {
    for (std::size_t i = 0; i < FTasks.size(); ++i) {
        if (!FTasks[i]->HasOutput())
            continue;
        auto report = std::make_shared<TReport>();
        FTasks[i]->Run(*this, report->terminate);
        report->terminate.TaskIndex = static_cast<int32_t>(i);
        if (OnTerminate || TriggerEventInMainThread)
            Report(report, -1);
        if (FStop)
            break;
    }
    auto last = std::make_shared<TReport>();
    last->terminate.TaskIndex = -1;
    last->terminate.Finished = true;
    Report(last, -1);
    {
        std::lock_guard lock(FLock);
        FWorkerDone = true;
    }
    FWake.notify_all();
}

void TFFEncoder::Report(const std::shared_ptr<TReport>& report, int maxWaitMs) {
    if (!TriggerEventInMainThread) {
        if (report->isProgress) {
            if (OnProgress)
                OnProgress(this, report->progress);
        } else if (OnTerminate) {
            OnTerminate(this, report->terminate);
        }
        return;
    }
    // Progress waits a little only, so that a busy main thread cannot hold up the recording.
    if (report->isProgress)
        maxWaitMs = std::min(maxWaitMs, 100);
    std::unique_lock lock(FLock);
    if (report->isProgress) // a progress report not yet shown is out of date now
        std::erase_if(FReports, [](const auto& r) { return r->isProgress; });
    FReports.push_back(report);
    if (!FPosted) {
        FPosted = true;
        QMetaObject::invokeMethod(
            this, [this] { DeliverPendingReports(); }, Qt::QueuedConnection);
    }
    FWake.notify_all();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, maxWaitMs));
    while (!report->delivered && !FDying) {
        if (maxWaitMs >= 0) {
            if (FWake.wait_until(lock, deadline) == std::cv_status::timeout)
                break;
        } else {
            FWake.wait_for(lock, std::chrono::milliseconds(100));
        }
    }
}

void TFFEncoder::DeliverPendingReports() {
    for (;;) {
        std::shared_ptr<TReport> report;
        {
            std::lock_guard lock(FLock);
            if (FReports.empty()) {
                FPosted = false;
                return;
            }
            report = FReports.front();
            FReports.pop_front();
        }
        if (report->isProgress) {
            if (OnProgress)
                OnProgress(this, report->progress);
        } else if (OnTerminate) {
            OnTerminate(this, report->terminate);
        }
        {
            std::lock_guard lock(FLock);
            report->delivered = true;
        }
        FWake.notify_all();
    }
}
