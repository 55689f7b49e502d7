#include "platform/IniFile.h"

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// A stray byte order mark (files joined together) counts as a blank.
bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == QChar(0xFEFF); }

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

// The same blanks among bytes: the length of the blank at `at`, 0 for none.
qsizetype blankAt(QByteArrayView b, qsizetype at)
{
    if (b[at] == ' ' || b[at] == '\t')
        return 1;
    return b.sliced(at).startsWith(QByteArrayView(kByteOrderMark)) ? 3 : 0;
}

qsizetype blankBefore(QByteArrayView b, qsizetype end)
{
    if (b[end - 1] == ' ' || b[end - 1] == '\t')
        return 1;
    return b.first(end).endsWith(QByteArrayView(kByteOrderMark)) ? 3 : 0;
}

// Narrows [begin, end) of `b` to what lies between blanks.
void trimRange(QByteArrayView b, qsizetype& begin, qsizetype& end)
{
    for (qsizetype n; begin < end && (n = blankAt(b, begin)) > 0;)
        begin += n;
    for (qsizetype n; end > begin && (n = blankBefore(b, end)) > 0;)
        end -= n;
}

bool hasLineBreak(const QString& text) { return text.contains(u'\n') || text.contains(u'\r'); }

bool isComment(QStringView line) { return line.startsWith(u';') || line.startsWith(u'#'); }

// A value is trimmed when read, and one pair of double quotes around it is
// taken off; values that would lose something that way are written quoted.
bool needsQuotes(const QString& value)
{
    return trimmed(value).size() != value.size()
        || (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'));
}

QByteArray valueBytes(const QString& value, bool quoted)
{
    const QByteArray bytes = value.toUtf8();
    return quoted || needsQuotes(value) ? '"' + bytes + '"' : bytes;
}

bool isBlankLine(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    trimRange(bytes, begin, end);
    return begin == end;
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
    m_lineBreak = "\n";
}

bool IniFile::load(QString* error)
{
    clear();
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Without waiting: a FIFO of this name would stall start-up until some
    // writer came along. Only a regular file is taken.
    const int fd = ::open(QFile::encodeName(m_fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        return fail(
            QStringLiteral("Cannot open %1: %2.").arg(m_fileName, QString::fromLocal8Bit(strerror(errno))));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("%1 is not a regular file.").arg(m_fileName));
    // Read one byte past the limit, so that a file that grows while it is
    // read, or lies about its size, is still caught.
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (bytes.size() > kMaxFileSize)
        return fail(QStringLiteral("The file %1 is too large to be a settings file.").arg(m_fileName));
    // Such a file could only be rewritten by mangling it.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0'))
        return fail(QStringLiteral("%1 is not a text file in UTF-8.").arg(m_fileName));
    setBytes(bytes);
    return true;
}

IniFile::Line IniFile::newLine(const QByteArray& bytes, const QByteArray& lineBreak) const
{
    Line line;
    line.bytes = bytes;
    line.lineBreak = lineBreak;
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    trimRange(bytes, begin, end);
    const QByteArrayView text = QByteArrayView(bytes).sliced(begin, end - begin);
    if (text.startsWith(';') || text.startsWith('#')
        || (text.size() >= 2 && text.startsWith('[') && text.endsWith(']')))
        return line;  // a comment or a section header
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0)
        return line;
    qsizetype nameEnd = begin + eq;
    qsizetype nameBegin = begin;
    trimRange(bytes, nameBegin, nameEnd);
    if (nameBegin == nameEnd)
        return line;
    qsizetype valueBegin = begin + eq + 1;
    qsizetype valueEnd = end;
    trimRange(bytes, valueBegin, valueEnd);
    line.name = QString::fromUtf8(QByteArrayView(bytes).sliced(nameBegin, nameEnd - nameBegin));
    line.folded = line.name.toCaseFolded();
    line.valueBegin = valueBegin;
    line.valueEnd = valueEnd;
    QByteArrayView value = QByteArrayView(bytes).sliced(valueBegin, valueEnd - valueBegin);
    line.quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
    if (line.quoted)
        value = value.sliced(1, value.size() - 2);
    line.value = QString::fromUtf8(value);
    return line;
}

void IniFile::setBytes(QByteArrayView bytes)
{
    clear();
    if (bytes.startsWith(QByteArrayView(kByteOrderMark))) {
        m_byteOrderMark = true;
        bytes = bytes.sliced(3);
    }
    bool breakSeen = false;
    QList<Line>* lines = &m_preamble;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < bytes.size())
            next += next + 1 < bytes.size() && bytes[next] == '\r' && bytes[next + 1] == '\n' ? 2 : 1;
        Line line = newLine(bytes.sliced(pos, end - pos).toByteArray(),
                            bytes.sliced(end, next - end).toByteArray());
        pos = next;
        if (!breakSeen && !line.lineBreak.isEmpty()) {
            m_lineBreak = line.lineBreak;
            breakSeen = true;
        }

        qsizetype begin = 0;
        qsizetype stop = line.bytes.size();
        trimRange(line.bytes, begin, stop);
        if (line.name.isEmpty() && stop - begin >= 2 && line.bytes[begin] == '['
            && line.bytes[stop - 1] == ']') {
            Section section;
            section.name
                = trimmed(QString::fromUtf8(QByteArrayView(line.bytes).sliced(begin + 1, stop - begin - 2)))
                      .toString();
            section.folded = section.name.toCaseFolded();
            section.header = std::move(line);
            if (!m_sectionIndex.contains(section.folded))
                m_sectionIndex.insert(section.folded, m_sections.size());
            m_sections.append(std::move(section));
            lines = &m_sections.last().lines;
            continue;
        }
        lines->append(std::move(line));
    }
}

QByteArray IniFile::toBytes() const
{
    QList<const Line*> all;
    for (const Line& line : m_preamble)
        all.append(&line);
    for (const Section& section : m_sections) {
        all.append(&section.header);
        for (const Line& line : section.lines)
            all.append(&line);
    }
    QByteArray bytes;
    if (m_byteOrderMark)
        bytes = kByteOrderMark;
    for (qsizetype i = 0; i < all.size(); ++i) {
        bytes += all[i]->bytes;
        // A last line without a break that got lines after it needs one.
        bytes += all[i]->lineBreak.isEmpty() && i + 1 < all.size() ? m_lineBreak : all[i]->lineBreak;
    }
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
            return line.value;
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
            values.append({line.name, line.value});
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
        throw Error(
            QStringLiteral("The value of \"%1\" holds a line break and cannot be stored in an INI file.")
                .arg(name));

    Section* s = findSection(section);
    if (!s) {
        // One blank line between the sections, as a hand would set it.
        QList<Line>& before = m_sections.isEmpty() ? m_preamble : m_sections.last().lines;
        const Line* last = !before.isEmpty() ? &before.last()
            : !m_sections.isEmpty()          ? &m_sections.last().header
                                             : nullptr;
        if (last && !isBlankLine(last->bytes))
            before.append(newLine({}, m_lineBreak));
        Section added;
        added.name = section;
        added.folded = section.toCaseFolded();
        added.header = newLine('[' + section.toUtf8() + ']', m_lineBreak);
        m_sectionIndex.insert(added.folded, m_sections.size());
        m_sections.append(std::move(added));
        s = &m_sections.last();
    }
    s->erased = false;
    const QString folded = name.toCaseFolded();
    for (Line& line : s->lines) {
        if (line.name.isEmpty() || line.folded != folded)
            continue;
        if (line.value == value)
            return;  // the line stays as it stands
        // A value that stood in quotes keeps them.
        line.quoted = line.quoted || needsQuotes(value);
        const QByteArray bytes = valueBytes(value, line.quoted);
        line.bytes = line.bytes.first(line.valueBegin) + bytes + line.bytes.sliced(line.valueEnd);
        line.valueEnd = line.valueBegin + bytes.size();
        line.value = value;
        return;
    }
    // After the section's last value, else after its last line that is not
    // blank, so that the blank lines before the next section stay there.
    qsizetype at = 0;
    for (qsizetype i = 0; i < s->lines.size(); ++i) {
        if (!s->lines[i].name.isEmpty())
            at = i + 1;
    }
    if (at == 0) {
        for (qsizetype i = 0; i < s->lines.size(); ++i)
            if (!isBlankLine(s->lines[i].bytes))
                at = i + 1;
    }
    const Line& before = at > 0 ? s->lines[at - 1] : s->header;
    s->lines.insert(at,
                    newLine(name.toUtf8() + '=' + valueBytes(value, false),
                            before.lineBreak.isEmpty() ? m_lineBreak : before.lineBreak));
}

void IniFile::eraseSection(const QString& section)
{
    // Repeated sections of the name lose their values too, so that no stale
    // copy of them is read back.
    const QString folded = section.toCaseFolded();
    for (Section& s : m_sections) {
        if (s.folded != folded)
            continue;
        s.lines.removeIf([](const Line& line) { return !line.name.isEmpty(); });
        s.erased = true;
    }
}

}  // namespace platform
