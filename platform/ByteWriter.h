#pragma once
// Little-endian writes of the file formats the program produces: appended
// to a buffer, or put at a place already there.

#include <QByteArray>

#include <cstdint>

namespace platform {

inline void putLe16(char* at, uint32_t v)
{
    at[0] = static_cast<char>(v & 0xFF);
    at[1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void putLe32(char* at, uint32_t v)
{
    putLe16(at, v & 0xFFFF);
    putLe16(at + 2, v >> 16);
}

inline void appendLe16(QByteArray& out, uint32_t v)
{
    char b[2];
    putLe16(b, v);
    out.append(b, 2);
}

inline void appendLe32(QByteArray& out, uint32_t v)
{
    char b[4];
    putLe32(b, v);
    out.append(b, 4);
}

}  // namespace platform
