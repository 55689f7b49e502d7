// Reads a settings file the way the program does and writes it back: no
// input may crash or hang, what is not changed stays byte for byte, and
// what is written must read back the same.
#include "platform/Exceptions.h"
#include "platform/IniFile.h"

#include <cstddef>
#include <cstdint>

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IniFile ini;
    ini.setBytes(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    static const char* const sections[] = {"Settings", "Recent", "Placement", ""};
    for (const char* section : sections) {
        for (const auto& [name, value] : ini.readSectionValues(QString::fromLatin1(section))) {
            const std::optional<int32_t> n = parseInteger(value);
            if (n && parseInteger(QString::number(*n)) != n)
                __builtin_trap();
            (void)parseInteger(name);
        }
        (void)ini.readInteger(QString::fromLatin1(section), QStringLiteral("Run"), 0);
        (void)ini.readBool(QString::fromLatin1(section), QStringLiteral("Maximized"), false);
    }

    // What the program does not change is written back byte for byte.
    const QByteArray once = ini.toBytes();
    if (once != QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))
        __builtin_trap();
    IniFile again;
    again.setBytes(once);

    // The program's own writes keep that so, whatever the file held.
    again.eraseSection(QStringLiteral("Recent"));
    again.writeString(QStringLiteral("Recent"), QStringLiteral("0"), QStringLiteral("/a/b.dll"));
    again.writeInteger(QStringLiteral("Settings"), QStringLiteral("Run"), 2);
    try {
        again.writeString(QStringLiteral("Settings"), QStringLiteral("Name"),
                          QString::fromUtf8(once.left(64)));
    } catch (const Error&) {}
    const QByteArray twice = again.toBytes();
    IniFile third;
    third.setBytes(twice);
    if (third.toBytes() != twice
        || third.readInteger(QStringLiteral("Settings"), QStringLiteral("Run"), 0) != 2
        || third.readString(QStringLiteral("Recent"), QStringLiteral("0"), {}) != QStringLiteral("/a/b.dll"))
        __builtin_trap();
    return 0;
}
