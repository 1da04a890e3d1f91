// Little-endian fields decoded from byte arrays. RIFF and pak files store every number
// little-endian; their readers decode them through these helpers instead of laying structs over
// file bytes, so alignment and host byte order never matter.
#pragma once

#include <cstdint>

namespace le {

inline std::uint16_t readU16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::int16_t readI16(const std::uint8_t* bytes) {
    // Two's complement by construction; no implementation-defined narrowing.
    const std::int32_t value = readU16(bytes);
    return static_cast<std::int16_t>(value >= 0x8000 ? value - 0x10000 : value);
}

inline std::uint32_t readU32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::int32_t readI32(const std::uint8_t* bytes) {
    const std::uint32_t value = readU32(bytes);
    if (value < 0x80000000u) {
        return static_cast<std::int32_t>(value);
    }
    return static_cast<std::int32_t>(value - 0x80000000u) - 0x7FFFFFFF - 1;
}

// A four-character code compared as its 4 bytes in file order.
inline bool isFourCc(const std::uint8_t* bytes, const char (&code)[5]) {
    return bytes[0] == static_cast<std::uint8_t>(code[0]) && bytes[1] == static_cast<std::uint8_t>(code[1]) &&
           bytes[2] == static_cast<std::uint8_t>(code[2]) && bytes[3] == static_cast<std::uint8_t>(code[3]);
}

} // namespace le
