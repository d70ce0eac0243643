// Text helpers shared by the windows: trimming, number conversions with the exact rules the
// settings and list files rely on, and the size and duration texts of the progress line.
#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

// Removes blanks and control characters (every character up to U+0020) from both ends.
QString TrimText(const QString& text);

// A 32-bit signed decimal integer: optional "+" or "-", then decimal digits, nothing else
// (trim first). False on an empty text, another character or a value out of range.
bool TryStrToInt32(const QString& text, int32_t& value);
// A signed 64-bit integer as the classic integer syntax reads it: optional sign, then decimal
// digits, or hexadecimal digits after "$", "x" or "0x" (up to 64 bits, taken as two's
// complement). Leading blanks are allowed, trailing ones are not.
bool TryStrToInt64(const QString& text, int64_t& value);
// A floating-point number with the given decimal separator: optional sign, digits with at most
// one separator (at least one digit), optional exponent "e"/"E" with sign. No group separators.
bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator);

// The decimal separator of the user's locale (QLocale(), which follows LC_NUMERIC and
// QLocale::setDefault).
QChar LocaleDecimalSeparator();
// The time separator of the user's locale (the character between hours and minutes of its
// short time format; ":" when it has none).
QChar LocaleTimeSeparator();

// "n Bytes" below 1024, else n / 1024^k with two decimals and " K", " M" or " G"; the locale's
// decimal separator, no group separator. Negative counts give "n Bytes".
QString FormatFileSize(int64_t bytes);
// "h:m:s:ms" from microseconds, plain numbers without leading zeros, hours unbounded.
QString FormatDuration(int64_t microseconds);
