// Byte-order loads and stores of file fields, shared by every reader and writer.
#pragma once

#include <cstdint>

/// The 32-bit value stored least significant byte first at bytes; no alignment needed.
inline uint32_t LoadU32LE(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

/// The 64-bit value stored least significant byte first at bytes.
inline uint64_t LoadU64LE(const uint8_t* bytes) {
    return uint64_t(LoadU32LE(bytes)) | uint64_t(LoadU32LE(bytes + 4)) << 32;
}

/// The 32-bit value stored most significant byte first at bytes.
inline uint32_t LoadU32BE(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

/// The 64-bit value stored most significant byte first at bytes.
inline uint64_t LoadU64BE(const uint8_t* bytes) {
    return uint64_t(LoadU32BE(bytes)) << 32 | LoadU32BE(bytes + 4);
}

/// Stores value at bytes, least significant byte first.
inline void StoreU32LE(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

/// Stores value at bytes, least significant byte first.
inline void StoreU64LE(uint8_t* bytes, uint64_t value) {
    StoreU32LE(bytes, static_cast<uint32_t>(value));
    StoreU32LE(bytes + 4, static_cast<uint32_t>(value >> 32));
}
