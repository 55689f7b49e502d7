#include "platform/CodePage1252.h"

namespace platform {

namespace {

// 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t cp1252ToUnicode(unsigned char Byte)
{
    return Byte >= 0x80 && Byte < 0xA0 ? kHigh[Byte - 0x80] : char16_t(Byte);
}

char unicodeToCp1252(char16_t Code)
{
    if (Code < 0x80 || (Code >= 0xA0 && Code <= 0xFF))
        return static_cast<char>(Code);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == Code)
            return static_cast<char>(0x80 + i);
    return '?';
}

QByteArray toCp1252(QStringView Text)
{
    QByteArray out(Text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < Text.size(); ++i)
        out[i] = unicodeToCp1252(Text[i].unicode());
    return out;
}

QString fromCp1252(const QByteArray& Bytes)
{
    QString out(Bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < Bytes.size(); ++i)
        out[i] = QChar(cp1252ToUnicode(static_cast<unsigned char>(Bytes[i])));
    return out;
}

}  // namespace platform
