#include "SavedRecordings.h"

#include "AppState.h"
#include "FormatText.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QList<TSavedRecordingsInfo> SavedRecordingsList;

namespace {
// The list file existed at load but could not be read: the list in memory then holds only this
// run's entries, and writing it would destroy the ones on disk.
bool g_FileUnreadableAtLoad = false;
} // namespace

QString SavedRecordingsFilePath() {
    return AppDataFolder + QStringLiteral("Data/SavedRecordings");
}

namespace {

// Cuts a line at every "|"; a piece loses the CR and LF characters it starts with, and empty
// pieces are dropped.
QStringList SplitPieces(const QString& line) {
    QStringList pieces;
    for (const QStringView piece : QStringView(line).split(u'|')) {
        qsizetype start = 0;
        while (start < piece.size() && (piece[start] == u'\r' || piece[start] == u'\n')) {
            ++start;
        }
        if (start < piece.size()) {
            pieces.append(piece.mid(start).toString());
        }
    }
    return pieces;
}

} // namespace

QList<TSavedRecordingsInfo> ParseSavedRecordings(const QByteArray& bytes) {
    QList<TSavedRecordingsInfo> list;
    const QString text = QString::fromUtf8(bytes);
    for (const QStringView raw : QStringView(text).split(u'\n')) {
        const QString line = TrimText(raw.toString());
        if (line.isEmpty()) {
            continue;
        }
        const QStringList pieces = SplitPieces(line);
        TSavedRecordingsInfo info;
        if (pieces.size() >= 1) {
            info.t_LocalFile = pieces[0];
        }
        if (pieces.size() >= 2) {
            info.t_type = pieces[1];
        }
        if (pieces.size() >= 3) {
            info.t_Date = pieces[2];
        }
        list.append(info);
    }
    return list;
}

QByteArray SerializeSavedRecordings(const QList<TSavedRecordingsInfo>& list) {
    QString text;
    for (const TSavedRecordingsInfo& info : list) {
        text += info.t_LocalFile + u'|' + info.t_type + u'|' + info.t_Date + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

namespace {

// Reads the list file; false when it exists but cannot be read whole.
bool ReadListFile(QList<TSavedRecordingsInfo>& list) {
    list.clear();
    QFile file(SavedRecordingsFilePath());
    if (!file.exists()) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    list = ParseSavedRecordings(bytes);
    return true;
}

} // namespace

void LoadSavedRecordings() {
    SavedRecordingsList.clear();
    g_FileUnreadableAtLoad = false;
    if (AppDataFolder.isEmpty()) {
        return;
    }
    g_FileUnreadableAtLoad = !ReadListFile(SavedRecordingsList);
}

bool SaveSavedRecordings() {
    if (AppDataFolder.isEmpty() || !QDir().mkpath(AppDataFolder + QStringLiteral("Data"))) {
        return false;
    }
    if (g_FileUnreadableAtLoad) {
        // Put the file's entries back in front of this run's before writing; while the file
        // still cannot be read, leave it alone.
        QList<TSavedRecordingsInfo> onDisk;
        if (!ReadListFile(onDisk)) {
            return false;
        }
        SavedRecordingsList = onDisk + SavedRecordingsList;
        g_FileUnreadableAtLoad = false;
    }
    QSaveFile file(SavedRecordingsFilePath());
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = SerializeSavedRecordings(SavedRecordingsList);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString SavedRecordingDateText(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    const QChar sep = LocaleTimeSeparator();
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1-%2-%3 ")
               .arg(d.year(), 4, 10, QLatin1Char('0'))
               .arg(two(d.month()), two(d.day())) +
           two(t.hour()) + sep + two(t.minute()) + sep + two(t.second());
}

void AddSavedRecording(const QString& path) {
    AddSavedRecording(path, QDateTime::currentDateTime());
}

void AddSavedRecording(const QString& path, const QDateTime& when) {
    TSavedRecordingsInfo info;
    info.t_LocalFile = path;
    info.t_type = QStringLiteral("MP4");
    info.t_Date = SavedRecordingDateText(when);
    SavedRecordingsList.append(info);
    SaveSavedRecordings(); // a failure keeps the entry in memory for the write at close
}
