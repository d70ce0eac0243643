#include "UpdateCheck.h"

#include "AppState.h"
#include "FormatText.h"
#include "IniFile.h"
#include "Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>

#ifndef KVC_WEB_SITE
#error "KVC_WEB_SITE must be defined (the maker's web site)"
#endif

std::atomic<bool> CheckingNewVersion{false};
TSharedText LatestVersion;

void PostWindowMessage(QObject* receiver, int msg, int wParam, int lParam) {
    QCoreApplication::postEvent(receiver, new TWindowMessage(msg, wParam, lParam));
}

QString TSharedText::Load() const {
    std::lock_guard lock(FLock);
    return FText;
}

void TSharedText::Store(const QString& text) {
    std::lock_guard lock(FLock);
    FText = text;
}

std::string UpdateFileUrl() {
    return std::string(KVC_WEB_SITE) + "/news.ini";
}

// ---- exact decimal comparison

namespace {

// value = digits x 10^exponent; digits has no leading or trailing zeros, empty means zero.
struct TDecimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

bool ParseDecimal(const QString& text, QChar separator, TDecimal& out) {
    int i = 0;
    const int n = text.size();
    TDecimal d;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        d.negative = text[i] == u'-';
        ++i;
    }
    std::string digits;
    long fractionDigits = 0;
    bool seenSeparator = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits.push_back(static_cast<char>(c.unicode()));
            if (seenSeparator) {
                ++fractionDigits;
            }
        } else if (c == separator && !seenSeparator) {
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (digits.empty()) {
        return false;
    }
    long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        const int start = i;
        for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            // Saturates far beyond any double, so a silly exponent cannot overflow.
            exponent = std::min(exponent * 10 + (text[i].unicode() - u'0'), 1000000L);
        }
        if (i == start) {
            return false;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (i != n) {
        return false;
    }
    exponent -= fractionDigits;
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        out = TDecimal{};
        return true;
    }
    const auto last = digits.find_last_not_of('0');
    exponent += static_cast<long>(digits.size() - 1 - last);
    d.digits = digits.substr(first, last - first + 1);
    d.exponent = exponent;
    out = d;
    return true;
}

int CompareMagnitude(const TDecimal& a, const TDecimal& b) {
    if (a.digits.empty() || b.digits.empty()) {
        return a.digits.empty() ? (b.digits.empty() ? 0 : -1) : 1;
    }
    // Position of the leading digit: the number of digits before the decimal point.
    const long aLead = static_cast<long>(a.digits.size()) + a.exponent;
    const long bLead = static_cast<long>(b.digits.size()) + b.exponent;
    if (aLead != bLead) {
        return aLead < bLead ? -1 : 1;
    }
    const std::size_t len = std::max(a.digits.size(), b.digits.size());
    for (std::size_t k = 0; k < len; ++k) {
        const char x = k < a.digits.size() ? a.digits[k] : '0';
        const char y = k < b.digits.size() ? b.digits[k] : '0';
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

int CompareDecimal(const TDecimal& a, const TDecimal& b) {
    const bool aNeg = a.negative && !a.digits.empty();
    const bool bNeg = b.negative && !b.digits.empty();
    if (aNeg != bNeg) {
        return aNeg ? -1 : 1;
    }
    const int m = CompareMagnitude(a, b);
    return aNeg ? -m : m;
}

} // namespace

bool IsNewerVersion(const QString& text, QChar decimalSeparator, bool* ok) {
    double value = 0;
    TDecimal version;
    TDecimal own;
    const bool isNumber = TryStrToFloat(text, value, decimalSeparator) &&
                          ParseDecimal(text, decimalSeparator, version);
    if (ok) {
        *ok = isNumber;
    }
    if (!isNumber) {
        return false;
    }
    ParseDecimal(QString::fromLatin1(OwnVersionText), u'.', own);
    return CompareDecimal(version, own) > 0;
}

// ---- the check thread

TCheckNewVerThread::TCheckNewVerThread(TUpdateCheckConfig config, TPost post,
                                       const std::atomic<bool>* abort)
    : FConfig(std::move(config)), FPost(std::move(post)), FAbort(abort) {
    FConfig.Http.Abort = FAbort;
}

TCheckNewVerThread::~TCheckNewVerThread() {
    CheckingNewVersion.store(false);
}

void TCheckNewVerThread::Run() noexcept {
    try {
        Execute();
    } catch (...) {
        // Every failure of the check is silent: the user learns nothing rather than something
        // wrong.
    }
    mHttpCli.reset();
}

void TCheckNewVerThread::Execute() {
    mHttpCli = CreateHttpClient(FConfig.Http);

    const QString folder = AppDataFolder;
    if (!QFileInfo(folder).isDir()) {
        QDir().mkpath(folder);
    }
    const QString localFile = folder + QStringLiteral("news.ini");
    {
        std::ofstream stream(std::filesystem::path(QFile::encodeName(localFile).toStdString()),
                             std::ios::binary | std::ios::trunc);
        if (!stream) {
            mHttpCli.reset();
            return;
        }
        LatestVersion.Store(QString());
        std::string error;
        mHttpCli->Get(FConfig.UpdateUrl, stream, &error); // a failed GET leaves what arrived
    }
    mHttpCli.reset();

    // Closing the program: end without reading, posting or deleting.
    if (FAbort && FAbort->load()) {
        return;
    }
    if (!QFileInfo::exists(localFile)) {
        return;
    }
    const QString version =
        TrimText(IniReadString(localFile, QStringLiteral("News"),
                               QStringLiteral("KestrovaneVC_ver"), QStringLiteral("0")));
    LatestVersion.Store(version);
    bool isNumber = false;
    const bool newer = IsNewerVersion(version, VersionFormatSettings.DecimalSeparator, &isNumber);
    if (!isNumber) {
        return; // the file stays for whoever wants to see what came
    }
    if (newer) {
        FPost(WM_NEW_VERSION_FOUND);
    } else if (m_GrabMode == 1) {
        FPost(WM_IS_LATEST_VERSION);
    }
    QFile::remove(localFile);
}

// ---- the owner of the check threads

struct TNewVersionCheck::TRun {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;           // the run and its thread object are gone
    QObject* receiver = nullptr; // cleared when nothing may be posted any more
    std::atomic<bool> abort{false};

    void Post(int msg) {
        std::lock_guard guard(lock);
        if (receiver) {
            PostWindowMessage(receiver, msg);
        }
    }
    void MarkDone() {
        std::lock_guard guard(lock);
        done = true;
        ended.notify_all();
    }
    bool WaitDone(std::chrono::milliseconds timeout) {
        std::unique_lock guard(lock);
        return ended.wait_for(guard, timeout, [this] { return done; });
    }
};

TNewVersionCheck::TNewVersionCheck(QObject* receiver) : FReceiver(receiver) {
    if (auto* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, &FQuitContext,
                         [this] { Shutdown(); });
    }
}

TNewVersionCheck::~TNewVersionCheck() {
    Shutdown();
}

bool TNewVersionCheck::Start(int wParam) {
    if (FClosed || CheckingNewVersion.load()) {
        return false;
    }
    CheckingNewVersion.store(true);
    // The previous run's thread object is gone, so its thread is at most a few instructions from
    // its end.
    Reap(std::chrono::milliseconds(1000));
    if (FThread.joinable()) {
        FThread.detach();
        FRun.reset();
    }

    auto run = std::make_shared<TRun>();
    run->receiver = FReceiver;
    auto check = std::make_unique<TCheckNewVerThread>(
        FConfig, [run](int msg) { run->Post(msg); }, &run->abort);
    check->m_GrabMode = static_cast<std::uint8_t>(wParam & 0xFF);
    try {
        FThread = std::thread([run, check = std::move(check)]() mutable {
            check->Run();
            check.reset();
            run->MarkDone();
        });
    } catch (const std::system_error&) {
        CheckingNewVersion.store(false); // check went with the lambda that never ran
        return false;
    }
    FRun = std::move(run);
    return true;
}

bool TNewVersionCheck::Wait(std::chrono::milliseconds timeout) {
    Reap(timeout);
    return !FThread.joinable();
}

void TNewVersionCheck::Reap(std::chrono::milliseconds timeout) {
    if (!FThread.joinable()) {
        return;
    }
    if (FRun && !FRun->WaitDone(timeout)) {
        return;
    }
    FThread.join();
    FRun.reset();
}

void TNewVersionCheck::Shutdown(std::chrono::milliseconds timeout) {
    FClosed = true;
    if (!FThread.joinable()) {
        return;
    }
    {
        std::lock_guard guard(FRun->lock);
        FRun->receiver = nullptr;
    }
    FRun->abort.store(true);
    Reap(timeout);
    if (FThread.joinable()) {
        // A transfer stuck where the abort cannot reach it (a hanging name lookup): it ends by
        // itself and then only clears CheckingNewVersion.
        FThread.detach();
        FRun.reset();
    }
}

// ---- the main window's reactions

QString NewVersionFoundText(const QString& version) {
    return QStringLiteral("Find the latest version: ") + version + QStringLiteral("\r\n") +
           QStringLiteral("Do you want to download it?");
}

QString IsLatestVersionText() {
    return QStringLiteral("Your <Kestrovane Video Capture> is the latest version.");
}

void ReactNewVersionFound(INewVersionPrompts& prompts) {
    if (prompts.AskYesNo(NewVersionFoundText(LatestVersion.Load()))) {
        ShellOpen(QUrl(MakerDownloadPage()));
    }
}

void ReactIsLatestVersion(INewVersionPrompts& prompts) {
    prompts.ShowMessage(IsLatestVersionText());
}
