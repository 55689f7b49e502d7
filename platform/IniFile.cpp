#include "platform/IniFile.h"

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// A stray byte order mark (files joined together) counts as a blank.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0xFEFF);
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

bool isComment(QStringView line)
{
    return line.startsWith(u';') || line.startsWith(u'#');
}

// A value is trimmed when read, and one pair of double quotes around it is
// taken off; values that would lose something that way are written quoted.
bool needsQuotes(const QString& value)
{
    return trimmed(value).size() != value.size()
        || (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'));
}

QString unquoted(QStringView value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

}  // namespace

std::optional<int32_t> parseInteger(QStringView text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        text = text.sliced(1);
    }
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.sliced(1);
    } else if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        base = 16;
        text = text.sliced(2);
    }
    if (text.isEmpty())
        return std::nullopt;

    // Decimal: up to 2^31 (the magnitude of the least value); hexadecimal:
    // up to 32 bits. Either cap stops the sum long before it can overflow.
    const uint64_t cap = base == 10 ? (negative ? 0x80000000u : 0x7FFFFFFFu) : 0xFFFFFFFFu;
    uint64_t value = 0;
    for (QChar c : text) {
        int digit;
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (base == 16 && u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (base == 16 && u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > cap)
            return std::nullopt;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

int32_t IniStore::readInteger(const QString& section, const QString& name, int32_t defaultValue) const
{
    return parseInteger(readString(section, name, QString())).value_or(defaultValue);
}

bool IniStore::readBool(const QString& section, const QString& name, bool defaultValue) const
{
    return readInteger(section, name, defaultValue ? 1 : 0) != 0;
}

void IniStore::writeInteger(const QString& section, const QString& name, int32_t value)
{
    writeString(section, name, QString::number(value));
}

void IniStore::writeBool(const QString& section, const QString& name, bool value)
{
    writeString(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

IniFile::IniFile(QString fileName) : m_fileName(std::move(fileName)) {}

void IniFile::clear()
{
    m_preamble.clear();
    m_sections.clear();
    m_sectionIndex.clear();
    m_byteOrderMark = false;
}

bool IniFile::load(QString* error)
{
    clear();
    QFile file(m_fileName);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Read one byte past the limit, so that a file that grows while it is
    // read, or lies about its size, is still caught.
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (bytes.size() > kMaxFileSize) {
        if (error)
            *error = QStringLiteral("The file %1 is too large to be a settings file.").arg(m_fileName);
        return false;
    }
    setBytes(bytes);
    return true;
}

void IniFile::setBytes(QByteArrayView bytes)
{
    clear();
    if (bytes.startsWith(QByteArrayView(kByteOrderMark))) {
        m_byteOrderMark = true;
        bytes = bytes.sliced(3);
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringView all(text);

    QList<Line>* lines = &m_preamble;
    qsizetype pos = 0;
    while (pos < all.size()) {
        qsizetype end = pos;
        while (end < all.size() && all[end] != u'\n' && all[end] != u'\r')
            ++end;
        const QStringView line = trimmed(all.sliced(pos, end - pos));
        pos = end + 1;
        if (end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n')
            ++pos;

        if (line.isEmpty())
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']') && line.size() >= 2) {
            Section section;
            section.name = trimmed(line.sliced(1, line.size() - 2)).toString();
            section.folded = section.name.toCaseFolded();
            if (!m_sectionIndex.contains(section.folded))
                m_sectionIndex.insert(section.folded, m_sections.size());
            m_sections.append(std::move(section));
            lines = &m_sections.last().lines;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QStringView name = eq > 0 ? trimmed(line.first(eq)) : QStringView();
        if (isComment(line) || name.isEmpty()) {
            lines->append(Line{QString(), QString(), line.toString()});
            continue;
        }
        lines->append(Line{name.toString(), name.toString().toCaseFolded(), unquoted(trimmed(line.sliced(eq + 1)))});
    }
}

QByteArray IniFile::toBytes() const
{
    QString text;
    const auto appendLines = [&text](const QList<Line>& lines) {
        for (const Line& line : lines) {
            if (line.name.isEmpty()) {
                text += line.text;
            } else {
                text += line.name;
                text += u'=';
                if (needsQuotes(line.text))
                    text += u'"' + line.text + u'"';
                else
                    text += line.text;
            }
            text += u'\n';
        }
    };
    appendLines(m_preamble);
    bool first = m_preamble.isEmpty();
    for (const Section& section : m_sections) {
        if (section.erased)
            continue;
        if (!first)
            text += u'\n';
        first = false;
        text += u'[';
        text += section.name;
        text += u"]\n";
        appendLines(section.lines);
    }
    QByteArray bytes;
    if (m_byteOrderMark)
        bytes = kByteOrderMark;
    bytes += text.toUtf8();
    return bytes;
}

bool IniFile::save(QString* error) const
{
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1.").arg(folder);
        return false;
    }
    return writeFileAtomically(m_fileName, toBytes(), error);
}

const IniFile::Section* IniFile::findSection(const QString& section) const
{
    const auto it = m_sectionIndex.constFind(section.toCaseFolded());
    return it == m_sectionIndex.cend() ? nullptr : &m_sections[*it];
}

IniFile::Section* IniFile::findSection(const QString& section)
{
    const auto it = m_sectionIndex.constFind(section.toCaseFolded());
    return it == m_sectionIndex.cend() ? nullptr : &m_sections[*it];
}

QString IniFile::readString(const QString& section, const QString& name, const QString& defaultValue) const
{
    const Section* s = findSection(section);
    if (!s || s->erased)
        return defaultValue;
    const QString folded = name.toCaseFolded();
    for (const Line& line : s->lines) {
        if (!line.name.isEmpty() && line.folded == folded)
            return line.text;
    }
    return defaultValue;
}

IniValues IniFile::readSectionValues(const QString& section) const
{
    IniValues values;
    const Section* s = findSection(section);
    if (!s || s->erased)
        return values;
    for (const Line& line : s->lines) {
        if (!line.name.isEmpty())
            values.append({line.name, line.text});
    }
    return values;
}

bool IniFile::sectionExists(const QString& section) const
{
    const Section* s = findSection(section);
    return s && !s->erased;
}

void IniFile::writeString(const QString& section, const QString& name, const QString& value)
{
    if (hasLineBreak(section) || trimmed(section) != section)
        throw Error(QStringLiteral("The section name \"%1\" cannot be stored in an INI file.").arg(section));
    if (name.isEmpty() || hasLineBreak(name) || name.contains(u'=') || trimmed(name) != name
        || name.startsWith(u'[') || isComment(name))
        throw Error(QStringLiteral("The value name \"%1\" cannot be stored in an INI file.").arg(name));
    if (hasLineBreak(value))
        throw Error(QStringLiteral("The value of \"%1\" holds a line break and cannot be stored in an INI file.")
                        .arg(name));

    Section* s = findSection(section);
    if (!s) {
        Section added;
        added.name = section;
        added.folded = section.toCaseFolded();
        m_sectionIndex.insert(added.folded, m_sections.size());
        m_sections.append(std::move(added));
        s = &m_sections.last();
    }
    s->erased = false;
    const QString folded = name.toCaseFolded();
    for (Line& line : s->lines) {
        if (!line.name.isEmpty() && line.folded == folded) {
            line.text = value;
            return;
        }
    }
    s->lines.append(Line{name, folded, value});
}

void IniFile::eraseSection(const QString& section)
{
    // Repeated sections of the name go too, so that no stale copy of the
    // values is written back.
    const QString folded = section.toCaseFolded();
    for (Section& s : m_sections) {
        if (s.folded == folded) {
            s.lines.clear();
            s.erased = true;
        }
    }
}

}  // namespace platform
