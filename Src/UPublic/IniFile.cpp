#include "IniFile.h"

#include "FormatText.h"

#include <QFile>
#include <QSaveFile>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// The bytes of line between from and to with blanks and control characters cut at both ends.
QByteArray TrimmedBytes(const QByteArray& text, qsizetype from, qsizetype to) {
    while (from < to && IsBlank(text[from])) {
        ++from;
    }
    while (to > from && IsBlank(text[to - 1])) {
        --to;
    }
    return text.mid(from, to - from);
}

qsizetype FirstNonBlank(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return i;
}

// A name or value as written: control characters would end the line or confuse readers.
QString Sanitized(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = u' ';
        }
    }
    return out;
}

// The section name of a header line, or false when the line is no header.
bool HeaderName(const QByteArray& text, QString* name) {
    const qsizetype start = FirstNonBlank(text);
    if (start >= text.size() || text[start] != '[') {
        return false;
    }
    qsizetype close = text.indexOf(']', start + 1);
    if (close < 0) {
        close = text.size();
    }
    *name = QString::fromUtf8(TrimmedBytes(text, start + 1, close));
    return true;
}

} // namespace

QString TIniFile::Fold(const QString& name) {
    return name.toCaseFolded();
}

void TIniFile::IndexLine(TLine& line, QString* key) {
    line.isKey = false;
    line.valueStart = 0;
    const QByteArray& text = line.text;
    const qsizetype start = FirstNonBlank(text);
    if (start >= text.size() || text[start] == ';' || text[start] == '#' || text[start] == '[') {
        return;
    }
    const qsizetype eq = text.indexOf('=', start);
    if (eq < 0) {
        return;
    }
    const QByteArray name = TrimmedBytes(text, start, eq);
    if (name.isEmpty()) {
        return;
    }
    line.isKey = true;
    line.valueStart = static_cast<int>(eq + 1);
    if (key != nullptr) {
        *key = Fold(QString::fromUtf8(name));
    }
}

void TIniFile::RebuildKeys(TSection& section) {
    section.keys.clear();
    for (int i = 0; i < static_cast<int>(section.lines.size()); ++i) {
        QString key;
        IndexLine(section.lines[i], &key);
        if (section.lines[i].isKey && !section.keys.contains(key)) {
            section.keys.insert(key, i);
        }
    }
}

TIniFile TIniFile::FromBytes(const QByteArray& bytes) {
    TIniFile ini;
    ini.FSections.emplace_back();
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    while (pos < size) {
        qsizetype nl = bytes.indexOf('\n', pos);
        TLine line;
        if (nl < 0) {
            line.text = bytes.mid(pos);
            pos = size;
        } else {
            qsizetype end = nl;
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
            }
            line.text = bytes.mid(pos, end - pos);
            line.end = bytes.mid(end, nl + 1 - end);
            pos = nl + 1;
        }
        QString name;
        if (HeaderName(line.text, &name)) {
            TSection section;
            section.name = name;
            ini.FSections.push_back(std::move(section));
            const QString folded = Fold(name);
            if (!ini.FSectionIndex.contains(folded)) {
                ini.FSectionIndex.insert(folded, static_cast<int>(ini.FSections.size() - 1));
            }
        }
        TSection& current = ini.FSections.back();
        QString key;
        IndexLine(line, &key);
        if (line.isKey && !current.keys.contains(key)) {
            current.keys.insert(key, static_cast<int>(current.lines.size()));
        }
        current.lines.push_back(std::move(line));
    }
    return ini;
}

TIniFile TIniFile::FromFile(const QString& path, bool* ok) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok != nullptr) {
            *ok = false;
        }
        return FromBytes({});
    }
    if (ok != nullptr) {
        *ok = true;
    }
    return FromBytes(file.readAll());
}

const TIniFile::TLine* TIniFile::FindKey(const QString& section, const QString& key) const {
    const auto s = FSectionIndex.constFind(Fold(section));
    if (s == FSectionIndex.constEnd()) {
        return nullptr;
    }
    const TSection& sec = FSections[*s];
    const auto k = sec.keys.constFind(Fold(key));
    if (k == sec.keys.constEnd()) {
        return nullptr;
    }
    return &sec.lines[*k];
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const TLine* line = FindKey(section, key);
    if (line == nullptr) {
        return def;
    }
    return TrimText(QString::fromUtf8(line->text.mid(line->valueStart)));
}

bool TIniFile::SectionExists(const QString& section) const {
    return FSectionIndex.contains(Fold(section));
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    return FindKey(section, key) != nullptr;
}

QStringList TIniFile::SectionNames() const {
    QStringList names;
    for (size_t i = 1; i < FSections.size(); ++i) {
        if (FSectionIndex.value(Fold(FSections[i].name), -1) == static_cast<int>(i)) {
            names.append(FSections[i].name);
        }
    }
    return names;
}

QStringList TIniFile::KeyNames(const QString& section) const {
    QStringList names;
    const auto s = FSectionIndex.constFind(Fold(section));
    if (s == FSectionIndex.constEnd()) {
        return names;
    }
    const TSection& sec = FSections[*s];
    for (int i = 0; i < static_cast<int>(sec.lines.size()); ++i) {
        const TLine& line = sec.lines[i];
        if (!line.isKey) {
            continue;
        }
        const QString name = QString::fromUtf8(
            TrimmedBytes(line.text, FirstNonBlank(line.text), line.valueStart - 1));
        if (sec.keys.value(Fold(name), -1) == i) {
            names.append(name);
        }
    }
    return names;
}

QByteArray TIniFile::DefaultLineEnd() const {
    for (const TSection& sec : FSections) {
        for (const TLine& line : sec.lines) {
            if (!line.end.isEmpty()) {
                return line.end;
            }
        }
    }
    return "\n";
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (FSections.empty()) {
        FSections.emplace_back();
    }
    const QByteArray valueBytes = Sanitized(value).toUtf8();
    const QString cleanKey = TrimText(Sanitized(key));
    // Looked up as it will be written, so that a name with blanks around it finds its section
    // instead of adding a second one that takes over the first one's index.
    const QString cleanSection = TrimText(Sanitized(section));
    const QByteArray lineEnd = DefaultLineEnd();
    const auto s = FSectionIndex.constFind(Fold(cleanSection));
    if (s != FSectionIndex.constEnd()) {
        TSection& sec = FSections[*s];
        const auto k = sec.keys.constFind(Fold(cleanKey));
        if (k != sec.keys.constEnd()) {
            TLine& line = sec.lines[*k];
            line.text = line.text.left(line.valueStart) + valueBytes;
            return;
        }
        // After the last key line, or right after the header when the section has no keys.
        size_t at = 1;
        for (size_t i = sec.lines.size(); i > 1; --i) {
            if (sec.lines[i - 1].isKey) {
                at = i;
                break;
            }
        }
        if (sec.lines[at - 1].end.isEmpty()) {
            sec.lines[at - 1].end = lineEnd;
        }
        TLine line;
        line.text = cleanKey.toUtf8() + '=' + valueBytes;
        line.end = lineEnd;
        sec.lines.insert(sec.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        RebuildKeys(sec);
        return;
    }
    // A new section at the end of the file, after a blank line when the file has text.
    TLine* last = nullptr;
    for (size_t i = FSections.size(); i > 0 && last == nullptr; --i) {
        if (!FSections[i - 1].lines.empty()) {
            last = &FSections[i - 1].lines.back();
        }
    }
    if (last != nullptr) {
        if (last->end.isEmpty()) {
            last->end = lineEnd;
        }
        if (!TrimmedBytes(last->text, 0, last->text.size()).isEmpty()) {
            TLine blank;
            blank.end = lineEnd;
            FSections.back().lines.push_back(std::move(blank));
        }
    }
    TSection sec;
    sec.name = cleanSection;
    TLine header;
    header.text = '[' + sec.name.toUtf8() + ']';
    header.end = lineEnd;
    sec.lines.push_back(std::move(header));
    TLine line;
    line.text = cleanKey.toUtf8() + '=' + valueBytes;
    line.end = lineEnd;
    sec.lines.push_back(std::move(line));
    RebuildKeys(sec);
    FSections.push_back(std::move(sec));
    FSectionIndex.insert(Fold(FSections.back().name), static_cast<int>(FSections.size() - 1));
}

QByteArray TIniFile::ToBytes() const {
    qsizetype total = 0;
    for (const TSection& sec : FSections) {
        for (const TLine& line : sec.lines) {
            total += line.text.size() + line.end.size();
        }
    }
    QByteArray out;
    out.reserve(total);
    for (const TSection& sec : FSections) {
        for (const TLine& line : sec.lines) {
            out += line.text;
            out += line.end;
        }
    }
    return out;
}

bool TIniFile::SaveToFile(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = ToBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString IniReadString(const QString& path, const QString& section, const QString& key,
                      const QString& def) {
    return TIniFile::FromFile(path).ReadString(section, key, def);
}

bool IniWriteString(const QString& path, const QString& section, const QString& key,
                    const QString& value) {
    bool ok = false;
    TIniFile ini = TIniFile::FromFile(path, &ok);
    if (!ok && QFile::exists(path)) {
        return false; // unreadable: do not replace it with a file holding only this key
    }
    ini.WriteString(section, key, value);
    return ini.SaveToFile(path);
}
