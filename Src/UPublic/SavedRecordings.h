// The list of recordings started so far, kept across runs in "Data/SavedRecordings" under
// AppDataFolder: one UTF-8 line per recording, "path|type|date", CR LF line ends.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

struct TSavedRecordingsInfo {
    QString t_LocalFile; // full path of the recording
    QString t_Size;      // not stored; empty
    QString t_Time;      // not stored; empty
    QString t_type;      // "MP4" for every entry the program adds
    QString t_Date;      // "yyyy-MM-dd hh:mm:ss", the locale's time separator for the colons
};

// Oldest first. Used on the GUI thread only.
extern QList<TSavedRecordingsInfo> SavedRecordingsList;

// AppDataFolder + "Data/SavedRecordings".
QString SavedRecordingsFilePath();

// Parses the list file's text: each line trimmed, blank lines skipped, cut at "|" with empty
// pieces dropped and CR/LF skipped at the start of a piece; pieces 1 to 3 fill path, type, date.
QList<TSavedRecordingsInfo> ParseSavedRecordings(const QByteArray& bytes);
// The list file's text for a list.
QByteArray SerializeSavedRecordings(const QList<TSavedRecordingsInfo>& list);

// Replaces SavedRecordingsList with the file's entries (empty when there is no file or it cannot
// be read).
void LoadSavedRecordings();
// Writes the whole list through a temporary file and a rename, creating "Data/" if needed.
// Returns whether it succeeded; a failure leaves the previous file intact. A file that could not
// be read at load is never overwritten: once it can be read again its entries are put back in
// front of this run's, until then nothing is written.
bool SaveSavedRecordings();
// Appends an entry for a recording about to start, dated now (or at when), and writes the list
// at once so that no entry is lost if the program ends abnormally.
void AddSavedRecording(const QString& path);
void AddSavedRecording(const QString& path, const QDateTime& when);
// The date text of an entry: "yyyy-MM-dd hh:mm:ss" with the locale's time separator.
QString SavedRecordingDateText(const QDateTime& when);
