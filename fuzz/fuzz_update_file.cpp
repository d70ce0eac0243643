// The update file as the new-version check reads it: any bytes from the network go through the
// INI reader and the exact version comparison without harm, and the comparison agrees with the
// plain floating-point value wherever that is not too close to the own version to tell.
#include "FormatText.h"
#include "FuzzCheck.h"
#include "IniFile.h"
#include "UpdateCheck.h"

#include <cmath>

namespace {

void CheckVersion(const QString& version, QChar separator) {
    bool isNumber = false;
    const bool newer = IsNewerVersion(version, separator, &isNumber);
    double value = 0;
    const bool isFloat = TryStrToFloat(version, value, separator);
    KVC_FUZZ_CHECK(isNumber == isFloat);
    if (!isNumber) {
        KVC_FUZZ_CHECK(!newer);
        return;
    }
    if (std::isfinite(value) && value != 0) {
        if (value > 1.0101) {
            KVC_FUZZ_CHECK(newer);
        } else if (value < 1.0099) {
            KVC_FUZZ_CHECK(!newer);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TIniFile ini = TIniFile::FromBytes(bytes);
    const QString version = TrimText(ini.ReadString(
        QStringLiteral("News"), QStringLiteral("KestrovaneVC_ver"), QStringLiteral("0")));
    CheckVersion(version, u'.');
    // The whole body as one value as well, so that the number syntax is reached directly.
    CheckVersion(TrimText(QString::fromUtf8(bytes.left(200))), u'.');
    CheckVersion(TrimText(QString::fromUtf8(bytes.left(200))), u',');
    return 0;
}
