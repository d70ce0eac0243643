// The options dialog's selection rules and its Save and Cancel, the recordings dialog's rows
// with their size and length, and the about box.
#include "Shell.h"
#include "UiTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramWindows> w;
    QList<QUrl> opened;

    void showOptions() {
        // FormShow runs as the dialog is shown; the modal loop is not needed here.
        OptionsWin->show();
        QVERIFY(QTest::qWaitForWindowExposed(OptionsWin));
    }

private Q_SLOTS:
    void init() {
        QFile::remove(OptionsFilePath());
        w = std::make_unique<TProgramWindows>();
        TOptionsWin::SetAudioDeviceLister([] { return QStringList{"Built-in Mic", "Sine"}; });
        opened.clear();
        SetShellOpenHandler([this](const QUrl& u) {
            opened << u;
            return true;
        });
    }
    void cleanup() {
        if (OptionsWin)
            OptionsWin->hide();
        w.reset();
        TOptionsWin::SetAudioDeviceLister(nullptr);
        SetShellOpenHandler(nullptr);
    }

    void optionsShowsTheDefaults() {
        showOptions();
        TOptionsWin* o = OptionsWin;
        QCOMPARE(o->windowTitle(), QString("Options"));
        QCOMPARE(o->size(), QSize(443, 256));
        QStringList devices;
        for (int i = 0; i < o->cboAudioDevices->count(); ++i)
            devices << o->cboAudioDevices->itemText(i);
        QCOMPARE(devices,
                 (QStringList{"Default input device", "audio=Built-in Mic", "audio=Sine"}));
        QCOMPARE(o->cboAudioDevices->currentIndex(), 0);
        QVERIFY(o->CBoxRecordAudio->isChecked());
        QVERIFY(o->CBoxRecordVideo->isChecked());
        QCOMPARE(o->Audio_Bitrate_List->currentText(), QString("256"));
        QCOMPARE(o->Video_Bitrate_List->currentText(), QString("1000"));
        QCOMPARE(o->Video_Frames_List->currentText(), QString("15"));
        QCOMPARE(o->Video_Format_List->currentText(), QString("MP4"));
        QCOMPARE(o->GroupBox1->geometry(), QRect(8, 14, 425, 91));
        QCOMPARE(o->ButtSave->geometry(), QRect(274, 223, 73, 25));
        QVERIFY(!o->ButtSave->autoDefault() && !o->ButtCancel->autoDefault());
    }

    void optionsSelectionRules_data() {
        QTest::addColumn<QString>("audioBitrate");
        QTest::addColumn<QString>("videoBitrate");
        QTest::addColumn<QString>("frames");
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("shownAudio");
        QTest::addColumn<QString>("shownVideo");
        QTest::addColumn<int>("shownFrames");
        QTest::addColumn<int>("shownDevice");
        QTest::addColumn<int>("shownFormat");
        QTest::newRow("all match") << "128"
                                   << "320"
                                   << "29.97" << 2 << 0 << "128"
                                   << "320" << 4 << 2 << 0;
        QTest::newRow("unknown bitrate shows 64") << "100"
                                                  << "1000"
                                                  << "15" << 0 << 0 << "64"
                                                  << "1000" << 0 << 0 << 0;
        QTest::newRow("texts compare exactly") << "256.0"
                                               << "01000"
                                               << "30.0" << 1 << 0 << "64"
                                               << "12000" << 0 << 1 << 0;
        QTest::newRow("stale device position shows entry 0") << "64"
                                                             << "500"
                                                             << "50" << 3 << 0 << "64"
                                                             << "500" << 6 << 0 << 0;
        QTest::newRow("negative positions show entry 0") << "384"
                                                         << "8000"
                                                         << "23.97" << -1 << -4 << "384"
                                                         << "8000" << 1 << 0 << 0;
        QTest::newRow("format beyond the list") << "96"
                                                << "2000"
                                                << "24" << 0 << 7 << "96"
                                                << "2000" << 2 << 0 << 0;
    }

    void optionsSelectionRules() {
        QFETCH(QString, audioBitrate);
        QFETCH(QString, videoBitrate);
        QFETCH(QString, frames);
        QFETCH(int, device);
        QFETCH(int, format);
        RecorderOptions.Audio_Bitrate = audioBitrate;
        RecorderOptions.Video_Bitrate = videoBitrate;
        RecorderOptions.Video_Frames = frames;
        RecorderOptions.AudioDeviceID = device;
        RecorderOptions.Video_Format = format;
        const TRecorderOptions before = RecorderOptions;
        showOptions();
        TOptionsWin* o = OptionsWin;
        QTEST(o->Audio_Bitrate_List->currentText(), "shownAudio");
        QTEST(o->Video_Bitrate_List->currentText(), "shownVideo");
        QTEST(o->Video_Frames_List->currentIndex(), "shownFrames");
        QTEST(o->cboAudioDevices->currentIndex(), "shownDevice");
        QTEST(o->Video_Format_List->currentIndex(), "shownFormat");
        // Showing changes nothing in the record.
        QCOMPARE(RecorderOptions.Audio_Bitrate, before.Audio_Bitrate);
        QCOMPARE(RecorderOptions.AudioDeviceID, before.AudioDeviceID);
        QCOMPARE(RecorderOptions.Video_Format, before.Video_Format);
    }

    void optionsCancelKeepsAndSaveStores() {
        const QByteArray ini = "[Audio]\r\nAudio_Bitrate=100\r\n";
        writeFile(OptionsFilePath(), ini);
        LoadOptions();
        QCOMPARE(RecorderOptions.Audio_Bitrate, QString("100"));

        showOptions();
        QCOMPARE(OptionsWin->Audio_Bitrate_List->currentText(), QString("64"));
        OptionsWin->CBoxRecordAudio->setChecked(false);
        QTest::mouseClick(OptionsWin->ButtCancel, Qt::LeftButton);
        QVERIFY(!OptionsWin->isVisible());
        QCOMPARE(RecorderOptions.Audio_Bitrate, QString("100"));
        QVERIFY(RecorderOptions.RecordAudio);
        QCOMPARE(readFile(OptionsFilePath()), ini);

        showOptions();
        OptionsWin->cboAudioDevices->setCurrentIndex(2);
        OptionsWin->Video_Frames_List->setCurrentIndex(4);
        OptionsWin->CBoxRecordVideo->setChecked(false);
        QTest::mouseClick(OptionsWin->ButtSave, Qt::LeftButton);
        QVERIFY(!OptionsWin->isVisible());
        QCOMPARE(RecorderOptions.Audio_Bitrate, QString("64"));
        QCOMPARE(RecorderOptions.AudioDeviceID, 2);
        QCOMPARE(RecorderOptions.Video_Frames, QString("29.97"));
        QVERIFY(!RecorderOptions.RecordVideo);
        QVERIFY(RecorderOptions.RecordAudio);
        // What was saved is what the next start loads.
        RecorderOptions = TRecorderOptions();
        LoadOptions();
        QCOMPARE(RecorderOptions.Audio_Bitrate, QString("64"));
        QCOMPARE(RecorderOptions.AudioDeviceID, 2);
        QCOMPARE(RecorderOptions.Video_Frames, QString("29.97"));
        QVERIFY(!RecorderOptions.RecordVideo);
    }

    void optionsWithoutDevicesAndHelp() {
        TOptionsWin::SetAudioDeviceLister([] { return QStringList(); });
        RecorderOptions.AudioDeviceID = 1;
        showOptions();
        QCOMPARE(OptionsWin->cboAudioDevices->count(), 1);
        QCOMPARE(OptionsWin->cboAudioDevices->currentIndex(), 0);
        QTest::mouseClick(OptionsWin->Button1, Qt::LeftButton);
        QVERIFY(OptionsWin->isVisible());
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].toString().endsWith("/support/supportList/47/Kestrovane-Video-Capture"));
    }

    void recordingsRowsWithSizeAndTime() {
        const QString dir = QDir::tempPath() + "/kvc-ui-recordings-" +
                            QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(dir);
        const QString movie = dir + "/2026-01-02-03-04-05.mp4";
        const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
        if (ffmpeg.isEmpty())
            QSKIP("ffmpeg is needed to make a sample recording");
        // A 2-second MPEG-4 file like the program's own.
        QProcess p;
        p.start(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                         "testsrc=duration=2:size=64x48:rate=10", "-c:v", "mpeg4", movie});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString text = dir + "/notes.mp4";
        writeFile(text, QByteArray(1536, 'x'));

        SavedRecordingsList = {
            {movie, "", "", "MP4", "2026-01-02 03:04:05"},
            {dir + "/gone.mp4", "", "", "MP4", "2026-01-02 04:00:00"},
            {text, "", "", "MP4", "2026-01-02 05:00:00"},
            {"C:\\R\\O'Neil\\a.mp4", "", "", "", ""},
        };
        SavedRecordingsWin->show();
        QVERIFY(QTest::qWaitForWindowExposed(SavedRecordingsWin));
        QTreeWidget* list = SavedRecordingsWin->RecordingsList;
        QCOMPARE(list->headerItem()->text(0), QString("File Name"));
        QCOMPARE(list->columnCount(), 5);
        const int widths[] = {120, 60, 70, 50, 100};
        for (int c = 0; c < 5; ++c)
            QCOMPARE(list->columnWidth(c), widths[c]);
        QCOMPARE(list->topLevelItemCount(), 4);
        const auto row = [list](int r) {
            QStringList cells;
            for (int c = 0; c < 5; ++c)
                cells << list->topLevelItem(r)->text(c);
            return cells;
        };
        QCOMPARE(row(0), (QStringList{movie, FormatFileSize(QFileInfo(movie).size()), "0:0:2:0",
                                      "MP4", "2026-01-02 03:04:05"}));
        QCOMPARE(row(1), (QStringList{dir + "/gone.mp4", "", "", "MP4", "2026-01-02 04:00:00"}));
        QCOMPARE(row(2), (QStringList{text, "1.50 K", "", "MP4", "2026-01-02 05:00:00"}));
        QCOMPARE(row(3), (QStringList{"C:\\R\\O'Neil\\a.mp4", "", "", "", ""}));

        // A double click plays the row; with nothing selected nothing happens.
        list->clearSelection();
        SavedRecordingsWin->RecordingsListDblClick();
        QVERIFY(opened.isEmpty());
        const QRect r0 = list->visualItemRect(list->topLevelItem(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r0.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r0.center());
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(movie)});

        // Refilled on every show: a recording added meanwhile is listed at the end.
        SavedRecordingsWin->hide();
        SavedRecordingsList.append({dir + "/new.mp4", "", "", "MP4", "2026-01-03 00:00:00"});
        SavedRecordingsWin->show();
        QCOMPARE(list->topLevelItemCount(), 5);
        QCOMPARE(list->topLevelItem(4)->text(0), dir + "/new.mp4");
        SavedRecordingsWin->hide();
        QDir(dir).removeRecursively();
    }

    void aboutBox() {
        for (int i = 0; i < 2; ++i) {
            AboutWin->show();
            QVERIFY(QTest::qWaitForWindowExposed(AboutWin));
            QCOMPARE(AboutWin->LabelVer->text(), QString("Version 1.01"));
            QCOMPARE(AboutWin->Label1->text(), QString("Kestrovane Video Capture"));
            QCOMPARE(AboutWin->LogoImage->pixmap().size(), QSize(64, 64));
            QCOMPARE(AboutWin->size(), QSize(280, 191));
            QTest::mouseClick(AboutWin->btnWebSite, Qt::LeftButton);
            QVERIFY(AboutWin->isVisible());
            AboutWin->close();
            QVERIFY(!AboutWin->isVisible());
        }
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0].toString(QUrl::StripTrailingSlash),
                 QUrl(MakerHomePage()).toString(QUrl::StripTrailingSlash));
    }
};

KVC_UI_TEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
