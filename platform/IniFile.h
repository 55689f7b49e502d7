#pragma once
// Settings files of the INI kind: "[Section]" lines followed by "Name=Value"
// lines. IniStore is what both settings stores offer the program; IniFile
// holds one whole file in memory and writes it back whole.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

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
//
// Reading and rewriting cost time and memory in proportion to the file's
// size: the lines are kept as spans of the bytes read, and a run of lines
// that are no values and no section headers (blank lines, comments) is one
// span however long it is.
class IniFile : public IniStore {
public:
    // Larger files are not read, nor written: no settings file comes near
    // this, and a file the program wrote must stay one it reads.
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
    // folder when missing; on failure the old file stays as it was. A
    // content larger than kMaxFileSize is not written: the old file stays
    // and `error` says why. A content that is still what load read is not
    // written again.
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
    enum class Kind : uint8_t { Other, Value, Header };
    // One line, or for Kind::Other a run of lines, with its line breaks.
    struct Line {
        qsizetype begin = 0;  // in m_text, or in m_added for lines written since
        qsizetype size = 0;
        // Relative to begin: a value's name and its value (quotes
        // included), or a header's section name.
        uint32_t nameBegin = 0;
        uint32_t nameEnd = 0;
        uint32_t valueBegin = 0;
        uint32_t valueEnd = 0;
        uint32_t hash = 0;  // of the case-folded name, for look-ups
        Kind kind = Kind::Other;
        bool added = false;
        bool quoted = false;
        bool erased = false;  // a header whose section reads as missing until written again
    };
    // A section: its header's index and the index past its last line.
    struct Span {
        qsizetype header;
        qsizetype end;
    };

    QByteArrayView bytesOf(const Line& line) const;
    QByteArrayView nameOf(const Line& line) const;
    QString valueOf(const Line& line) const;
    bool nameIs(const Line& line, const QString& folded, uint32_t hash) const;
    std::optional<Span> findSection(const QString& section) const;
    Line parseLine(QByteArrayView text, qsizetype begin, bool added) const;
    Line addLine(const QByteArray& bytes);
    void clear();

    QString m_fileName;
    QByteArray m_text;   // the bytes read, less a byte order mark
    QByteArray m_added;  // the lines written since, one after the other
    // Every line in file order; those before the first header are the
    // preamble. A repeated section is kept as it stands but never looked up.
    std::vector<Line> m_lines;
    bool m_byteOrderMark = false;
    QByteArray m_lineBreak = "\n";  // the file's first, for new sections
    bool m_readFromFile = false;    // load read m_text from the file
};

}  // namespace platform
