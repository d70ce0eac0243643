// An editor for INI files with the semantics of the classic profile functions: section and key
// names match without regard to case, values are read trimmed of blanks and control characters,
// a missing section or key reads as the caller's default, and a write changes only the one line
// it concerns (or adds one), leaving every other byte of the file as it was.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

class TIniFile {
public:
    TIniFile() = default;

    // Parses INI text. Any bytes are accepted; nothing is lost when the text is written back.
    static TIniFile FromBytes(const QByteArray& bytes);
    // Reads the file at path. A missing or unreadable file gives an empty document and false.
    static TIniFile FromFile(const QString& path, bool* ok = nullptr);

    // The value of key in section, trimmed; def when the section or key is absent. With
    // repeated sections or keys the first one counts.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // Section names in file order, first spelling of each, without repeats.
    QStringList SectionNames() const;
    // Key names of a section in file order (first spelling, no repeats).
    QStringList KeyNames(const QString& section) const;

    // Sets key in section to value: replaces the value of an existing key in place, or adds the
    // key after the last key line of its section, or adds the section at the end. Line breaks
    // and other control characters in value are written as blanks so that the line stays one.
    void WriteString(const QString& section, const QString& key, const QString& value);

    // The document as bytes, every untouched line exactly as it was read.
    QByteArray ToBytes() const;
    // Writes the whole document to path through a temporary file and a rename, so the file on
    // disk is either the old one or the new one, never a mix. Creates no folder.
    bool SaveToFile(const QString& path) const;

private:
    struct TLine {
        QByteArray text; // the line without its line end
        QByteArray end;  // "\n", "\r\n" or empty for a last line without one
        bool isKey = false;
        int valueStart = 0; // offset in text of the first byte after "=" (key lines)
    };
    struct TSection {
        QString name;             // as spelled in the header; empty for the lines before it
        std::vector<TLine> lines; // the header line first (except for the leading block)
        QHash<QString, int> keys; // folded key name -> index in lines of its first key line
    };

    static QString Fold(const QString& name);
    static void IndexLine(TLine& line, QString* key);
    void RebuildKeys(TSection& section);
    const TLine* FindKey(const QString& section, const QString& key) const;
    QByteArray DefaultLineEnd() const;

    std::vector<TSection> FSections;   // FSections[0] holds the lines before the first header
    QHash<QString, int> FSectionIndex; // folded section name -> first section with that name
};

// Convenience wrappers that open, change and write the file at once, like the profile
// functions. IniWriteString creates the file (not its folder) when it does not exist.
QString IniReadString(const QString& path, const QString& section, const QString& key,
                      const QString& def);
bool IniWriteString(const QString& path, const QString& section, const QString& key,
                    const QString& value);
