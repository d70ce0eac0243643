// The new-version check: a worker thread fetches "news.ini" from the maker's site into the data
// folder, reads the newest version from it and tells the main window by posting it a message;
// the main window then offers the download page or, for a check the user asked for, says that
// the program is up to date. One check runs at a time.
#pragma once

#include "HttpClient.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Messages to the main window, delivered as TWindowMessage events of these types.
constexpr int WM_CHECK_NEW_VERSION = 1029; // wParam 0 automatic, 1 asked for by the user
constexpr int WM_NEW_VERSION_FOUND = 1030; // LatestVersion names a newer version
constexpr int WM_IS_LATEST_VERSION = 1031; // user's check only: no newer version

class TWindowMessage : public QEvent {
public:
    TWindowMessage(int msg, int wParam, int lParam)
        : QEvent(static_cast<QEvent::Type>(msg)), WParam(wParam), LParam(lParam) {}
    int Msg() const { return static_cast<int>(type()); }
    const int WParam;
    const int LParam;
};

// Queues msg for receiver's thread; callable from any thread while receiver lives.
void PostWindowMessage(QObject* receiver, int msg, int wParam = 0, int lParam = 0);

// A text written by one thread and read by another.
class TSharedText {
public:
    QString Load() const;
    void Store(const QString& text);

private:
    mutable std::mutex FLock;
    QString FText;
};

// True while a check thread exists: set by the start of a check on the GUI thread, cleared on
// the worker thread when the thread object is destroyed.
extern std::atomic<bool> CheckingNewVersion;
// The version text of the last update file read, trimmed; emptied when a download starts.
extern TSharedText LatestVersion;

// The program's own version, as the update check compares it.
inline constexpr const char* OwnVersionText = "1.01";
// The update file on the maker's site.
std::string UpdateFileUrl();

// True when text is a decimal number (sign, digits with at most one decimalSeparator, optional
// exponent) greater than OwnVersionText. The comparison is exact, without binary rounding, so
// "1.01" and "1.010" are equal to it. ok (when given) is false when text is no number at all.
bool IsNewerVersion(const QString& text, QChar decimalSeparator, bool* ok = nullptr);

struct TUpdateCheckConfig {
    std::string UpdateUrl = UpdateFileUrl();
    THttpOptions Http; // its Abort is set by the check's owner
};

// One check. Run() does the whole check on the calling thread; the owner runs it on a thread
// of its own and destroys the object there when the run has ended.
class TCheckNewVerThread {
public:
    using TPost = std::function<void(int msg)>;
    TCheckNewVerThread(TUpdateCheckConfig config, TPost post, const std::atomic<bool>* abort);
    ~TCheckNewVerThread(); // clears CheckingNewVersion
    TCheckNewVerThread(const TCheckNewVerThread&) = delete;
    TCheckNewVerThread& operator=(const TCheckNewVerThread&) = delete;

    void Run() noexcept;

    std::uint8_t m_GrabMode = 0; // 1: asked for by the user, 0: automatic at start-up

private:
    void Execute();

    TUpdateCheckConfig FConfig;
    TPost FPost;
    const std::atomic<bool>* FAbort;
    std::unique_ptr<IHttpClient> mHttpCli; // exists only during the run
};

// Starts checks and owns their threads: at most one runs; a running one is aborted and joined
// (with a bounded wait) when the owner goes or the application quits. Use on the GUI thread.
class TNewVersionCheck {
public:
    // Messages go to receiver, which must outlive this object or call Shutdown() first.
    explicit TNewVersionCheck(QObject* receiver);
    ~TNewVersionCheck();
    TNewVersionCheck(const TNewVersionCheck&) = delete;
    TNewVersionCheck& operator=(const TNewVersionCheck&) = delete;

    void SetConfig(const TUpdateCheckConfig& config) { FConfig = config; }

    // The handler of WM_CHECK_NEW_VERSION: while a check runs the request is dropped; otherwise
    // a check starts with m_GrabMode = the low byte of wParam. True when one started.
    bool Start(int wParam);
    // Waits at most timeout for the running check, if any, to end. True when none runs.
    bool Wait(std::chrono::milliseconds timeout);
    // Stops posting, aborts a running check and waits for it at most timeout; a check that
    // does not end in time is left to end by itself (it posts nothing and touches no window).
    // Later Start() calls are dropped.
    void Shutdown(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

private:
    struct TRun;
    void Reap(std::chrono::milliseconds timeout);

    QObject* FReceiver;
    TUpdateCheckConfig FConfig;
    std::shared_ptr<TRun> FRun;
    std::thread FThread;
    bool FClosed = false;
    QObject FQuitContext; // ties the aboutToQuit connection to this object's life
};

// The main window's reactions to the check's messages, behind a seam that tests replace.
class INewVersionPrompts {
public:
    virtual ~INewVersionPrompts() = default;
    // A box with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // A box with OK.
    virtual void ShowMessage(const QString& text) = 0;
};

// "Find the latest version: " version CR LF "Do you want to download it?"
QString NewVersionFoundText(const QString& version);
// "Your <Kestrovane Video Capture> is the latest version."
QString IsLatestVersionText();
// WM_NEW_VERSION_FOUND: asks with LatestVersion; Yes opens the download page (ShellOpen).
void ReactNewVersionFound(INewVersionPrompts& prompts);
// WM_IS_LATEST_VERSION: says so.
void ReactIsLatestVersion(INewVersionPrompts& prompts);
