// The main window: the skinned panel from which the user does everything, with the recording
// controller and the progress and log handlers as its methods.
#pragma once

#include "FFEncoder.h"
#include "FFLogger.h"
#include "UpdateCheck.h"

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QDialog;
class QLineEdit;
class QMenu;
class QPushButton;
class TSkinImage;

class TfrmRururiVevaDedizir : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRururiVevaDedizir(QWidget* parent = nullptr);
    ~TfrmRururiVevaDedizir() override;

    // ---- new-version check (NewVersionMessages.cpp)
    // Posts WM_CHECK_NEW_VERSION to this window: wParam 0 for the automatic check from the
    // show handler, 1 for "Check for updates ...".
    void PostCheckNewVersion(int wParam);
    void WMCheckNewVersion(int wParam);
    void WMNewVersionFound();
    void WMIsLatestVersion();
    // The boxes the check's messages show; tests put their own in place.
    static std::unique_ptr<INewVersionPrompts> NewVersionMessageBoxes(QWidget* owner);
    std::unique_ptr<INewVersionPrompts> NewVersionPrompts = NewVersionMessageBoxes(this);
    // Runs the checks; aborts and joins a running one when the window goes.
    std::unique_ptr<TNewVersionCheck> FNewVersionCheck = std::make_unique<TNewVersionCheck>(this);

protected:
    void customEvent(QEvent* event) override; // the check's messages

public:
    // ---- end of new-version check

    // ---- recording controller, progress and log (RecordingController.cpp, ProgressLog.cpp)
    // Creates the plain controls below, the encoder and the logger; called by the constructor
    // before the skin is applied.
    void CreateRecordingControls();
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnResume = nullptr;
    QComboBox* cboLogLevel = nullptr;
    QPlainTextEdit* mmoLog = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* TimeLabel = nullptr;
    // 0 running, 1 paused; the capture device reads it through its address ("-pause_pointer").
    std::atomic<int32_t> FPauseFlag{0};
    std::unique_ptr<TFFEncoder> FFEncoder;
    std::unique_ptr<TFFLogger> FFLogger;

    void btnStartClick();
    void btnStopClick();
    void btnPauseClick();
    void btnResumeClick();
    void FFEncoderTerminate(QObject* Sender, const TTerminateInfo& ATerminateInfo);
    void FFEncoderProgress(QObject* Sender, const TProgressInfo& AProgressInfo);
    void FFLoggerLog(QObject* Sender, int32_t AThreadID, TLogLevel ALogLevel,
                     const std::string& ALogMsg);
    void cboLogLevelChange();
    // Adds one line (or several, for a text with line breaks) at the end of mmoLog; an empty
    // text adds an empty line, also as the very first line.
    void LogLine(const QString& text);
    bool FLogHasLines = false;

    // For the close query: no more progress or end reports; stop and wait; no more log lines.
    void DetachEncoderReports();
    void StopEncoderAndWait();
    void DetachLogger();

    // The controller's message boxes: text, caption, and whether it carries the warning icon.
    // Tests put a function of their own in place so that nothing waits for a user.
    using TRecordingMessageBox = void (*)(QWidget* parent, const QString& text,
                                          const QString& caption, bool warning);
    static TRecordingMessageBox RecordingMessageBox;
    // ---- end of recording controller, progress and log

    // ---- skin, image buttons, popup menu, close query (MainWindow.cpp)

    // The visible surface: the background bitmap, the region text and nine image buttons.
    TSkinImage* BackgroundImage = nullptr;
    QLineEdit* Infotext = nullptr;
    TSkinImage* TopImage = nullptr;
    TSkinImage* HelpImage = nullptr;
    TSkinImage* MinImage = nullptr;
    TSkinImage* CloseImage = nullptr;
    TSkinImage* MarkWindowImage = nullptr;
    TSkinImage* ReadyRecordImage = nullptr;
    TSkinImage* PlayImage = nullptr;
    TSkinImage* OpenFolderImage = nullptr;
    TSkinImage* OptionsImage = nullptr;
    // Plain controls that the skin hides; the images call their handlers.
    QPushButton* ButtMarkWindow = nullptr;
    QPushButton* ButtOptions = nullptr;
    QPushButton* ButtAbout = nullptr;
    QPushButton* ButtOpenFolder = nullptr;
    QCheckBox* CBoxTop = nullptr;
    // The Help image's menu: Show recordings, Help, Check for updates ..., About.
    QMenu* PMenuMain = nullptr;
    QAction* S2 = nullptr;
    QAction* N1 = nullptr;
    QAction* S1 = nullptr;
    QAction* U1 = nullptr;
    QAction* N2 = nullptr;
    QAction* A1 = nullptr;

    // Hides the plain controls and lays out the skinned surface; once, at creation.
    void ApplySkin();
    // After a modal dialog: top-most again, with "TopOKButton_2" on the Top image.
    void RestoreStayOnTop();
    // Whether the window system is asked to keep the window above others.
    void SetTopMost(bool on);
    bool IsTopMost() const;
    // Shows a dialog modally; while it is open the window is not top-most.
    int ShowModalWithStayOnTopBracket(QDialog* dialog);

    void TopImageClick();
    void HelpImageClick();
    void MinImageClick();
    void CloseImageClick();
    void MarkWindowImageClick();
    void ReadyRecordImageClick();
    void PlayImageClick();
    void OpenFolderImageClick();
    void OptionsImageClick();
    void ButtMarkWindowClick();
    void ButtOptionsClick();
    void ButtAboutClick();
    void ButtOpenFolderClick();
    void CBoxTopClick();
    void S2Click();
    void S1Click();
    void U1Click();
    void A1Click();

    // Runs the steps of the close query in order; the window then closes.
    void FormCloseQuery();
    // Called after each step of the close query with the step's name ("SaveSavedRecordings",
    // "SaveCaptureRect", "DetachEncoderReports", "StopEncoder", "DetachLogger"); for tests.
    std::function<void(const char* step)> OnCloseQueryStep;
    // Asks before closing while recording ("Recording, continue to close application?"); tests
    // answer in its place. Null asks the user.
    std::function<bool()> ConfirmCloseWhileRecording;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Wires an image button's press, click and release to its bitmaps and action.
    void WireImage(TSkinImage* image, std::function<QString()> downPicture,
                   std::function<QString()> upPicture, void (TfrmRururiVevaDedizir::*action)());
    bool FShownOnce = false;
};

extern TfrmRururiVevaDedizir* frmRururiVevaDedizir;
