// Test fixtures shared by the native and the Win32 tests: LZH members laid out by hand and a
// bit-by-bit CRC-16, independent of the library's own header writer and CRC table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fx {

using Bytes = std::vector<uint8_t>;

// One member as the format lays it out, built byte by byte.
struct HandMember {
    std::string name;
    std::string method = "-lh0-";
    Bytes data;                 // member data as stored (compressed for -lh5-)
    uint32_t originalSize = 0;  // for -lh0- set from data when 0 and data is not empty
    uint16_t dataCrc = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
};

// A stored member of the given bytes, CRC and stamp filled in.
HandMember StoredMember(const std::string &name, const Bytes &data, uint16_t dosTime = 0x6000,
                        uint16_t dosDate = 0x5A21);

// Header (with checksum) and data of one member.
Bytes MemberBytes(const HandMember &m);

// The members followed by the end mark.
Bytes ArchiveBytes(const std::vector<HandMember> &members);

// CRC-16/ARC computed bit by bit (independent of the library's table).
uint16_t ReferenceCrc16(const Bytes &data);

} // namespace fx
