// The new-version check as the main window runs it: the show handler's automatic check, the
// menu item's manual one, and the real message boxes' texts and buttons.
#include "AppState.h"
#include "RururiVevaDedizirFrm.h"
#include "Shell.h"
#include "UpdateCheck.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

class TRecordingPrompts : public INewVersionPrompts {
public:
    bool AskYesNo(const QString& text) override {
        Asked.push_back(text);
        return false;
    }
    void ShowMessage(const QString& text) override { Shown.push_back(text); }
    std::vector<QString> Asked;
    std::vector<QString> Shown;
};

class UpdateCheckWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            GTEST_SKIP() << "needs DISPLAY (run under scripts/test-env)";
        }
        ASSERT_TRUE(FHome.isValid());
        AppDataFolder = FHome.path() + "/Kestrovane/VideoCapture/";
        InitVersionFormatSettings();
        FServer.Get("/news.ini", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content("[News]\nKestrovaneVC_ver=" + Version() + "\n", "text/plain");
        });
        FPort = FServer.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FServer.listen_after_bind(); });
        SetShellOpenHandler([](const QUrl&) { return true; });
    }
    void TearDown() override {
        FWindow.reset();
        if (FThread.joinable()) {
            for (int i = 0; i < 500 && !FServer.is_running(); ++i) {
                std::this_thread::sleep_for(10ms);
            }
            FServer.stop();
            FThread.join();
        }
        SetShellOpenHandler(nullptr);
    }

    TRecordingPrompts* MakeWindow() {
        FWindow = std::make_unique<TfrmRururiVevaDedizir>();
        auto prompts = std::make_unique<TRecordingPrompts>();
        auto* raw = prompts.get();
        FWindow->NewVersionPrompts = std::move(prompts);
        TUpdateCheckConfig config;
        config.UpdateUrl = "http://127.0.0.1:" + std::to_string(FPort) + "/news.ini";
        FWindow->FNewVersionCheck->SetConfig(config);
        return raw;
    }

    // Lets the window handle its messages until the check has run and its answer is handled.
    void Settle() {
        QElapsedTimer timer;
        timer.start();
        do {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        } while ((CheckingNewVersion.load() || !FWindow->FNewVersionCheck->Wait(0ms)) &&
                 timer.elapsed() < 10000);
        QApplication::processEvents();
        QApplication::processEvents();
    }

    std::string Version() {
        std::lock_guard lock(FLock);
        return FVersion;
    }
    void SetVersion(std::string v) {
        std::lock_guard lock(FLock);
        FVersion = std::move(v);
    }

    QTemporaryDir FHome;
    httplib::Server FServer;
    std::thread FThread;
    int FPort = 0;
    std::mutex FLock;
    std::string FVersion = "1.01";
    std::unique_ptr<TfrmRururiVevaDedizir> FWindow;
};

TEST_F(UpdateCheckWindowTest, ShowingTheWindowChecksAutomatically) {
    SetVersion("1.02");
    auto* prompts = MakeWindow();
    FWindow->show();
    Settle();
    ASSERT_EQ(prompts->Asked.size(), 1u);
    EXPECT_EQ(prompts->Asked[0], "Find the latest version: 1.02\r\nDo you want to download it?");
    EXPECT_TRUE(prompts->Shown.empty());
}

TEST_F(UpdateCheckWindowTest, MenuItemChecksAndSaysLatest) {
    SetVersion("1.01");
    auto* prompts = MakeWindow();
    FWindow->show();
    Settle(); // the automatic check: says nothing
    EXPECT_TRUE(prompts->Asked.empty());
    EXPECT_TRUE(prompts->Shown.empty());

    FWindow->U1Click();
    Settle();
    ASSERT_EQ(prompts->Shown.size(), 1u);
    EXPECT_EQ(prompts->Shown[0], "Your <Kestrovane Video Capture> is the latest version.");
}

// The boxes the user sees: the application title as caption, the text exactly as written (the
// angle brackets must not be taken for markup) and the buttons of each kind of box.
TEST_F(UpdateCheckWindowTest, MessageBoxesShowTextAndButtons) {
    AppTitle = "Kestrovane Video Capture";
    QWidget owner;
    auto boxes = TfrmRururiVevaDedizir::NewVersionMessageBoxes(&owner);

    struct TSeen {
        QString title, text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::StandardButtons buttons;
    } seen;
    // Answers the next box with the given button once it is up.
    auto answer = [&seen](QMessageBox::StandardButton button) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, button, &seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            seen = {box->windowTitle(), box->text(), box->textFormat(), box->standardButtons()};
            box->button(button)->click();
            poll->deleteLater();
        });
        poll->start(10);
    };

    answer(QMessageBox::Ok);
    boxes->ShowMessage(IsLatestVersionText());
    EXPECT_EQ(seen.title, "Kestrovane Video Capture");
    EXPECT_EQ(seen.text, "Your <Kestrovane Video Capture> is the latest version.");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);

    answer(QMessageBox::Yes);
    EXPECT_TRUE(boxes->AskYesNo(NewVersionFoundText("1.02")));
    EXPECT_EQ(seen.text, "Find the latest version: 1.02\nDo you want to download it?");
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    answer(QMessageBox::No);
    EXPECT_FALSE(boxes->AskYesNo(NewVersionFoundText("1.02")));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        // No QApplication without a display; every test skips itself.
        return RUN_ALL_TESTS();
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
