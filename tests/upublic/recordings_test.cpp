// The recordings list file: its line format, loading rules and safe writes.
#include "AppState.h"
#include "SavedRecordings.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class RecordingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        AppDataFolder = FDir.path() + "/";
        SavedRecordingsList.clear();
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::system());
        AppDataFolder.clear();
    }
    QByteArray ReadFile() {
        QFile f(SavedRecordingsFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QTemporaryDir FDir;
};

QString Fields(const TSavedRecordingsInfo& i) {
    return i.t_LocalFile + "#" + i.t_type + "#" + i.t_Date + "#" + i.t_Size + i.t_Time;
}

TEST(RecordingsParse, LinesBecomeEntries) {
    struct Case {
        const char* name;
        QByteArray text;
        QStringList expected;
    };
    const Case cases[] = {
        {"full line",
         "/home/u/R/a.mp4|MP4|2013-08-27 03:54:18\r\n",
         {"/home/u/R/a.mp4#MP4#2013-08-27 03:54:18#"}},
        {"path only", "/r/a.mp4\r\n", {"/r/a.mp4###"}},
        {"only bars", "|||\r\n", {"###"}},
        {"apostrophe",
         "/home/O'Neil/a.mp4|MP4|2014-01-02 03:04:05\r\n",
         {"/home/O'Neil/a.mp4#MP4#2014-01-02 03:04:05#"}},
        {"spaces and letters beyond ASCII",
         "/home/Zoë Ångström/My Videos/b.mp4|MP4|d\r\n",
         {QString::fromUtf8("/home/Zoë Ångström/My Videos/b.mp4#MP4#d#")}},
        {"empty middle field moves the date",
         "/r/a.mp4||2014-01-02 03:04:05\n",
         {"/r/a.mp4#2014-01-02 03:04:05##"}},
        {"blank lines and surrounding blanks",
         "\r\n   \r\n\t/r/a.mp4|MP4|d  \r\n\r\n",
         {"/r/a.mp4#MP4#d#"}},
        {"extra pieces ignored, CR at a piece start skipped", "a|\rb|c|d\n", {"a#b#c#"}},
        {"LF only and no final line end", "a|1|x\nb|2|y", {"a#1#x#", "b#2#y#"}},
    };
    for (const Case& c : cases) {
        QStringList got;
        for (const TSavedRecordingsInfo& info : ParseSavedRecordings(c.text)) {
            got.append(Fields(info));
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST_F(RecordingsTest, LoadAndSaveRoundTrip) {
    const QByteArray text = "/home/u/R/a.mp4|MP4|2013-08-27 03:54:18\r\n"
                            "/home/O'Neil/My Videos/ß.mp4|MP4|2014-02-03 09:05:07\r\n";
    ASSERT_TRUE(QDir().mkpath(AppDataFolder + "Data"));
    {
        QFile f(SavedRecordingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    LoadSavedRecordings();
    ASSERT_EQ(SavedRecordingsList.size(), 2);
    EXPECT_EQ(SavedRecordingsList[1].t_LocalFile,
              QString::fromUtf8("/home/O'Neil/My Videos/ß.mp4"));
    QFile::remove(SavedRecordingsFilePath());
    ASSERT_TRUE(SaveSavedRecordings());
    EXPECT_EQ(ReadFile(), text);
}

TEST_F(RecordingsTest, NoFileMeansAnEmptyList) {
    SavedRecordingsList.append({"stale", "", "", "MP4", ""});
    LoadSavedRecordings();
    EXPECT_TRUE(SavedRecordingsList.isEmpty());
    EXPECT_FALSE(QFile::exists(AppDataFolder + "Data"));
}

TEST_F(RecordingsTest, AddWritesAtOnceAndCreatesData) {
    const QDateTime when(QDate(2014, 2, 3), QTime(9, 5, 7));
    AddSavedRecording("/v/one.mp4", when);
    EXPECT_EQ(ReadFile(), "/v/one.mp4|MP4|2014-02-03 09:05:07\r\n");
    AddSavedRecording("/v/two.mp4", when.addSecs(3600 * 14));
    EXPECT_EQ(ReadFile(), "/v/one.mp4|MP4|2014-02-03 09:05:07\r\n"
                          "/v/two.mp4|MP4|2014-02-03 23:05:07\r\n");
    ASSERT_EQ(SavedRecordingsList.size(), 2);
    EXPECT_TRUE(SavedRecordingsList[1].t_Size.isEmpty());
}

TEST_F(RecordingsTest, DateUsesTheLocaleTimeSeparator) {
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    if (!format.contains('.')) {
        GTEST_SKIP() << "this Qt's Finnish time format has no '.': " << format.toStdString();
    }
    EXPECT_EQ(SavedRecordingDateText(QDateTime(QDate(2014, 2, 3), QTime(9, 5, 7))),
              "2014-02-03 09.05.07");
}

TEST_F(RecordingsTest, FailedWriteKeepsTheEntriesInMemory) {
    QFile blocker(AppDataFolder + "Data"); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AddSavedRecording("/v/one.mp4", QDateTime(QDate(2014, 2, 3), QTime(9, 5, 7)));
    AddSavedRecording("/v/two.mp4", QDateTime(QDate(2014, 2, 3), QTime(9, 5, 8)));
    EXPECT_EQ(SavedRecordingsList.size(), 2);
    EXPECT_FALSE(SaveSavedRecordings());

    // Once the folder can be made, the write at close stores both.
    QFile::remove(AppDataFolder + "Data");
    ASSERT_TRUE(SaveSavedRecordings());
    EXPECT_EQ(ReadFile(), "/v/one.mp4|MP4|2014-02-03 09:05:07\r\n"
                          "/v/two.mp4|MP4|2014-02-03 09:05:08\r\n");
}

} // namespace

namespace {

// Makes permission bits apply to this process even when it runs as root, by dropping the
// capabilities that bypass them from the effective set.
bool DropFileAccessOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    for (int bit : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        data[bit / 32].effective &= ~(1u << (bit % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

TEST_F(RecordingsTest, AnUnreadableListIsNeverOverwritten) {
    ASSERT_TRUE(DropFileAccessOverride());
    ASSERT_TRUE(QDir().mkpath(AppDataFolder + "Data"));
    const QByteArray old = "/r/old1.mp4|MP4|2014-01-02 03:04:05\r\n/r/old2.mp4|MP4|d\r\n";
    {
        QFile f(SavedRecordingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QFile::setPermissions(SavedRecordingsFilePath(), QFileDevice::WriteOwner);
    {
        QFile probe(SavedRecordingsFilePath());
        if (probe.open(QIODevice::ReadOnly)) {
            GTEST_SKIP() << "permission bits do not apply to this process";
        }
    }

    LoadSavedRecordings();
    EXPECT_TRUE(SavedRecordingsList.isEmpty());
    AddSavedRecording("/r/new.mp4", QDateTime(QDate(2015, 1, 2), QTime(3, 4, 5)));
    EXPECT_FALSE(SaveSavedRecordings());

    // Once the file can be read again, its entries come first and nothing is lost.
    QFile::setPermissions(SavedRecordingsFilePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(SaveSavedRecordings());
    EXPECT_EQ(ReadFile(), old + "/r/new.mp4|MP4|2015-01-02 03:04:05\r\n");
}
