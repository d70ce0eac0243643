#include "FormatText.h"

#include <QLocale>

#include <charconv>
#include <limits>
#include <string>

QString TrimText(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from].unicode() <= 0x20) {
        ++from;
    }
    while (to > from && text[to - 1].unicode() <= 0x20) {
        --to;
    }
    return text.mid(from, to - from);
}

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int HexValue(QChar c) {
    if (IsDigit(c)) {
        return c.unicode() - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c.unicode() - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c.unicode() - u'A' + 10;
    }
    return -1;
}

// Optional sign at text[i]; returns true for "-".
bool TakeSign(const QString& text, qsizetype& i) {
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        return text[i++] == u'-';
    }
    return false;
}

// Decimal digits from i to the end as a magnitude no larger than limit.
bool DecimalMagnitude(const QString& text, qsizetype i, uint64_t limit, uint64_t& out) {
    if (i >= text.size()) {
        return false;
    }
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) {
            return false;
        }
        const uint64_t d = text[i].unicode() - u'0';
        if (v > (limit - d) / 10) {
            return false;
        }
        v = v * 10 + d;
    }
    out = v;
    return true;
}

} // namespace

bool TryStrToInt32(const QString& text, int32_t& value) {
    qsizetype i = 0;
    const bool negative = TakeSign(text, i);
    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    uint64_t magnitude = 0;
    if (!DecimalMagnitude(text, i, limit, magnitude)) {
        return false;
    }
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                     : static_cast<int32_t>(magnitude);
    return true;
}

bool TryStrToInt64(const QString& text, int64_t& value) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') {
        ++i;
    }
    const bool negative = TakeSign(text, i);
    qsizetype hexStart = -1;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hexStart = i + 1;
    } else if (i + 1 < text.size() && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hexStart = i + 2;
    }
    uint64_t magnitude = 0;
    if (hexStart >= 0) {
        if (hexStart >= text.size() || text.size() - hexStart > 16) {
            return false;
        }
        for (qsizetype j = hexStart; j < text.size(); ++j) {
            const int h = HexValue(text[j]);
            if (h < 0) {
                return false;
            }
            magnitude = (magnitude << 4) | static_cast<uint64_t>(h);
        }
        // Hexadecimal covers all 64 bits: $FFFFFFFFFFFFFFFF is -1.
        const int64_t bits = static_cast<int64_t>(magnitude);
        value = negative ? static_cast<int64_t>(0 - magnitude) : bits;
        return true;
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (!DecimalMagnitude(text, i, limit, magnitude)) {
        return false;
    }
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator) {
    // Check the shape by hand, then let from_chars do the exact conversion of a plain form.
    std::string plain;
    plain.reserve(static_cast<size_t>(text.size()));
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-') {
            plain += '-';
        }
        ++i;
    }
    int digits = 0;
    bool separator = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            plain += static_cast<char>(c.unicode());
            ++digits;
        } else if (c == decimalSeparator && !separator) {
            plain += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            plain += static_cast<char>(text[i].unicode());
            ++i;
        }
        int exponentDigits = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            plain += static_cast<char>(text[i].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    if (i != text.size()) {
        return false;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (ec != std::errc() || end != plain.data() + plain.size()) {
        return false;
    }
    value = v;
    return true;
}

QChar LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 ? point[0] : QChar(u'.');
}

QChar LocaleTimeSeparator() {
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < format.size() && format[i] != u'h' && format[i] != u'H') {
        ++i;
    }
    while (i < format.size() && (format[i] == u'h' || format[i] == u'H')) {
        ++i;
    }
    if (i < format.size()) {
        const QChar c = format[i];
        if (!c.isLetterOrNumber() && !c.isSpace() && c != u'\'') {
            return c;
        }
    }
    return u':';
}

QString FormatFileSize(int64_t bytes) {
    constexpr int64_t KB = 1024;
    constexpr int64_t MB = KB * 1024;
    constexpr int64_t GB = MB * 1024;
    if (bytes < KB) {
        return QString::number(bytes) + QStringLiteral(" Bytes");
    }
    double quotient;
    const char* unit;
    if (bytes < MB) {
        quotient = static_cast<double>(bytes) / KB;
        unit = " K";
    } else if (bytes < GB) {
        quotient = static_cast<double>(bytes) / MB;
        unit = " M";
    } else {
        quotient = static_cast<double>(bytes) / GB;
        unit = " G";
    }
    // to_chars ignores the C locale (which QCoreApplication sets from the environment).
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, quotient, std::chars_format::fixed, 2);
    if (ec != std::errc()) {
        return {};
    }
    QString text = QString::fromLatin1(buffer, end - buffer);
    text.replace(u'.', LocaleDecimalSeparator());
    return text + QLatin1String(unit);
}

QString FormatDuration(int64_t microseconds) {
    const int64_t ms = microseconds / 1000;
    const int64_t hours = ms / 3600000;
    const int64_t minutes = (ms - hours * 3600000) / 60000;
    const int64_t seconds = (ms - hours * 3600000 - minutes * 60000) / 1000;
    const int64_t millis = ms - (hours * 3600 + minutes * 60 + seconds) * 1000;
    return QStringLiteral("%1:%2:%3:%4").arg(hours).arg(minutes).arg(seconds).arg(millis);
}
