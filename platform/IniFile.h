#pragma once
// Settings files of the INI kind: "[Section]" lines followed by "Name=Value"
// lines. IniStore is what both settings stores offer the program; IniFile
// holds one whole file in memory and writes it back whole.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace platform {

// An integer as the settings stores read one: optional surrounding blanks,
// an optional sign, then decimal digits or hexadecimal ones after "$" or
// "0x". Decimal values must fit 32 bits; hexadecimal ones may use all 32
// bits and wrap ("$FFFFFFFF" is -1). Anything else is no integer.
std::optional<int32_t> parseInteger(QStringView text);

// Name=value pairs of one section, in the store's order.
using IniValues = QList<QPair<QString, QString>>;

// The INI-style interface of a settings store. Every value is text:
// integers are written in decimal and Booleans as "1" or "0"; a value
// that is missing or does not read as an integer gives the default, and a
// Boolean is any integer other than 0.
class IniStore {
public:
    virtual ~IniStore() = default;

    virtual QString readString(const QString& section, const QString& name,
                               const QString& defaultValue) const = 0;
    int32_t readInteger(const QString& section, const QString& name, int32_t defaultValue) const;
    bool readBool(const QString& section, const QString& name, bool defaultValue) const;
    virtual IniValues readSectionValues(const QString& section) const = 0;

    virtual void writeString(const QString& section, const QString& name, const QString& value) = 0;
    void writeInteger(const QString& section, const QString& name, int32_t value);
    void writeBool(const QString& section, const QString& name, bool value);
    virtual void eraseSection(const QString& section) = 0;
};

// One INI file, read whole and written whole, in UTF-8. Section and value
// names compare without regard to letter case. The file is kept as the
// bytes it was read as: every line the program does not change is written
// back byte for byte (comments, unknown sections and values, blank lines,
// indentation, quotes, line breaks, bytes that are not UTF-8), and a value
// the program writes replaces only the value's own bytes in its line.
// Values are read without the blanks around them and without one pair of
// double quotes around them; a value that would lose either, or that stood
// in quotes, is written in double quotes. New lines take the line break of
// the line before them, new sections the file's first line break.
class IniFile : public IniStore {
public:
    // Larger files are not read: no settings file comes near this.
    static constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;

    explicit IniFile(QString fileName = {});

    const QString& fileName() const { return m_fileName; }

    // Reads the file. A missing file reads as empty. Fails, and leaves this
    // empty, for a file that cannot be read, is no regular file (a FIFO is
    // opened without waiting for a writer), is larger than kMaxFileSize, or
    // is no UTF-8 text (a UTF-16 byte order mark, or zero bytes).
    bool load(QString* error = nullptr);
    // Replaces the content with `bytes`; every byte is accepted, and broken
    // UTF-8 reads as replacement characters but is kept as it stands.
    void setBytes(QByteArrayView bytes);
    QByteArray toBytes() const;
    // Writes the file through a temporary file and a rename, creating its
    // folder when missing; on failure the old file stays as it was.
    bool save(QString* error = nullptr) const;

    QString readString(const QString& section, const QString& name,
                       const QString& defaultValue) const override;
    IniValues readSectionValues(const QString& section) const override;
    bool sectionExists(const QString& section) const;

    // Throws platform::Error for a section or value that cannot stand on
    // one line and read back the same: a line break in any part, blanks
    // around a name, "=" in a value name or one that would read as a
    // section or a comment ("[", ";" or "#" first).
    void writeString(const QString& section, const QString& name, const QString& value) override;
    // Takes the section's values out (of every section of the name); its
    // header and other lines stay where they are.
    void eraseSection(const QString& section) override;

private:
    struct Line {
        QByteArray bytes;      // the line as it stands, without its break
        QByteArray lineBreak;  // "\n", "\r\n", "\r", or empty at the end of the file
        QString name;          // the value name; empty for a line that is no value
        QString folded;        // name in case-folded form, for look-ups
        QString value;         // the value as read
        // The value's bytes in `bytes`, quotes included, so that a new
        // value leaves the rest of the line alone.
        qsizetype valueBegin = 0;
        qsizetype valueEnd = 0;
        bool quoted = false;
    };
    struct Section {
        QString name;
        QString folded;
        Line header;
        QList<Line> lines;
        bool erased = false;  // reads as missing until a value is written again
    };

    const Section* findSection(const QString& section) const;
    Section* findSection(const QString& section);
    void clear();
    Line newLine(const QByteArray& bytes, const QByteArray& lineBreak) const;

    QString m_fileName;
    QList<Line> m_preamble;  // lines before the first section
    QList<Section> m_sections;
    // First section of each folded name; a repeated section is kept as it
    // stands but never looked up.
    QHash<QString, qsizetype> m_sectionIndex;
    bool m_byteOrderMark = false;
    QByteArray m_lineBreak = "\n";  // the file's first, for new sections
};

}  // namespace platform
