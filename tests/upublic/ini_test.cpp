// The INI editor: reads as the profile functions do, writes only the line it concerns.
#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace {

const QByteArray Sample = "; settings\r\n"
                          "loose=before any section\r\n"
                          "[General]\r\n"
                          "  RecTop =  25 \r\n"
                          "Unknown=keep me\r\n"
                          "\r\n"
                          "[Audio]\r\n"
                          "# a comment = not a key\r\n"
                          "RecordAudio=1\r\n"
                          "recordaudio=second copy\r\n"
                          "Empty=\r\n"
                          "[general]\r\n"
                          "RecLeft=99\r\n"
                          "[Tail] ; no keys\r\n"
                          "Last=\tvalue\twith tabs\t";

TEST(IniFile, KeepsEveryByteWhenNothingIsWritten) {
    const QByteArray cases[] = {
        Sample,
        "",
        "\n\n\r\n",
        "no newline at end",
        "[a]\nk=v\n\r\r\n[b\nx=1",
        QByteArray("\0\xff\xfe[\0]=\x80\n=\n[]\n", 14),
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_EQ(TIniFile::FromBytes(bytes).ToBytes(), bytes);
    }
}

TEST(IniFile, ReadsLikeTheProfileFunctions) {
    const TIniFile ini = TIniFile::FromBytes(Sample);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"General", "RecTop", "25"},          // blanks around key and value
        {"GENERAL", "rectop", "25"},          // names without regard to case
        {"General", "Unknown", "keep me"},    // inner blanks stay
        {"Audio", "RecordAudio", "1"},        // the first of two keys counts
        {"Audio", "Empty", ""},               // present but empty: not the default
        {"Audio", "# a comment", "default"},  // comment lines hold no keys
        {"General", "RecLeft", "default"},    // a repeated section is not merged
        {"Tail", "Last", "value\twith tabs"}, // control characters trimmed at the ends
        {"Missing", "RecTop", "default"},
        {"General", "loose", "default"}, // keys before the first section belong to none
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), QString::fromUtf8(c.expected))
            << c.section << "/" << c.key;
    }
    EXPECT_TRUE(ini.ValueExists("audio", "EMPTY"));
    EXPECT_EQ(ini.SectionNames(), QStringList({"General", "Audio", "Tail"}));
    EXPECT_EQ(ini.KeyNames("audio"), QStringList({"RecordAudio", "Empty"}));
}

TEST(IniFile, WritesChangeOnlyTheirLine) {
    struct Case {
        const char* name;
        QByteArray before;
        const char* section;
        const char* key;
        const char* value;
        QByteArray after;
    };
    const Case cases[] = {
        {"replace keeps the key's spelling and the line end", "[S]\r\n  Key = old \r\nz=1\r\n", "s",
         "KEY", "new", "[S]\r\n  Key =new\r\nz=1\r\n"},
        {"new key after the last key, before blank and comment lines",
         "[S]\na=1\n; note\nb=2\n\n; next\n[T]\nc=3\n", "S", "n", "v",
         "[S]\na=1\n; note\nb=2\nn=v\n\n; next\n[T]\nc=3\n"},
        {"new key right after the header of a section without keys", "[S]\n\n[T]\n", "S", "k", "v",
         "[S]\nk=v\n\n[T]\n"},
        {"new key in a last line without a line end", "[S]\na=1", "S", "b", "2", "[S]\na=1\nb=2\n"},
        {"new section at the end after a blank line, in the file's line ends", "[S]\r\na=1\r\n",
         "T", "k", "v", "[S]\r\na=1\r\n\r\n[T]\r\nk=v\r\n"},
        {"new section in an empty file", "", "T", "k", "v", "[T]\nk=v\n"},
        {"line breaks in a value become blanks", "[S]\na=1\n", "S", "a", "x\r\ny", "[S]\na=x  y\n"},
    };
    for (const Case& c : cases) {
        TIniFile ini = TIniFile::FromBytes(c.before);
        ini.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(ini.ToBytes(), c.after) << c.name;
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"),
                  TIniFile::FromBytes(c.after).ReadString(c.section, c.key, "x"))
            << c.name;
    }
}

TEST(IniFile, ManyWritesKeepTheIndexRight) {
    TIniFile ini;
    for (int s = 0; s < 3000; ++s) {
        ini.WriteString(QString("S%1").arg(s), "a", QString::number(s));
    }
    for (int s = 0; s < 3000; s += 7) {
        ini.WriteString(QString("s%1").arg(s), QString("k%1").arg(s), "x");
        ini.WriteString(QString("S%1").arg(s), "A", "changed");
    }
    const TIniFile back = TIniFile::FromBytes(ini.ToBytes());
    for (int s = 0; s < 3000; ++s) {
        const QString section = QString("S%1").arg(s);
        EXPECT_EQ(back.ReadString(section, "a", ""), s % 7 == 0 ? "changed" : QString::number(s));
        EXPECT_EQ(back.ValueExists(section, QString("k%1").arg(s)), s % 7 == 0);
    }
}

TEST(IniFile, SurvivesHugeLinesAndBinaryBytes) {
    QByteArray huge = "[S]\nk=" + QByteArray(8 * 1024 * 1024, 'x') + "\n" +
                      QByteArray(4 * 1024 * 1024, '[') + "\n";
    TIniFile ini = TIniFile::FromBytes(huge);
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), 8 * 1024 * 1024);
    ini.WriteString("S", "k", "short");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "short");

    std::mt19937 rng(12345);
    const char alphabet[] = "[]=;#\r\n \t\0\x80\xff"
                            "ab";
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes;
        const int n = static_cast<int>(rng() % 400);
        for (int i = 0; i < n; ++i) {
            bytes += alphabet[rng() % (sizeof alphabet - 1)];
        }
        TIniFile doc = TIniFile::FromBytes(bytes);
        ASSERT_EQ(doc.ToBytes(), bytes);
        for (const QString& section : doc.SectionNames()) {
            for (const QString& key : doc.KeyNames(section)) {
                doc.ReadString(section, key, "");
            }
        }
        doc.WriteString("a", "b", "c");
        EXPECT_EQ(TIniFile::FromBytes(doc.ToBytes()).ReadString("a", "b", ""), "c");
    }
}

TEST(IniFile, SavesWholeFilesOnly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("options.ini");
    EXPECT_EQ(IniReadString(path, "S", "k", "default"), "default");
    ASSERT_TRUE(IniWriteString(path, "S", "k", "v"));
    ASSERT_TRUE(IniWriteString(path, "S", "k2", "ü"));
    EXPECT_EQ(IniReadString(path, "s", "K2", ""), QString::fromUtf8("ü"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"options.ini"}));

    EXPECT_FALSE(IniWriteString(dir.filePath("missing/options.ini"), "S", "k", "v"));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
}

} // namespace
