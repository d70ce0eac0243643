#include "AppState.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString AppTitle;
TFormatSettings VersionFormatSettings;
QString AppDataFolder;
bool IsRecording = false;
QString LastRecordingFile;
bool MarkWindowShown = false;
bool StayOnTop = false;

void InitAppTitle() {
    AppTitle = QStringLiteral("Kestrovane Video Capture");
}

void InitVersionFormatSettings() {
    VersionFormatSettings = TFormatSettings{};
    VersionFormatSettings.ThousandSeparator = u',';
    VersionFormatSettings.DecimalSeparator = u'.';
    VersionFormatSettings.DateSeparator = u'-';
    VersionFormatSettings.ShortDateFormat = QStringLiteral("yyyy-mm-dd");
    VersionFormatSettings.TimeSeparator = u':';
    VersionFormatSettings.ShortTimeFormat = QStringLiteral("hh:mm:ss");
}

QString AppDataFolderFor(const QString& documentsFolder) {
    QString folder = documentsFolder;
    if (!folder.endsWith(u'/')) {
        folder += u'/';
    }
    return folder + QStringLiteral("Kestrovane/VideoCapture/");
}

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty()) {
        return documents;
    }
    return QDir::homePath() + QStringLiteral("/Documents");
}

void InitAppDataFolder() {
    AppDataFolder = AppDataFolderFor(DocumentsFolder());
}

QString ExeFolder() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    QString folder = QFileInfo(exe).absolutePath();
    if (!folder.endsWith(u'/')) {
        folder += u'/';
    }
    return folder;
}
