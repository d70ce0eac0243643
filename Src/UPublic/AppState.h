// The program's shared state: its title, the fixed number format of the update check, the data
// folder and the run-time flags. Plain globals, used on the GUI thread only.
#pragma once

#include <QChar>
#include <QString>

// "Kestrovane Video Capture" once start-up has set it.
extern QString AppTitle;
void InitAppTitle();

// A number and date format record. Start-up fills six fields of VersionFormatSettings; the
// update check reads it to turn a version text into a number with "." as decimal separator,
// whatever the user's locale.
struct TFormatSettings {
    QChar ThousandSeparator;
    QChar DecimalSeparator;
    QChar DateSeparator;
    QString ShortDateFormat;
    QChar TimeSeparator;
    QString ShortTimeFormat;
};
extern TFormatSettings VersionFormatSettings;
// Sets "," "." "-" "yyyy-mm-dd" ":" "hh:mm:ss".
void InitVersionFormatSettings();

// Absolute, ends in "/": the documents folder + "Kestrovane/VideoCapture/". Set once at start-up.
extern QString AppDataFolder;
// The data folder for a documents folder: one "/" appended when missing, then
// "Kestrovane/VideoCapture/".
QString AppDataFolderFor(const QString& documentsFolder);
// The user's XDG documents folder; $HOME/Documents when none is configured.
QString DocumentsFolder();
// Sets AppDataFolder from DocumentsFolder(). Creates no folder.
void InitAppDataFolder();
// The folder of the running executable, ending in "/".
QString ExeFolder();

// Run-time flags, never stored.
extern bool IsRecording;          // a recording's encoder is running
extern QString LastRecordingFile; // full path of the recording started last in this run
extern bool MarkWindowShown;      // the Mark video window is shown and takes live updates
extern bool StayOnTop;            // the main window keeps itself above other windows
