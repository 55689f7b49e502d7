#pragma once
// Little-endian reads from untrusted bytes. Callers check `fits` first;
// the readers assume the range is inside the span.

#include <cstdint>
#include <span>

namespace platform {

inline bool fits(std::span<const uint8_t> bytes, uint64_t offset, uint64_t length)
{
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

inline uint16_t le16(std::span<const uint8_t> b, uint64_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

inline uint32_t le32(std::span<const uint8_t> b, uint64_t at)
{
    return uint32_t {b[at]} | (uint32_t {b[at + 1]} << 8) | (uint32_t {b[at + 2]} << 16)
        | (uint32_t {b[at + 3]} << 24);
}

inline int32_t le32s(std::span<const uint8_t> b, uint64_t at) { return static_cast<int32_t>(le32(b, at)); }

inline uint32_t be32(std::span<const uint8_t> b, uint64_t at)
{
    return (uint32_t {b[at]} << 24) | (uint32_t {b[at + 1]} << 16) | (uint32_t {b[at + 2]} << 8)
        | uint32_t {b[at + 3]};
}

}  // namespace platform
