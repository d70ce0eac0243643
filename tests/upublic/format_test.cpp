// Size and duration texts of the progress line.
#include "FormatText.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

constexpr int64_t G = 1073741824;

TEST(FormatText, FileSize) {
    struct Case {
        int64_t bytes;
        const char* point;
        const char* comma;
    };
    const Case cases[] = {
        {0, "0 Bytes", "0 Bytes"},
        {1023, "1023 Bytes", "1023 Bytes"},
        {1024, "1.00 K", "1,00 K"},
        {1536, "1.50 K", "1,50 K"},
        {1048575, "1024.00 K", "1024,00 K"},
        {1048576, "1.00 M", "1,00 M"},
        {1500 * 1024, "1.46 M", "1,46 M"},
        {G, "1.00 G", "1,00 G"},
        {5 * G, "5.00 G", "5,00 G"},
        {2000 * G, "2000.00 G", "2000,00 G"},
        {-1, "-1 Bytes", "-1 Bytes"},
        {INT64_MIN, "-9223372036854775808 Bytes", "-9223372036854775808 Bytes"},
    };
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale::c());
        EXPECT_EQ(FormatFileSize(c.bytes), c.point) << c.bytes;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(FormatFileSize(c.bytes), c.comma) << c.bytes;
    }
    QLocale::setDefault(QLocale::system());
}

TEST(FormatText, Duration) {
    constexpr int64_t s = 1000000;
    struct Case {
        int64_t us;
        const char* text;
    };
    const Case cases[] = {
        {0, "0:0:0:0"},
        {999, "0:0:0:0"},
        {1000, "0:0:0:1"},
        {60 * s - 1, "0:0:59:999"},
        {3600 * s, "1:0:0:0"},
        {3723 * s + 456789, "1:2:3:456"},
        {10 * s, "0:0:10:0"},
        {100 * 3600 * s, "100:0:0:0"},
        {-3723 * s - 456789, "-1:-2:-3:-456"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDuration(c.us), c.text) << c.us;
    }
}

TEST(FormatText, TrimCutsBlanksAndControlCharacters) {
    EXPECT_EQ(TrimText(QString::fromUtf8("\t\r\n \x01 a b \x1f\x7f")),
              QString::fromUtf8("a b \x1f\x7f"));
    EXPECT_EQ(TrimText(" \t "), "");
}

} // namespace
