// The recording controller of the main window: turning the options into the encoder's input and
// output option texts, starting, pausing, resuming and stopping the recording, and its end
// report.
#include "RururiVevaDedizirFrm.h"

#include "GDICapture.h"
#include "RecordingTexts.h"
#include "UPublic.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

void showRecordingMessageBox(QWidget* parent, const QString& text, const QString& caption,
                             bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

TfrmRururiVevaDedizir::TRecordingMessageBox TfrmRururiVevaDedizir::RecordingMessageBox =
    showRecordingMessageBox;

void TfrmRururiVevaDedizir::CreateRecordingControls() {
    const auto button = [this](const char* name, const char* caption, bool enabled,
                               void (TfrmRururiVevaDedizir::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setEnabled(enabled);
        connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        return b;
    };
    btnStart = button("btnStart", "Start", true, &TfrmRururiVevaDedizir::btnStartClick);
    btnStop = button("btnStop", "Stop", false, &TfrmRururiVevaDedizir::btnStopClick);
    btnPause = button("btnPause", "Pause", false, &TfrmRururiVevaDedizir::btnPauseClick);
    btnResume = button("btnResume", "Resume", false, &TfrmRururiVevaDedizir::btnResumeClick);

    cboLogLevel = new QComboBox(this);
    cboLogLevel->setObjectName("cboLogLevel");
    cboLogLevel->addItems(
        {"Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug"});
    cboLogLevel->setCurrentIndex(static_cast<int>(TLogLevel::llInfo));
    connect(cboLogLevel, &QComboBox::currentIndexChanged, this,
            [this](int) { cboLogLevelChange(); });

    mmoLog = new QPlainTextEdit(this);
    mmoLog->setObjectName("mmoLog");
    mmoLog->setReadOnly(true);
    mmoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    TimeLabel = new QLabel(this);
    TimeLabel->setObjectName("TimeLabel");

    FFLogger = std::make_unique<TFFLogger>();
    FFLogger->OnLog = [this](QObject* sender, int32_t tid, TLogLevel level,
                             const std::string& msg) { FFLoggerLog(sender, tid, level, msg); };
    FFEncoder = std::make_unique<TFFEncoder>();
    FFEncoder->OnTerminate = [this](QObject* sender, const TTerminateInfo& info) {
        FFEncoderTerminate(sender, info);
    };
    FFEncoder->OnProgress = [this](QObject* sender, const TProgressInfo& info) {
        FFEncoderProgress(sender, info);
    };
}

void TfrmRururiVevaDedizir::LogLine(const QString& text) {
    // An empty memo already shows one empty line, which the first text fills; later texts
    // start a line of their own, also when they are empty.
    QTextCursor cursor(mmoLog->document());
    cursor.movePosition(QTextCursor::End);
    if (FLogHasLines)
        cursor.insertBlock();
    cursor.insertText(text);
    FLogHasLines = true;
    QScrollBar* bar = mmoLog->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TfrmRururiVevaDedizir::btnStartClick() {
    const TRecordingTexts texts =
        BuildRecordingTexts(RecorderOptions, reinterpret_cast<std::uintptr_t>(&FPauseFlag),
                            avcodec_find_encoder_by_name("libfaac") != nullptr);
    if (texts.NothingToRecord) {
        RecordingMessageBox(this,
                            "There is nothing to record: video and sound are both turned off "
                            "in the options.",
                            AppTitle, false);
        return;
    }

    // 1. The recordings folder.
    if (!QDir(AppDataFolder).exists() && !QDir().mkpath(AppDataFolder)) {
        RecordingMessageBox(this, "Failed to create folder: " + AppDataFolder, AppTitle, false);
        return;
    }

    // 2. The libraries, checked on the first start of the run; then the capture device.
    if (!FFEncoder->AVLibLoaded()) {
        if (!FFEncoder->LoadAVLib((ExeFolder() + "LibAV").toStdString())) {
            LogLine(QString::fromStdString(FFEncoder->LastErrMsg()));
            return;
        }
        register_gdicapture();
    }

    // 3.-5.
    FFEncoder->ClearTasks();
    const QString path = RecordingFilePath(AppDataFolder, QDateTime::currentDateTime());
    FPauseFlag.store(0);

    // 6.-9. The input.
    TInputOptions inputOptions;
    inputOptions.Reset();
    inputOptions.Options = texts.InputOptions.toStdString();
    const int task = FFEncoder->AddTask(texts.Url.toStdString(), inputOptions);
    if (task < 0) {
        LogLine("");
        LogLine("***File open error: " + QString::fromStdString(FFEncoder->LastErrMsg()));
        LogLine("");
        return;
    }
    LogLine("");
    LogLine(QString::fromStdString(FFEncoder->Decoders(task, 0).FileInfoText));

    // 10.-12. The output.
    LogLine("3.OO.Options: " + texts.OutputOptions);
    TOutputOptions outputOptions;
    outputOptions.Reset();
    outputOptions.Options = texts.OutputOptions.toStdString();
    if (FFEncoder->SetOutput(task, path.toStdString(), outputOptions) < 0) {
        FFEncoder->RemoveTask(task);
        LogLine("");
        LogLine("***Cannot do convert, error: " + QString::fromStdString(FFEncoder->LastErrMsg()));
        LogLine("");
        return;
    }

    // 13.
    LogLine("");
    LogLine("***Can do convert.");
    LogLine("");
    btnStart->setEnabled(false);
    btnStop->setEnabled(true);
    btnPause->setEnabled(true);
    btnResume->setEnabled(false);
    IsRecording = true;
    LastRecordingFile = path;
    AddSavedRecording(path);
    FFEncoder->Start(1);
}

void TfrmRururiVevaDedizir::btnStopClick() {
    btnStop->setEnabled(false);
    FFEncoder->Stop(true);
    IsRecording = false;
}

void TfrmRururiVevaDedizir::btnPauseClick() {
    btnPause->setEnabled(false);
    btnResume->setEnabled(true);
    FFEncoder->Pause();
    FPauseFlag.store(1);
}

void TfrmRururiVevaDedizir::btnResumeClick() {
    btnPause->setEnabled(true);
    btnResume->setEnabled(false);
    FFEncoder->Resume();
    FPauseFlag.store(0);
}

void TfrmRururiVevaDedizir::FFEncoderTerminate(QObject* /*Sender*/,
                                               const TTerminateInfo& ATerminateInfo) {
    if (ATerminateInfo.TaskIndex < 0) {
        btnStart->setEnabled(true);
        btnStop->setEnabled(false);
        btnPause->setEnabled(false);
        btnResume->setEnabled(false);
    }
    if (ATerminateInfo.Exception)
        RecordingMessageBox(this, QString::fromStdString(ATerminateInfo.ExceptionMsg), AppTitle,
                            true);
}

void TfrmRururiVevaDedizir::DetachEncoderReports() {
    FFEncoder->OnProgress = nullptr;
    FFEncoder->OnTerminate = nullptr;
}

void TfrmRururiVevaDedizir::StopEncoderAndWait() {
    FFEncoder->Stop(true);
}

void TfrmRururiVevaDedizir::DetachLogger() {
    FFLogger->OnLog = nullptr;
}
