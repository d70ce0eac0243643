// Shared pieces of the window tests: a main() that skips without a display, the program's
// windows created as start-up creates them, and a way to act inside a modal dialog or menu.
#pragma once

#include "RururiVevaDedizirFrm.h"
#include "UAboutWin.h"
#include "UMarkVideoWindow.h"
#include "UOptionsWin.h"
#include "UPublic.h"
#include "USavedRecordingsWin.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

// ctest reports this exit code as a skipped test.
constexpr int kSkipReturnCode = 77;

#define KVC_UI_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {                                              \
            std::puts("SKIP: needs an X display; run under scripts/test-env");                     \
            return kSkipReturnCode;                                                                \
        }                                                                                          \
        qputenv("QT_QPA_PLATFORM", "xcb");                                                         \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// The windows in start-up's order, with the shared state as a fresh start leaves it.
struct TProgramWindows {
    TProgramWindows() {
        IsRecording = false;
        LastRecordingFile.clear();
        MarkWindowShown = false;
        StayOnTop = false;
        InitAppDataFolder();
        LoadOptions();
        SavedRecordingsList.clear();
        frmRururiVevaDedizir = new TfrmRururiVevaDedizir;
        MarkVideoWindow = new TMarkVideoWindow;
        OptionsWin = new TOptionsWin;
        AboutWin = new TAboutWin;
        SavedRecordingsWin = new TSavedRecordingsWin;
    }
    ~TProgramWindows() {
        for (QWidget* w : std::initializer_list<QWidget*>{SavedRecordingsWin, AboutWin, OptionsWin,
                                                          MarkVideoWindow}) {
            delete w;
        }
        // Closing runs the close query; deleting afterwards must not run it again.
        delete frmRururiVevaDedizir;
        frmRururiVevaDedizir = nullptr;
        MarkVideoWindow = nullptr;
        OptionsWin = nullptr;
        AboutWin = nullptr;
        SavedRecordingsWin = nullptr;
    }
    TfrmRururiVevaDedizir* main() const { return frmRururiVevaDedizir; }
    void showMain() const {
        main()->show();
        QVERIFY(QTest::qWaitForWindowExposed(main()));
    }
};

// Runs `inside` as soon as a modal dialog or popup is open, then lets it end via `finish`
// (by default: closes it). Gives up after two seconds so a test never hangs.
inline void WhenModalOpens(std::function<void(QWidget*)> inside,
                           std::function<void(QWidget*)> finish = nullptr) {
    auto* timer = new QTimer;
    auto started = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        ++*started;
        if (!w && *started < 200)
            return;
        timer->stop();
        timer->deleteLater();
        if (!w)
            return;
        inside(w);
        if (finish)
            finish(w);
        else
            w->close();
    });
    timer->start(10);
}
