#include "platform/IniFile.h"

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
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
    m_text.clear();
    m_added.clear();
    m_lines.clear();
    m_byteOrderMark = false;
    m_lineBreak = "\n";
    m_readFromFile = false;
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
    // Read to its end or one byte past the limit, so that a file that grows
    // while it is read, or lies about its size, is still caught; in pieces,
    // so that a small file takes little memory.
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray bytes;
    while (bytes.size() <= kMaxFileSize) {
        const QByteArray piece = file.read(std::min(kPiece, kMaxFileSize + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (bytes.size() > kMaxFileSize)
        return fail(QStringLiteral("The file %1 is too large to be a settings file.").arg(m_fileName));
    // Such a file could only be rewritten by mangling it.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0'))
        return fail(QStringLiteral("%1 is not a text file in UTF-8.").arg(m_fileName));
    setBytes(bytes);
    m_readFromFile = true;
    return true;
}

namespace {

// FNV-1a over the UTF-16 units of a case-folded name.
uint32_t foldedHash(QStringView folded)
{
    uint32_t h = 2166136261u;
    for (QChar c : folded)
        h = (h ^ c.unicode()) * 16777619u;
    return h;
}

// The same for a name as it stands in the file; ASCII is folded in place,
// anything else through a decoded copy.
uint32_t nameHash(QByteArrayView name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return foldedHash(QString::fromUtf8(name).toCaseFolded());
    uint32_t h = 2166136261u;
    for (char c : name) {
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        h = (h ^ static_cast<unsigned char>(lower)) * 16777619u;
    }
    return h;
}

// The line break that ends `bytes`: empty for none.
QByteArrayView endingBreak(QByteArrayView bytes)
{
    if (bytes.endsWith("\r\n"))
        return bytes.last(2);
    if (bytes.endsWith('\n') || bytes.endsWith('\r'))
        return bytes.last(1);
    return {};
}

// Where the last line of `bytes` (a run of whole lines) begins.
qsizetype lastLineBegin(QByteArrayView bytes)
{
    qsizetype at = bytes.size() - endingBreak(bytes).size();
    while (at > 0 && bytes[at - 1] != '\n' && bytes[at - 1] != '\r')
        --at;
    return at;
}

// The end (after its break) of the last line of `run` that is not blank; 0
// when every line is. Walked back byte by byte: a long run of blank lines
// costs no more than its length.
qsizetype endOfLastTextLine(QByteArrayView run)
{
    const char* d = run.data();
    const qsizetype size = run.size();
    qsizetype at = size;
    while (at > 0) {
        const char c = d[at - 1];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            --at;
        else if (at >= 3 && run.sliced(at - 3, 3) == QByteArrayView(kByteOrderMark))
            at -= 3;
        else
            break;
    }
    if (at == 0)
        return 0;
    qsizetype end = at;
    while (end < size && d[end] != '\n' && d[end] != '\r')
        ++end;
    if (end < size)
        end += d[end] == '\r' && end + 1 < size && d[end + 1] == '\n' ? 2 : 1;
    return end;
}

}  // namespace

QByteArrayView IniFile::bytesOf(const Line& line) const
{
    return QByteArrayView(line.added ? m_added : m_text).sliced(line.begin, line.size);
}

QByteArrayView IniFile::nameOf(const Line& line) const
{
    return bytesOf(line).sliced(line.nameBegin, line.nameEnd - line.nameBegin);
}

QString IniFile::valueOf(const Line& line) const
{
    QByteArrayView value = bytesOf(line).sliced(line.valueBegin, line.valueEnd - line.valueBegin);
    if (line.quoted)
        value = value.sliced(1, value.size() - 2);
    return QString::fromUtf8(value);
}

bool IniFile::nameIs(const Line& line, const QString& folded, uint32_t hash) const
{
    return line.hash == hash && QString::fromUtf8(nameOf(line)).toCaseFolded() == folded;
}

IniFile::Line IniFile::parseLine(QByteArrayView text, qsizetype begin, bool added) const
{
    // `text` is the line without its break.
    Line line;
    line.begin = begin;
    line.added = added;
    // Offsets are kept in 32 bits; a longer line is kept but never read.
    if (text.size() > qsizetype {UINT32_MAX})
        return line;
    qsizetype first = 0;
    qsizetype stop = text.size();
    trimRange(text, first, stop);
    const QByteArrayView trimmedText = text.sliced(first, stop - first);
    if (trimmedText.startsWith(';') || trimmedText.startsWith('#'))
        return line;
    if (trimmedText.size() >= 2 && trimmedText.startsWith('[') && trimmedText.endsWith(']')) {
        qsizetype nameBegin = first + 1;
        qsizetype nameEnd = stop - 1;
        trimRange(text, nameBegin, nameEnd);
        line.kind = Kind::Header;
        line.nameBegin = static_cast<uint32_t>(nameBegin);
        line.nameEnd = static_cast<uint32_t>(nameEnd);
        line.hash = nameHash(text.sliced(nameBegin, nameEnd - nameBegin));
        return line;
    }
    const qsizetype eq = trimmedText.indexOf('=');
    if (eq <= 0)
        return line;
    qsizetype nameBegin = first;
    qsizetype nameEnd = first + eq;
    trimRange(text, nameBegin, nameEnd);
    if (nameBegin == nameEnd)
        return line;
    qsizetype valueBegin = first + eq + 1;
    qsizetype valueEnd = stop;
    trimRange(text, valueBegin, valueEnd);
    line.kind = Kind::Value;
    line.nameBegin = static_cast<uint32_t>(nameBegin);
    line.nameEnd = static_cast<uint32_t>(nameEnd);
    line.valueBegin = static_cast<uint32_t>(valueBegin);
    line.valueEnd = static_cast<uint32_t>(valueEnd);
    line.hash = nameHash(text.sliced(nameBegin, nameEnd - nameBegin));
    const QByteArrayView value = text.sliced(valueBegin, valueEnd - valueBegin);
    line.quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
    return line;
}

IniFile::Line IniFile::addLine(const QByteArray& bytes)
{
    const QByteArrayView ending = endingBreak(bytes);
    Line line = parseLine(QByteArrayView(bytes).first(bytes.size() - ending.size()), m_added.size(), true);
    line.size = bytes.size();
    m_added += bytes;
    return line;
}

void IniFile::setBytes(QByteArrayView bytes)
{
    clear();
    if (bytes.startsWith(QByteArrayView(kByteOrderMark))) {
        m_byteOrderMark = true;
        bytes = bytes.sliced(3);
    }
    m_text = bytes.toByteArray();
    const QByteArrayView text(m_text);
    const char* d = text.data();
    const qsizetype size = text.size();
    bool breakSeen = false;
    qsizetype pos = 0;
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && d[end] != '\n' && d[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < size)
            next += next + 1 < size && d[next] == '\r' && d[next + 1] == '\n' ? 2 : 1;
        if (!breakSeen && next > end) {
            m_lineBreak = text.sliced(end, next - end).toByteArray();
            breakSeen = true;
        }
        Line line = parseLine(text.sliced(pos, end - pos), pos, false);
        line.size = next - pos;
        pos = next;
        // Lines that are no values and no headers join the run before them.
        if (line.kind == Kind::Other && !m_lines.empty() && m_lines.back().kind == Kind::Other)
            m_lines.back().size += line.size;
        else
            m_lines.push_back(line);
    }
}

QByteArray IniFile::toBytes() const
{
    qsizetype size = m_byteOrderMark ? 3 : 0;
    for (const Line& line : m_lines)
        size += line.size + m_lineBreak.size();
    QByteArray bytes;
    bytes.reserve(size);
    if (m_byteOrderMark)
        bytes = kByteOrderMark;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const QByteArrayView line = bytesOf(m_lines[i]);
        bytes.append(line);
        // A last line without a break that got lines after it needs one.
        if (endingBreak(line).isEmpty() && i + 1 < m_lines.size())
            bytes += m_lineBreak;
    }
    return bytes;
}

bool IniFile::save(QString* error) const
{
    const QByteArray bytes = toBytes();
    // The next start would refuse it; the old file is kept instead.
    if (bytes.size() > kMaxFileSize) {
        if (error)
            *error = QStringLiteral("The settings would make %1 larger than %2 bytes; it is left as it was.")
                         .arg(m_fileName)
                         .arg(kMaxFileSize);
        return false;
    }
    // The very bytes the file holds are not written again: that would change
    // nothing, yet cost every run a flush to the disk.
    if (m_readFromFile && bytes.size() == qsizetype {m_byteOrderMark ? 3 : 0} + m_text.size()
        && bytes.endsWith(m_text) && QFileInfo(m_fileName).size() == bytes.size())
        return true;
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1.").arg(folder);
        return false;
    }
    return rewriteFile(m_fileName, bytes, error) == WriteResult::Written;
}

std::optional<IniFile::Span> IniFile::findSection(const QString& section) const
{
    const QString folded = section.toCaseFolded();
    const uint32_t hash = foldedHash(folded);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != Kind::Header || !nameIs(m_lines[i], folded, hash))
            continue;
        size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != Kind::Header)
            ++end;
        return Span {static_cast<qsizetype>(i), static_cast<qsizetype>(end)};
    }
    return std::nullopt;
}

QString IniFile::readString(const QString& section, const QString& name, const QString& defaultValue) const
{
    const auto s = findSection(section);
    if (!s || m_lines[s->header].erased)
        return defaultValue;
    const QString folded = name.toCaseFolded();
    const uint32_t hash = foldedHash(folded);
    for (qsizetype i = s->header + 1; i < s->end; ++i) {
        if (m_lines[i].kind == Kind::Value && nameIs(m_lines[i], folded, hash))
            return valueOf(m_lines[i]);
    }
    return defaultValue;
}

IniValues IniFile::readSectionValues(const QString& section) const
{
    IniValues values;
    const auto s = findSection(section);
    if (!s || m_lines[s->header].erased)
        return values;
    for (qsizetype i = s->header + 1; i < s->end; ++i) {
        if (m_lines[i].kind == Kind::Value)
            values.append({QString::fromUtf8(nameOf(m_lines[i])), valueOf(m_lines[i])});
    }
    return values;
}

bool IniFile::sectionExists(const QString& section) const
{
    const auto s = findSection(section);
    return s && !m_lines[s->header].erased;
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

    auto s = findSection(section);
    if (!s) {
        // One blank line between the sections, as a hand would set it.
        if (!m_lines.empty()) {
            const QByteArrayView last = bytesOf(m_lines.back());
            const QByteArrayView lastLine = last.sliced(lastLineBegin(last));
            if (!isBlankLine(lastLine.first(lastLine.size() - endingBreak(lastLine).size())))
                m_lines.push_back(addLine(m_lineBreak));
        }
        m_lines.push_back(addLine('[' + section.toUtf8() + ']' + m_lineBreak));
        s = Span {static_cast<qsizetype>(m_lines.size()) - 1, static_cast<qsizetype>(m_lines.size())};
    }
    m_lines[s->header].erased = false;
    const QString folded = name.toCaseFolded();
    const uint32_t hash = foldedHash(folded);
    for (qsizetype i = s->header + 1; i < s->end; ++i) {
        Line& line = m_lines[i];
        if (line.kind != Kind::Value || !nameIs(line, folded, hash))
            continue;
        if (valueOf(line) == value)
            return;  // the line stays as it stands
        // A value that stood in quotes keeps them; the rest of the line stays.
        const bool quoted = line.quoted || needsQuotes(value);
        const QByteArrayView old = bytesOf(line);
        const QByteArray bytes = old.first(line.valueBegin).toByteArray() + valueBytes(value, quoted)
            + old.sliced(line.valueEnd).toByteArray();
        line = addLine(bytes);
        return;
    }
    // After the section's last value, else after its last line that is not
    // blank, so that the blank lines before the next section stay there.
    qsizetype at = s->header + 1;
    for (qsizetype i = s->end - 1; i > s->header; --i) {
        if (m_lines[i].kind == Kind::Value) {
            at = i + 1;
            break;
        }
    }
    for (qsizetype i = s->end - 1; i > s->header && at == s->header + 1; --i) {
        const QByteArrayView run = bytesOf(m_lines[i]);
        const qsizetype end = endOfLastTextLine(run);
        if (end == 0)
            continue;
        at = i + 1;
        // The run's trailing blank lines are split off to follow the new line.
        if (end < run.size()) {
            Line rest = m_lines[i];
            rest.begin += end;
            rest.size -= end;
            m_lines[i].size = end;
            m_lines.insert(m_lines.begin() + at, rest);
        }
    }
    const QByteArrayView before = bytesOf(m_lines[at - 1]);
    const QByteArrayView lineBreak = endingBreak(before);
    m_lines.insert(m_lines.begin() + at,
                   addLine(name.toUtf8() + '=' + valueBytes(value, false)
                           + (lineBreak.isEmpty() ? m_lineBreak : lineBreak.toByteArray())));
}

void IniFile::eraseSection(const QString& section)
{
    // Repeated sections of the name lose their values too, so that no stale
    // copy of them is read back.
    const QString folded = section.toCaseFolded();
    const uint32_t hash = foldedHash(folded);
    bool inside = false;
    size_t kept = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        Line& line = m_lines[i];
        if (line.kind == Kind::Header) {
            inside = nameIs(line, folded, hash);
            line.erased = line.erased || inside;
        } else if (inside && line.kind == Kind::Value) {
            continue;
        }
        m_lines[kept++] = line;
    }
    m_lines.resize(kept);
}

}  // namespace platform
