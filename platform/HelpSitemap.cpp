#include "platform/HelpSitemap.h"

#include "platform/ByteReader.h"

#include <QStringDecoder>

namespace platform {

namespace {

QString decode(const QByteArray& bytes)
{
    // Sitemaps carry no reliable charset: UTF-8 when valid, else Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString decodeEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out += text[i];
            continue;
        }
        const qsizetype end = text.indexOf(u';', i + 1);
        if (end < 0 || end - i > 10) {
            out += text[i];
            continue;
        }
        const QString name = text.mid(i + 1, end - i - 1);
        char32_t code = 0;
        bool ok = false;
        if (name.startsWith(u'#')) {
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint value = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            ok = ok && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
            code = value;
        } else if (name == QLatin1String("amp")) {
            code = u'&', ok = true;
        } else if (name == QLatin1String("lt")) {
            code = u'<', ok = true;
        } else if (name == QLatin1String("gt")) {
            code = u'>', ok = true;
        } else if (name == QLatin1String("quot")) {
            code = u'"', ok = true;
        } else if (name == QLatin1String("apos")) {
            code = u'\'', ok = true;
        } else if (name == QLatin1String("nbsp")) {
            code = 0xA0, ok = true;
        }
        if (!ok) {
            out += text[i];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = end;
    }
    return out;
}

// The attributes of one tag's text (what stands between its name and ">"),
// names lower-cased.
std::vector<std::pair<QString, QString>> attributes(QStringView tag)
{
    std::vector<std::pair<QString, QString>> result;
    qsizetype i = 0;
    const qsizetype n = tag.size();
    while (i < n) {
        while (i < n && (tag[i].isSpace() || tag[i] == u'/'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !tag[i].isSpace() && tag[i] != u'=' && tag[i] != u'/')
            ++i;
        const QString name = tag.mid(nameStart, i - nameStart).toString().toLower();
        while (i < n && tag[i].isSpace())
            ++i;
        QString value;
        if (i < n && tag[i] == u'=') {
            ++i;
            while (i < n && tag[i].isSpace())
                ++i;
            if (i < n && (tag[i] == u'"' || tag[i] == u'\'')) {
                const QChar quote = tag[i++];
                const qsizetype valueStart = i;
                while (i < n && tag[i] != quote)
                    ++i;
                value = tag.mid(valueStart, i - valueStart).toString();
                if (i < n)
                    ++i;
            } else {
                const qsizetype valueStart = i;
                while (i < n && !tag[i].isSpace())
                    ++i;
                value = tag.mid(valueStart, i - valueStart).toString();
            }
        }
        if (!name.isEmpty())
            result.emplace_back(name, decodeEntities(value));
        else if (i == nameStart)
            ++i;  // a stray character: step over it
    }
    return result;
}

QString attribute(const std::vector<std::pair<QString, QString>>& list, QLatin1String name)
{
    for (const auto& [key, value] : list)
        if (key == name)
            return value;
    return {};
}

}  // namespace

std::vector<SitemapEntry> parseSitemap(const QByteArray& bytes)
{
    const QString text = decode(bytes);
    std::vector<SitemapEntry> entries;
    int depth = 0;  // lists open
    bool inTopic = false;
    SitemapEntry current;
    qsizetype i = 0;
    while (true) {
        const qsizetype open = text.indexOf(u'<', i);
        if (open < 0)
            break;
        if (text.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype close = text.indexOf(QLatin1String("-->"), open + 4);
            if (close < 0)
                break;
            i = close + 3;
            continue;
        }
        const qsizetype close = text.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        i = close + 1;
        const QStringView tag = QStringView(text).mid(open + 1, close - open - 1);
        qsizetype nameEnd = 0;
        while (nameEnd < tag.size() && !tag[nameEnd].isSpace() && tag[nameEnd] != u'>')
            ++nameEnd;
        const QString name = tag.left(nameEnd).toString().toLower();
        const QStringView rest = tag.mid(nameEnd);
        if (name == QLatin1String("ul")) {
            ++depth;
        } else if (name == QLatin1String("/ul")) {
            if (depth > 0)
                --depth;
        } else if (name == QLatin1String("object")) {
            inTopic = attribute(attributes(rest), QLatin1String("type"))
                          .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive)
                == 0;
            current = SitemapEntry {};
            current.level = std::min(std::max(depth - 1, 0), kMaxSitemapLevel);
        } else if (name == QLatin1String("param") && inTopic) {
            const auto list = attributes(rest);
            const QString param = attribute(list, QLatin1String("name")).toLower();
            const QString value = attribute(list, QLatin1String("value"));
            // The first of each wins: an index keyword may name several pages.
            if (param == QLatin1String("name") && current.name.isEmpty())
                current.name = value;
            else if (param == QLatin1String("local") && current.local.isEmpty())
                current.local = value;
        } else if (name == QLatin1String("/object") && inTopic) {
            inTopic = false;
            if (!current.name.isEmpty() || !current.local.isEmpty()) {
                // A child never lies more than one level below what precedes it.
                const int limit = entries.empty() ? 0 : entries.back().level + 1;
                current.level = std::min(current.level, limit);
                entries.push_back(current);
            }
        }
    }
    return entries;
}

ChmSystemInfo parseChmSystem(const QByteArray& bytes)
{
    ChmSystemInfo info;
    const std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                        static_cast<size_t>(bytes.size()));
    uint64_t offset = 4;  // the record's version
    while (fits(span, offset, 4)) {
        const uint16_t code = le16(span, offset);
        const uint16_t length = le16(span, offset + 2);
        offset += 4;
        if (!fits(span, offset, length))
            break;
        QByteArray value(bytes.constData() + offset, static_cast<qsizetype>(length));
        const qsizetype zero = value.indexOf('\0');
        if (zero >= 0)
            value.truncate(zero);
        const QString text = decode(value);
        switch (code) {
        case 0: info.contentsFile = text; break;
        case 1: info.indexFile = text; break;
        case 2: info.defaultTopic = text; break;
        case 3: info.title = text; break;
        default: break;
        }
        offset += length;
    }
    return info;
}

TopicAddress parseTopicAddress(const QString& address)
{
    TopicAddress topic;
    const qsizetype separator = address.indexOf(QLatin1String("::"));
    if (separator < 0) {
        topic.file = address;
        return topic;
    }
    topic.file = address.left(separator);
    QString page = address.mid(separator + 2);
    const qsizetype hash = page.indexOf(u'#');
    if (hash >= 0) {
        topic.anchor = page.mid(hash + 1);
        page.truncate(hash);
    }
    if (!page.isEmpty() && !page.startsWith(u'/'))
        page.prepend(u'/');
    topic.page = page;
    return topic;
}

}  // namespace platform
