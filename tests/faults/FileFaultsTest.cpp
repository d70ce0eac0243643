// Data files that cannot be used: a data folder that cannot be made, an options file and a
// recordings list that cannot be read, an options file full of hostile bytes. The program starts
// with its defaults, says what it must, and its close still runs every step.
#include "RururiVevaDedizirFrm.h"
#include "UPublic.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

struct TBox {
    QString text;
    bool warning;
};
std::vector<TBox> g_boxes;
void RecordBox(QWidget*, const QString& text, const QString&, bool warning) {
    g_boxes.push_back({text, warning});
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

const QStringList AllCloseSteps{"SaveSavedRecordings", "SaveCaptureRect", "DetachEncoderReports",
                                "StopEncoder", "DetachLogger"};

class FileFaults : public ::testing::Test {
protected:
    void SetUp() override {
        const QString home = qEnvironmentVariable("HOME");
        if (!home.contains(QStringLiteral("kvc-test-home"))) {
            GTEST_SKIP() << "needs the test HOME of kvc_add_test";
        }
        QDir(home + QStringLiteral("/Documents")).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/Documents")));
        InitAppTitle();
        InitVersionFormatSettings();
        InitAppDataFolder();
        IsRecording = false;
        LastRecordingFile.clear();
        SavedRecordingsList.clear();
        g_boxes.clear();
        TfrmRururiVevaDedizir::RecordingMessageBox = RecordBox;
    }

    // The start as the program makes it, then the close query; the steps it ran.
    QStringList StartAndClose(const std::function<void(TfrmRururiVevaDedizir&)>& between = {}) {
        LoadOptions();
        LoadSavedRecordings();
        auto w = std::make_unique<TfrmRururiVevaDedizir>();
        if (between) {
            between(*w);
        }
        QStringList steps;
        w->OnCloseQueryStep = [&](const char* step) { steps.append(QString::fromUtf8(step)); };
        w->ConfirmCloseWhileRecording = [] { return true; };
        w->FormCloseQuery();
        w.reset();
        return steps;
    }

    static void ExpectDefaultOptions() {
        const TRecorderOptions& o = RecorderOptions;
        EXPECT_EQ(o.RecTop, 10);
        EXPECT_EQ(o.RecLeft, 10);
        EXPECT_EQ(o.RecWidth, 320);
        EXPECT_EQ(o.RecHeight, 240);
        EXPECT_TRUE(o.RecordAudio);
        EXPECT_EQ(o.Audio_Bitrate, "256");
        EXPECT_TRUE(o.RecordVideo);
        EXPECT_EQ(o.Video_Frames, "15");
    }
};

TEST_F(FileFaults, DataFolderThatCannotBeMadeStopsTheStartWithItsBox) {
    // A file where the maker's folder would go.
    const QString blocker = DocumentsFolder() + QStringLiteral("/Kestrovane");
    ASSERT_TRUE(WriteAll(blocker, "not a folder"));
    const QStringList steps = StartAndClose([](TfrmRururiVevaDedizir& w) {
        w.btnStartClick();
        EXPECT_FALSE(IsRecording);
    });
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, QStringLiteral("Failed to create folder: ") + AppDataFolder);
    EXPECT_TRUE(LastRecordingFile.isEmpty());
    EXPECT_TRUE(SavedRecordingsList.isEmpty());
    EXPECT_EQ(steps, AllCloseSteps);
    EXPECT_EQ(ReadAll(blocker), "not a folder");
}

// The options file and the list exist but cannot be read: as folders (whoever runs the test),
// and without read permission (not for root, whom permissions do not stop).
TEST_F(FileFaults, UnreadableOptionsAndListGiveDefaultsAndTheCloseRunsToItsEnd) {
    for (const bool asFolders : {true, false}) {
        SCOPED_TRACE(asFolders ? "folders" : "no permission");
        if (!asFolders && geteuid() == 0) {
            continue;
        }
        QDir(AppDataFolder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(AppDataFolder + QStringLiteral("Data")));
        const QByteArray ini = "[General]\r\nRecTop=99\r\n";
        const QByteArray list = "/a.mp4|MP4|2014-02-03 09:05:07\r\n";
        if (asFolders) {
            ASSERT_TRUE(QDir().mkpath(OptionsFilePath()));
            ASSERT_TRUE(QDir().mkpath(SavedRecordingsFilePath()));
        } else {
            ASSERT_TRUE(WriteAll(OptionsFilePath(), ini));
            ASSERT_TRUE(WriteAll(SavedRecordingsFilePath(), list));
            QFile::setPermissions(OptionsFilePath(), {});
            QFile::setPermissions(SavedRecordingsFilePath(), {});
        }
        RecorderOptions = TRecorderOptions{};
        const QStringList steps = StartAndClose();
        ExpectDefaultOptions();
        EXPECT_TRUE(SavedRecordingsList.isEmpty());
        EXPECT_EQ(steps, AllCloseSteps);
        if (asFolders) {
            EXPECT_TRUE(QFileInfo(OptionsFilePath()).isDir());
            EXPECT_TRUE(QFileInfo(SavedRecordingsFilePath()).isDir());
        } else {
            // An options file that could not be read is not replaced by one holding only the
            // rectangle.
            QFile::setPermissions(OptionsFilePath(), QFile::ReadOwner | QFile::WriteOwner);
            EXPECT_EQ(ReadAll(OptionsFilePath()), ini);
        }
        EXPECT_TRUE(g_boxes.empty());
    }
}

// Megabytes of binary bytes, a 4 MB line, lone CRs and NULs, thousands of sections and repeated
// headers: the values are found, and a save changes its one value and no other byte.
TEST_F(FileFaults, HostileOptionsFileIsReadAndEditedInPlace) {
    QByteArray bytes;
    for (int i = 0; i < 256 * 64; ++i) {
        const char c = static_cast<char>(i & 0xff);
        bytes += c == '\n' ? '\r' : c;
    }
    bytes += "\nlong=" + QByteArray(4 * 1024 * 1024, 'y') + "\r\n";
    bytes += "[General]\r\nRecTop=123\r\nRecLeft=45\r\n";
    bytes += QByteArray("\0\xff\r\n", 4);
    bytes += "RecWidth=640\r\nRecHeight=480\r\n";
    for (int i = 0; i < 5000; ++i) {
        bytes += "[S" + QByteArray::number(i) + "]\nk=v\x01\n";
        if (i % 500 == 0) {
            bytes += "[general]\nRecTop=999\n";
        }
    }
    bytes += "[Audio]\nRecordAudio=0\nAudio_Bitrate=128\n[Video]\nVideo_Frames=29.97\n";
    bytes += QByteArray("garbage\0\xff", 9);
    ASSERT_TRUE(QDir().mkpath(AppDataFolder + QStringLiteral("Data")));
    ASSERT_TRUE(WriteAll(OptionsFilePath(), bytes));

    LoadOptions();
    EXPECT_EQ(RecorderOptions.RecTop, 123);
    EXPECT_EQ(RecorderOptions.RecLeft, 45);
    EXPECT_EQ(RecorderOptions.RecWidth, 640);
    EXPECT_EQ(RecorderOptions.RecHeight, 480);
    EXPECT_FALSE(RecorderOptions.RecordAudio);
    EXPECT_EQ(RecorderOptions.Audio_Bitrate, "128");
    EXPECT_EQ(RecorderOptions.Video_Frames, "29.97");

    RecorderOptions.RecTop = 77;
    ASSERT_TRUE(SaveCaptureRect());
    QByteArray expected = bytes;
    const qsizetype at = expected.indexOf("RecTop=123");
    expected.replace(at, 10, "RecTop=77");
    EXPECT_TRUE(ReadAll(OptionsFilePath()) == expected);
    LoadOptions();
    EXPECT_EQ(RecorderOptions.RecTop, 77);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
