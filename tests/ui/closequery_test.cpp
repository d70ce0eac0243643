// Recording from the main window: the Record image starts and stops a real recording of the
// private display, Play opens the file being written, and closing during a recording runs the
// close query in its order (list saved, rectangle saved, encoder stopped) and leaves a whole
// file behind.
#include "Shell.h"
#include "SkinImage.h"
#include "UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>

std::optional<std::int64_t> MediaDurationUs(const QString& path);

class CloseQueryTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramWindows> w;
    QList<QUrl> opened;

    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static int iniRecTop() {
        // QSettings reads the section "General" as its top level.
        return QSettings(OptionsFilePath(), QSettings::IniFormat).value("RecTop", -1).toInt();
    }

private Q_SLOTS:
    void init() {
        InitAppDataFolder();
        QDir(AppDataFolder).removeRecursively();
        QDir().mkpath(AppDataFolder + "Data");
        QFile ini(OptionsFilePath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\r\nRecTop=1\r\nRecLeft=2\r\nRecWidth=320\r\nRecHeight=240\r\n"
                  "[Audio]\r\nRecordAudio=0\r\n");
        ini.close();
        w = std::make_unique<TProgramWindows>();
        QCOMPARE(RecorderOptions.RecTop, 1);
        QVERIFY(!RecorderOptions.RecordAudio); // the picture only: no sound server needed
        opened.clear();
        SetShellOpenHandler([this](const QUrl& u) {
            opened << u;
            return true;
        });
        w->showMain();
    }
    void cleanup() {
        w.reset();
        SetShellOpenHandler(nullptr);
    }

    void recordImageStartsAndStops() {
        TfrmRururiVevaDedizir* m = w->main();
        QTest::mouseClick(m->ReadyRecordImage, Qt::LeftButton);
        QVERIFY2(IsRecording, qPrintable(m->mmoLog->toPlainText()));
        QCOMPARE(m->ReadyRecordImage->picture(), QString("Recording_1"));
        QVERIFY(!LastRecordingFile.isEmpty());

        // While recording, Play opens the file that is being written.
        QTest::mouseClick(m->PlayImage, Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(LastRecordingFile)});

        // The progress reaches the status lines.
        QTRY_VERIFY_WITH_TIMEOUT(!m->lblStatus->text().isEmpty(), 5000);
        QVERIFY(m->lblStatus->isVisible());
        QTest::mousePress(m->ReadyRecordImage, Qt::LeftButton);
        QCOMPARE(m->ReadyRecordImage->picture(), QString("Recording_2"));
        QTest::mouseRelease(m->ReadyRecordImage, Qt::LeftButton);
        QVERIFY(!IsRecording);
        QCOMPARE(m->ReadyRecordImage->picture(), QString("ReadyRecord_1"));
        QVERIFY(MediaDurationUs(LastRecordingFile).has_value());
    }

    void closeQueryOrderWhileRecording() {
        TfrmRururiVevaDedizir* m = w->main();
        QTest::mouseClick(m->ReadyRecordImage, Qt::LeftButton);
        QVERIFY(IsRecording);
        const QString file = LastRecordingFile;
        QTest::qWait(1500);

        RecorderOptions.RecTop = 55;
        SavedRecordingsList.append({"/elsewhere/x.mp4", "", "", "MP4", "2026-01-01 00:00:00"});
        QStringList steps;
        m->OnCloseQueryStep = [&](const char* step) {
            steps << step;
            const QByteArray list = readFile(SavedRecordingsFilePath());
            if (steps.size() == 1) {
                QVERIFY(list.contains("/elsewhere/x.mp4|MP4|2026-01-01 00:00:00"));
                QVERIFY(list.contains(QFile::encodeName(file)));
                QCOMPARE(iniRecTop(), 1); // the rectangle comes after the list
                QVERIFY(m->FFEncoder->Running());
            } else if (steps.size() == 2) {
                QCOMPARE(iniRecTop(), 55);
                QVERIFY(m->FFEncoder->Running());
            } else if (QByteArray(step) == "StopEncoder") {
                QVERIFY(!m->FFEncoder->Running());
            }
        };
        // Not from the Close image: a close by other means asks nothing.
        QVERIFY(m->close());
        QCOMPARE(steps, (QStringList{"SaveSavedRecordings", "SaveCaptureRect",
                                     "DetachEncoderReports", "StopEncoder", "DetachLogger"}));
        QVERIFY(!m->isVisible());
        // Stopped and waited for: the file is whole.
        const auto duration = MediaDurationUs(file);
        QVERIFY(duration.has_value());
        QVERIFY(*duration > 500000);
    }

    void closeQueryWithAnUnwritableDataFolderStillRunsToTheEnd() {
        TfrmRururiVevaDedizir* m = w->main();
        QDir(AppDataFolder + "Data").removeRecursively();
        // A file where the folder should be: neither the list nor the options can be written.
        QFile blocker(AppDataFolder + "Data");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QStringList steps;
        m->OnCloseQueryStep = [&](const char* step) { steps << step; };
        QVERIFY(m->close());
        QCOMPARE(steps.size(), 5);
        QVERIFY(!m->isVisible());
    }
};

KVC_UI_TEST_MAIN(CloseQueryTest)
#include "closequery_test.moc"
