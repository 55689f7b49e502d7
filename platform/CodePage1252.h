#pragma once
// The Windows ANSI code page (Windows-1252) that 8-bit text is written in.
// Our own table, so the result never depends on the iconv set-up of a
// machine.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace platform {

// The character a byte stands for. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control codes
// of the same value, as the Windows conversion has it.
char16_t cp1252ToUnicode(unsigned char Byte);

// The byte of a UTF-16 code unit; '?' for characters outside the code page
// (surrogates included).
char unicodeToCp1252(char16_t Code);

QByteArray toCp1252(QStringView Text);
QString fromCp1252(const QByteArray& Bytes);

}  // namespace platform
