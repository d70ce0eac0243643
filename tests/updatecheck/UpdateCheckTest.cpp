// The new-version check end to end against an HTTP server on 127.0.0.1 run by the test: what
// the update file says, how the transfer fails, what the user is shown and what is left in the
// data folder.
#include "UpdateCheck.h"
#include "AppState.h"
#include "Shell.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const char* const FoundPrefix = "Find the latest version: ";
const char* const FoundSuffix = "\r\nDo you want to download it?";
const char* const LatestText = "Your <Kestrovane Video Capture> is the latest version.";

// What the update file's address answers.
struct TReply {
    int status = 200;
    std::string body;
    bool chunked = false; // no Content-Length: the size is known only as it arrives
    std::string redirect; // answer 302 to this address (relative to the server if it starts "/")
};

TReply Reply(int status, std::string body, bool chunked = false) {
    TReply r;
    r.status = status;
    r.body = std::move(body);
    r.chunked = chunked;
    return r;
}

TReply RedirectTo(std::string to) {
    TReply r;
    r.status = 302;
    r.redirect = std::move(to);
    return r;
}

// An HTTP server on a free port of 127.0.0.1, serving "/news.ini" and a few helpers.
class TNewsServer {
public:
    TNewsServer() {
        FServer.Get("/news.ini", [this](const httplib::Request&, httplib::Response& res) {
            Serve(NextReply(), res);
        });
        FServer.Get("/real.ini", [this](const httplib::Request&, httplib::Response& res) {
            Serve(Reply(200, FRealBody), res);
        });
        FServer.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/loop");
        });
        FPort = FServer.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FServer.listen_after_bind(); });
    }
    ~TNewsServer() {
        for (int i = 0; i < 500 && !FServer.is_running(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        FServer.stop();
        FThread.join();
    }
    int Port() const { return FPort; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(FPort) + path;
    }
    void SetReply(TReply reply) {
        std::lock_guard lock(FLock);
        FReply = std::move(reply);
    }
    void SetRealBody(std::string body) { FRealBody = std::move(body); }
    int Hits() const { return FHits.load(); }

private:
    TReply NextReply() {
        ++FHits;
        std::lock_guard lock(FLock);
        return FReply;
    }
    void Serve(const TReply& reply, httplib::Response& res) {
        if (!reply.redirect.empty()) {
            res.set_redirect(reply.redirect);
            return;
        }
        res.status = reply.status;
        if (reply.chunked) {
            auto body = std::make_shared<std::string>(reply.body);
            res.set_chunked_content_provider(
                "text/plain", [body](size_t offset, httplib::DataSink& sink) {
                    const size_t n = std::min<size_t>(4096, body->size() - offset);
                    sink.write(body->data() + offset, n);
                    if (offset + n == body->size()) {
                        sink.done();
                    }
                    return true;
                });
        } else {
            res.set_content(reply.body, "text/plain");
        }
    }

    httplib::Server FServer;
    std::thread FThread;
    int FPort = 0;
    std::mutex FLock;
    TReply FReply;
    std::string FRealBody;
    std::atomic<int> FHits{0};
};

// A socket on 127.0.0.1 that takes connections (the kernel completes them) but never answers.
class TSilentServer {
public:
    TSilentServer() {
        FSocket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(FSocket, 8) != 0 ||
            getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        FPort = ntohs(addr.sin_port);
    }
    ~TSilentServer() {
        if (FSocket >= 0) {
            close(FSocket);
        }
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/news.ini"; }
    int Port() const { return FPort; }

private:
    int FSocket = -1;
    int FPort = 0;
};

// A port of 127.0.0.1 on which nothing listens: bound once, then released.
int RefusingPort() {
    TSilentServer probe;
    return probe.Port(); // closed when probe goes: connections are then refused
}

class TFakePrompts : public INewVersionPrompts {
public:
    bool AskYesNo(const QString& text) override {
        Asked.push_back(text);
        return AnswerYes;
    }
    void ShowMessage(const QString& text) override { Shown.push_back(text); }

    bool AnswerYes = false;
    std::vector<QString> Asked;
    std::vector<QString> Shown;
};

// Stands in for the main window: handles the three messages as it does.
class TFakeMainWindow : public QObject {
public:
    TFakeMainWindow() : Check(this) {}
    void customEvent(QEvent* event) override {
        auto* msg = dynamic_cast<TWindowMessage*>(event);
        if (!msg) {
            return;
        }
        switch (msg->Msg()) {
        case WM_CHECK_NEW_VERSION:
            Check.Start(msg->WParam);
            break;
        case WM_NEW_VERSION_FOUND:
            ReactNewVersionFound(Prompts);
            break;
        case WM_IS_LATEST_VERSION:
            ReactIsLatestVersion(Prompts);
            break;
        }
    }

    TFakePrompts Prompts;
    TNewVersionCheck Check;
};

enum class TOutcome { Nothing, Found, Latest };

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FHome.isValid());
        // The data folder does not exist yet: the check has to make it, parents included.
        AppDataFolder = FHome.path() + "/Documents/Kestrovane/VideoCapture/";
        InitVersionFormatSettings();
        SetShellOpenHandler([this](const QUrl& url) {
            FOpened.push_back(url.toString());
            return true;
        });
        FWindow = std::make_unique<TFakeMainWindow>();
        SetUrl(FServer.Url("/news.ini"));
    }
    void TearDown() override {
        FWindow.reset();
        SetShellOpenHandler(nullptr);
        ASSERT_FALSE(CheckingNewVersion.load()) << "a check outlived its owner";
    }

    void SetUrl(const std::string& url, THttpOptions http = ShortTimeouts()) {
        TUpdateCheckConfig config;
        config.UpdateUrl = url;
        config.Http = http;
        FWindow->Check.SetConfig(config);
    }
    static THttpOptions ShortTimeouts() {
        THttpOptions http;
        http.ConnectTimeoutMs = 2000;
        http.TransferTimeoutMs = 1000;
        return http;
    }

    // Posts WM_CHECK_NEW_VERSION as the main window does and delivers everything that follows.
    void RunCheck(int wParam, int times = 1) {
        for (int i = 0; i < times; ++i) {
            PostWindowMessage(FWindow.get(), WM_CHECK_NEW_VERSION, wParam);
        }
        QCoreApplication::sendPostedEvents();
        ASSERT_TRUE(FWindow->Check.Wait(20s)) << "the check did not end";
        QCoreApplication::sendPostedEvents();
    }

    TOutcome Outcome() const {
        const auto& p = FWindow->Prompts;
        EXPECT_LE(p.Asked.size() + p.Shown.size(), 1u) << "more than one result shown";
        if (!p.Asked.empty()) {
            return TOutcome::Found;
        }
        return p.Shown.empty() ? TOutcome::Nothing : TOutcome::Latest;
    }

    QString NewsFile() const { return AppDataFolder + "news.ini"; }

    QTemporaryDir FHome;
    TNewsServer FServer;
    std::unique_ptr<TFakeMainWindow> FWindow;
    std::vector<QString> FOpened;
};

std::string News(const std::string& valueLine) {
    return "; update file\r\n[News]\r\n" + valueLine + "\r\nDate=2014-02-03\r\n";
}

// A body over 64 KiB whose version line comes only after the cap.
std::string OversizedNews() {
    return std::string("; ") + std::string(70 * 1024, 'x') +
           "\r\n[News]\r\nKestrovaneVC_ver=1.02\r\n";
}

struct TCase {
    const char* name;
    TReply reply;
    int wParam;
    TOutcome outcome;
    const char* version; // shown in the question when found
    bool fileLeft;       // "news.ini" stays: the version text was no number
};

void PrintTo(const TCase& c, std::ostream* os) {
    *os << c.name;
}

const TCase Cases[] = {
    {"newer_automatic", Reply(200, News("KestrovaneVC_ver=1.02")), 0, TOutcome::Found, "1.02",
     false},
    {"newer_manual", Reply(200, News("KestrovaneVC_ver=1.02")), 1, TOutcome::Found, "1.02", false},
    {"same_automatic", Reply(200, News("KestrovaneVC_ver=1.01")), 0, TOutcome::Nothing, "", false},
    {"same_manual", Reply(200, News("KestrovaneVC_ver=1.01")), 1, TOutcome::Latest, "", false},
    {"same_trailing_zero", Reply(200, News("KestrovaneVC_ver=1.010")), 1, TOutcome::Latest, "",
     false},
    {"same_exponent", Reply(200, News("KestrovaneVC_ver=101e-2")), 1, TOutcome::Latest, "", false},
    {"older_automatic", Reply(200, News("KestrovaneVC_ver=1.009")), 0, TOutcome::Nothing, "",
     false},
    {"older_manual", Reply(200, News("KestrovaneVC_ver=1.009")), 1, TOutcome::Latest, "", false},
    {"negative", Reply(200, News("KestrovaneVC_ver=-2")), 1, TOutcome::Latest, "", false},
    {"one_point_one", Reply(200, News("KestrovaneVC_ver=1.1")), 0, TOutcome::Found, "1.1", false},
    {"two", Reply(200, News("KestrovaneVC_ver=2")), 0, TOutcome::Found, "2", false},
    // Binary floating point would round this to 1.01.
    {"barely_newer", Reply(200, News("KestrovaneVC_ver=1.0100000000000000001")), 0, TOutcome::Found,
     "1.0100000000000000001", false},
    {"blanks_trimmed", Reply(200, News("KestrovaneVC_ver=  \t1.02 \t ")), 1, TOutcome::Found,
     "1.02", false},
    {"names_any_case", Reply(200, "[news]\nkestrovanevc_VER=1.02\n"), 0, TOutcome::Found, "1.02",
     false},
    {"two_points", Reply(200, News("KestrovaneVC_ver=1.0.2")), 1, TOutcome::Nothing, "", true},
    {"comma", Reply(200, News("KestrovaneVC_ver=1,02")), 1, TOutcome::Nothing, "", true},
    {"letter", Reply(200, News("KestrovaneVC_ver=v1.2")), 1, TOutcome::Nothing, "", true},
    {"empty_value", Reply(200, News("KestrovaneVC_ver=")), 1, TOutcome::Nothing, "", true},
    {"missing_key_manual", Reply(200, News("Other_ver=1.02")), 1, TOutcome::Latest, "", false},
    {"missing_key_automatic", Reply(200, News("Other_ver=1.02")), 0, TOutcome::Nothing, "", false},
    {"missing_section", Reply(200, "[Old]\r\nKestrovaneVC_ver=1.02\r\n"), 1, TOutcome::Latest, "",
     false},
    {"empty_body", Reply(200, ""), 1, TOutcome::Latest, "", false},
    // An error page is no update file, whatever it holds.
    {"not_found_manual", Reply(404, News("KestrovaneVC_ver=1.02")), 1, TOutcome::Latest, "", false},
    {"not_found_automatic", Reply(404, News("KestrovaneVC_ver=1.02")), 0, TOutcome::Nothing, "",
     false},
    {"server_error", Reply(500, ""), 1, TOutcome::Latest, "", false},
    {"over_cap_with_length", Reply(200, OversizedNews()), 1, TOutcome::Latest, "", false},
    {"over_cap_chunked", Reply(200, OversizedNews(), true), 1, TOutcome::Latest, "", false},
    {"redirect_followed", RedirectTo("/real.ini"), 0, TOutcome::Found, "1.07", false},
    {"redirect_loop", RedirectTo("/loop"), 1, TOutcome::Latest, "", false},
};

class UpdateCheckTable : public UpdateCheckTest, public ::testing::WithParamInterface<TCase> {};

TEST_P(UpdateCheckTable, ShowsTheRightResult) {
    const TCase& c = GetParam();
    FServer.SetRealBody(News("KestrovaneVC_ver=1.07"));
    FServer.SetReply(c.reply);
    FWindow->Prompts.AnswerYes = false;

    RunCheck(c.wParam);

    EXPECT_EQ(Outcome(), c.outcome);
    if (c.outcome == TOutcome::Found) {
        ASSERT_EQ(FWindow->Prompts.Asked.size(), 1u);
        EXPECT_EQ(FWindow->Prompts.Asked[0], FoundPrefix + QString(c.version) + FoundSuffix);
    }
    if (c.outcome == TOutcome::Latest) {
        EXPECT_EQ(FWindow->Prompts.Shown.at(0), LatestText);
    }
    EXPECT_TRUE(FOpened.empty()) << "No opens nothing";
    EXPECT_TRUE(QFileInfo(AppDataFolder).isDir()) << "the check makes the data folder";
    EXPECT_EQ(QFile::exists(NewsFile()), c.fileLeft);
}

INSTANTIATE_TEST_SUITE_P(Files, UpdateCheckTable, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Transfers that never deliver a document: the user who asked hears "latest", nobody else
// hears anything, and the temporary file is gone.
TEST_F(UpdateCheckTest, FailedTransfersCountAsNoNewerVersion) {
    TSilentServer silent;
    ASSERT_NE(silent.Port(), 0);
    const std::string refused = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/news.ini";
    // A redirect to a local file must not be followed, or any page could make us read files.
    QFile local(FHome.path() + "/local.ini");
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("[News]\nKestrovaneVC_ver=1.02\n");
    local.close();

    struct TFailure {
        const char* name;
        std::string url;
        TReply reply;
    };
    const TFailure failures[] = {
        {"refused", refused, {}},
        {"never_answers", silent.Url(), {}},
        {"redirect_to_file", FServer.Url("/news.ini"),
         RedirectTo("file://" + local.fileName().toStdString())},
    };
    for (const auto& f : failures) {
        for (int wParam : {1, 0}) {
            SCOPED_TRACE(std::string(f.name) + (wParam ? " manual" : " automatic"));
            FWindow = std::make_unique<TFakeMainWindow>();
            SetUrl(f.url);
            FServer.SetReply(f.reply);
            RunCheck(wParam);
            EXPECT_EQ(Outcome(), wParam ? TOutcome::Latest : TOutcome::Nothing);
            EXPECT_FALSE(QFile::exists(NewsFile()));
        }
    }
}

TEST_F(UpdateCheckTest, YesOpensTheDownloadPage) {
    FServer.SetReply(Reply(200, News("KestrovaneVC_ver=1.02")));
    FWindow->Prompts.AnswerYes = true;
    RunCheck(0);
    ASSERT_EQ(Outcome(), TOutcome::Found);
    ASSERT_EQ(FOpened.size(), 1u);
    EXPECT_EQ(FOpened[0], MakerDownloadPage());
    EXPECT_TRUE(FOpened[0].endsWith("/download.htm"));
}

TEST_F(UpdateCheckTest, TwoQuickRequestsMakeOneCheck) {
    FServer.SetReply(Reply(200, News("KestrovaneVC_ver=1.01")));
    RunCheck(1, 2);
    EXPECT_EQ(FServer.Hits(), 1);
    EXPECT_EQ(FWindow->Prompts.Shown.size(), 1u);

    // Once it has ended, the next request checks again.
    RunCheck(1);
    EXPECT_EQ(FServer.Hits(), 2);
    EXPECT_EQ(FWindow->Prompts.Shown.size(), 2u);
}

TEST_F(UpdateCheckTest, EarlierLocalFileIsReplaced) {
    ASSERT_TRUE(QDir().mkpath(AppDataFolder));
    QFile stale(NewsFile());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("[News]\nKestrovaneVC_ver=9\n");
    stale.close();
    FServer.SetReply(Reply(404, ""));
    RunCheck(1);
    EXPECT_EQ(Outcome(), TOutcome::Latest);
    EXPECT_FALSE(QFile::exists(NewsFile()));
}

TEST_F(UpdateCheckTest, NoMessageWhenTheDataFolderCannotBeMade) {
    // A plain file where a parent folder should be.
    QFile blocker(FHome.path() + "/Documents");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FServer.SetReply(Reply(200, News("KestrovaneVC_ver=1.02")));
    RunCheck(1);
    EXPECT_EQ(Outcome(), TOutcome::Nothing);
    EXPECT_EQ(FServer.Hits(), 0);
}

// A check still waiting for a silent server when the program closes ends at once, posts
// nothing and leaves CheckingNewVersion clear (it stays set while a thread still runs).
TEST_F(UpdateCheckTest, ShutdownAbortsARunningCheck) {
    TSilentServer silent;
    ASSERT_NE(silent.Port(), 0);
    SetUrl(silent.Url(), THttpOptions{}); // the shipped 10 s / 30 s time-outs
    PostWindowMessage(FWindow.get(), WM_CHECK_NEW_VERSION, 1);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(CheckingNewVersion.load());
    std::this_thread::sleep_for(200ms); // connected and waiting for the answer

    FWindow->Check.Shutdown(3s);
    EXPECT_FALSE(CheckingNewVersion.load()) << "the check did not end within the wait";
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Outcome(), TOutcome::Nothing);

    // After shut-down, requests are dropped.
    EXPECT_FALSE(FWindow->Check.Start(1));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
