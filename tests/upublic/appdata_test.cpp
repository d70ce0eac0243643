// Where the data folder lies. Each test runs with a HOME and XDG folders of its own.
#include "AppState.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class AppDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        FHome = qEnvironmentVariable("HOME");
        FConfig = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (FHome.isEmpty() || FConfig.isEmpty() || !FConfig.startsWith(FHome)) {
            GTEST_SKIP() << "needs the test HOME and XDG_CONFIG_HOME of kvc_add_test";
        }
        QDir().mkpath(FConfig);
        QFile::remove(FConfig + "/user-dirs.dirs");
    }
    void TearDown() override { QFile::remove(FConfig + "/user-dirs.dirs"); }
    void Configure(const QByteArray& documents) {
        QFile f(FConfig + "/user-dirs.dirs");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"" + documents + "\"\n");
    }
    QString FHome;
    QString FConfig;
};

TEST(AppDataFolderFor, AppendsOneSlashAndTheProgramFolder) {
    EXPECT_EQ(AppDataFolderFor("/home/u/Documents"), "/home/u/Documents/Kestrovane/VideoCapture/");
    EXPECT_EQ(AppDataFolderFor("/home/u/Documents/"), "/home/u/Documents/Kestrovane/VideoCapture/");
    EXPECT_EQ(AppDataFolderFor("/"), "/Kestrovane/VideoCapture/");
    EXPECT_EQ(AppDataFolderFor("/media/usb/"), "/media/usb/Kestrovane/VideoCapture/");
}

TEST_F(AppDataTest, FollowsTheConfiguredDocumentsFolder) {
    QDir().mkpath(FHome + "/Papiere");
    Configure("$HOME/Papiere");
    InitAppDataFolder();
    EXPECT_EQ(AppDataFolder, FHome + "/Papiere/Kestrovane/VideoCapture/");
}

TEST_F(AppDataTest, RootFolderGetsNoSecondSlash) {
    Configure("/");
    InitAppDataFolder();
    EXPECT_EQ(AppDataFolder, "/Kestrovane/VideoCapture/");
}

TEST_F(AppDataTest, DocumentsInHomeDocumentsWhenNoneIsConfigured) {
    InitAppDataFolder();
    EXPECT_EQ(AppDataFolder, FHome + "/Documents/Kestrovane/VideoCapture/");
}

TEST_F(AppDataTest, CreatesNoFolder) {
    QDir(FHome + "/Documents").removeRecursively();
    InitAppDataFolder();
    EXPECT_EQ(AppDataFolder, FHome + "/Documents/Kestrovane/VideoCapture/");
    EXPECT_FALSE(QFile::exists(FHome + "/Documents"));
}

TEST(VersionFormat, HasItsSixFields) {
    InitAppTitle();
    InitVersionFormatSettings();
    EXPECT_EQ(AppTitle, "Kestrovane Video Capture");
    EXPECT_EQ(VersionFormatSettings.ThousandSeparator, u',');
    EXPECT_EQ(VersionFormatSettings.DecimalSeparator, u'.');
    EXPECT_EQ(VersionFormatSettings.DateSeparator, u'-');
    EXPECT_EQ(VersionFormatSettings.ShortDateFormat, "yyyy-mm-dd");
    EXPECT_EQ(VersionFormatSettings.TimeSeparator, u':');
    EXPECT_EQ(VersionFormatSettings.ShortTimeFormat, "hh:mm:ss");
}

} // namespace
