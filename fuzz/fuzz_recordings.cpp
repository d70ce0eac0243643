// The recordings list file on any bytes: parsing never fails, what the close writes back has as
// many entries, and an entry as the program adds it (any path without "|" or a line
// break, "MP4", a date) comes back exactly.
#include "FormatText.h"
#include "FuzzCheck.h"
#include "SavedRecordings.h"

namespace {

bool Same(const QList<TSavedRecordingsInfo>& a, const QList<TSavedRecordingsInfo>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].t_LocalFile != b[i].t_LocalFile || a[i].t_type != b[i].t_type ||
            a[i].t_Date != b[i].t_Date) {
            return false;
        }
    }
    return true;
}

// A path the program could have recorded to: no "|" or control characters, and (being
// absolute) no blank at either end.
QString AsRecordedPath(const QString& text) {
    QString path;
    for (QChar c : text) {
        if (c != u'|' && c.unicode() >= 0x20 && c.unicode() != 0x7f) {
            path += c;
        }
    }
    return TrimText(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<TSavedRecordingsInfo> list = ParseSavedRecordings(bytes);

    // A write may tidy a hostile line (control characters at the start of a field) but never
    // loses or invents an entry.
    KVC_FUZZ_CHECK(ParseSavedRecordings(SerializeSavedRecordings(list)).size() == list.size());

    QList<TSavedRecordingsInfo> own;
    for (const TSavedRecordingsInfo& info : list) {
        TSavedRecordingsInfo entry;
        entry.t_LocalFile = AsRecordedPath(info.t_LocalFile);
        if (entry.t_LocalFile.isEmpty()) {
            continue;
        }
        entry.t_type = QStringLiteral("MP4");
        entry.t_Date = QStringLiteral("2014-02-03 09:05:07");
        own.append(entry);
    }
    KVC_FUZZ_CHECK(Same(own, ParseSavedRecordings(SerializeSavedRecordings(own))));
    return 0;
}
