// The main window's progress lines and log: the encoder's progress reports, the logger's lines
// and the choice of the log level.
#include "RururiVevaDedizirFrm.h"

#include "UPublic.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>

void TfrmRururiVevaDedizir::FFEncoderProgress(QObject* /*Sender*/,
                                              const TProgressInfo& AProgressInfo) {
    lblStatus->setText(QString::asprintf("Frame number: %d", AProgressInfo.FrameNumber));
    TimeLabel->setText("Size: " + FormatFileSize(AProgressInfo.CurrentSize) +
                       "           Time: " + FormatDuration(AProgressInfo.CurrentDuration));
}

void TfrmRururiVevaDedizir::FFLoggerLog(QObject* /*Sender*/, int32_t AThreadID, TLogLevel ALogLevel,
                                        const std::string& ALogMsg) {
    LogLine("#" + QString::number(AThreadID) + "." + QString::number(static_cast<int>(ALogLevel)) +
            ": " + QString::fromStdString(ALogMsg));
}

void TfrmRururiVevaDedizir::cboLogLevelChange() {
    const int position = cboLogLevel->currentIndex();
    if (position >= 0 && position <= static_cast<int>(TLogLevel::llDebug))
        FFLogger->SetLogLevel(static_cast<TLogLevel>(position));
}
