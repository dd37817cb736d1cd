// The member header codec: parse a level-1 MemberHeader from the stream, and encode one
// (with its checksum) for writing. Member data and the end mark are not handled here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr unsigned HEADER_FIXED_SIZE = 25;   // headerSize of a member with an empty name
constexpr unsigned HEADER_NAME_OFFSET = 22;  // first name byte, from the start of the header
constexpr unsigned MEMBER_NAME_LIMIT = 230;  // longest name: headerSize must fit one byte
constexpr std::size_t HEADER_MAX_BYTES = 257; // headerSize (at most 255) + 2 on disk

enum MemberMethod : uint8_t {
    METHOD_LH5 = 0, // "-lh5-": compressed
    METHOD_LH0 = 1, // "-lh0-": stored
};

struct MemberHeader {
    uint8_t headerSize;       // bytes after the checksum byte; nameLength + 25 as written
    MemberMethod method;
    uint32_t compressedSize;  // bytes of member data after the header
    uint32_t originalSize;
    uint16_t dosTime, dosDate;
    uint8_t attribute;        // 0x20 as written; ignored when read
    uint8_t headerLevel;      // 1 as written; ignored when read
    uint8_t nameLength;
    char name[MEMBER_NAME_LIMIT + 1]; // nameLength bytes and a NUL
    uint16_t dataCrc;         // CRC-16 of the original data
    uint8_t osId;             // 0x20 as written; ignored when read
};

// The 8-bit sum of count bytes.
uint8_t HeaderChecksum(const uint8_t *bytes, std::size_t count);

// Reads a header at the stream's position. On success the stream stands at the first
// byte of member data. Fails without a message (meaning: no further member) at end of
// file, for headerSize <= 25, a short header, a wrong checksum, an unknown method, or a
// nameLength that does not fit before the CRC field.
bool ReadMemberHeader(std::FILE *f, MemberHeader *header);

// Parses the headerSize + 2 bytes of a header already in memory; same checks.
bool ParseMemberHeader(const uint8_t *bytes, std::size_t count, MemberHeader *header);

// Encodes header into out (at least HEADER_MAX_BYTES): headerSize = nameLength + 25, the
// fixed fields, name, dataCrc, osId, extHeaderSize 0 and the checksum. Returns the number
// of bytes (nameLength + 27), or 0 when nameLength exceeds MEMBER_NAME_LIMIT.
std::size_t EncodeMemberHeader(const MemberHeader &header, uint8_t *out);

// Encodes and writes the header at the stream's position; false on a short write.
bool WriteMemberHeader(std::FILE *f, const MemberHeader &header);
