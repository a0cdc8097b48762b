// ResourceId: the 64-bit resource identifier and the derivations of its library member form.
#pragma once

#include <cstdint>

/// A resource identifier. Plain ids have the top byte 0x00, library ids 0x40 with bits 55 to 32 clear,
/// library member ids bit 63 set with the member index in bits 55 to 32 and the library's low 32 bits below.
/// Files store it as 8 bytes little-endian; texts show it as "%.16I64X" and "%20I64u".
using ResourceId = uint64_t;

/// The id of a path that is empty or not valid; all bits set.
constexpr ResourceId InvalidResourceId = ~uint64_t(0);

/// True when bit 63 is set: the id names a member of a library.
constexpr bool IsMember(ResourceId id) { return (id >> 63) != 0; }

/// The id of the library that holds a member: its low 32 bits with 0x4000000000000000 set;
/// InvalidResourceId for an id that is not a member.
constexpr ResourceId GetLibraryId(ResourceId id) {
    return IsMember(id) ? (0x4000000000000000ull | (id & 0xFFFFFFFFull)) : InvalidResourceId;
}

/// The member's position in its library (bits 32 to 55); 0xFFFFFFFF for an id that is not a member.
constexpr uint32_t GetMemberIndex(ResourceId id) {
    return IsMember(id) ? static_cast<uint32_t>((id >> 32) & 0xFFFFFFu) : 0xFFFFFFFFu;
}
