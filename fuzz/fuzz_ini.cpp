// The INI editor on any bytes: parsing keeps every byte, every key read back is the key's value,
// and a write changes that one value and no other.
#include "FormatText.h"
#include "FuzzCheck.h"
#include "IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QHash>
#include <QPair>

namespace {

using TValues = QHash<QPair<QString, QString>, QString>;

// Every (section, key) -> value the document answers, by folded names.
TValues AllValues(const TIniFile& ini) {
    TValues values;
    for (const QString& section : ini.SectionNames()) {
        for (const QString& key : ini.KeyNames(section)) {
            KVC_FUZZ_CHECK(ini.ValueExists(section, key));
            values.insert({section.toCaseFolded(), key.toCaseFolded()},
                          ini.ReadString(section, key, QStringLiteral("\x01none")));
        }
    }
    return values;
}

// A name the file syntax can carry: one line, not starting a comment or header, no "=" (keys)
// or "]" (sections), not blank.
bool PlainName(const QString& name, bool isSection) {
    const QString t = TrimText(name);
    if (t.isEmpty() || t != name) {
        return false;
    }
    for (QChar c : t) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'=' || c == u']' || c == u'[') {
            return false;
        }
    }
    return isSection || (t[0] != u';' && t[0] != u'#');
}

QString Sanitized(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = u' ';
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const QString section = QString::fromStdString(fdp.ConsumeRandomLengthString(40));
    const QString key = QString::fromStdString(fdp.ConsumeRandomLengthString(40));
    const QString value = QString::fromStdString(fdp.ConsumeRandomLengthString(200));
    const std::string rest = fdp.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));

    TIniFile ini = TIniFile::FromBytes(bytes);
    KVC_FUZZ_CHECK(ini.ToBytes() == bytes);
    const TValues before = AllValues(ini);
    (void)ini.ReadString(section, key, QString());

    ini.WriteString(section, key, value);
    const QByteArray written = ini.ToBytes();
    const TIniFile reread = TIniFile::FromBytes(written);
    KVC_FUZZ_CHECK(reread.ToBytes() == written);
    if (!PlainName(TrimText(section), true) || !PlainName(TrimText(key), false)) {
        return 0;
    }
    // What the edited document answers is what the written file answers, also for names with
    // blanks around them.
    KVC_FUZZ_CHECK(AllValues(ini) == AllValues(reread));
    KVC_FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("\x01none")) ==
                   reread.ReadString(section, key, QStringLiteral("\x01none")));
    if (!PlainName(section, true) || !PlainName(key, false)) {
        return 0;
    }
    const QString expected = TrimText(Sanitized(value));
    KVC_FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("\x01none")) == expected);
    KVC_FUZZ_CHECK(reread.ReadString(section, key, QStringLiteral("\x01none")) == expected);

    // Every other value is as it was.
    TValues after = AllValues(reread);
    TValues expectedAfter = before;
    expectedAfter.insert({section.toCaseFolded(), key.toCaseFolded()}, expected);
    KVC_FUZZ_CHECK(after == expectedAfter);
    return 0;
}
