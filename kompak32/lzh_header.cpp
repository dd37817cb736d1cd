// The member header codec: level-1 headers as read and as written.
#include "lzh_header.h"

#include <cstring>

#include "lzh_stream.h"

static uint16_t Get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t *p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

static void Put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

static void Put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t HeaderChecksum(const uint8_t *bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

bool ParseMemberHeader(const uint8_t *bytes, std::size_t count, MemberHeader *header)
{
    if (count < 2)
        return false;
    unsigned headerSize = bytes[0];
    // 25 or less is no member (this covers the end mark 0).
    if (headerSize <= HEADER_FIXED_SIZE || count < headerSize + 2u)
        return false;
    if (HeaderChecksum(bytes + 2, headerSize) != bytes[1])
        return false;
    const uint8_t *method = bytes + 2;
    if (std::memcmp(method, "-lh5-", 5) == 0)
        header->method = METHOD_LH5;
    else if (std::memcmp(method, "-lh0-", 5) == 0)
        header->method = METHOD_LH0;
    else
        return false;
    unsigned nameLength = bytes[21];
    // The name must end before the CRC field at headerSize - 3; a longer count would
    // read past the header.
    if (HEADER_NAME_OFFSET + nameLength > headerSize - 3u)
        return false;
    header->headerSize = static_cast<uint8_t>(headerSize);
    header->compressedSize = Get32(bytes + 7);
    header->originalSize = Get32(bytes + 11);
    header->dosTime = Get16(bytes + 15);
    header->dosDate = Get16(bytes + 17);
    header->attribute = bytes[19];
    header->headerLevel = bytes[20];
    header->nameLength = static_cast<uint8_t>(nameLength);
    std::memcpy(header->name, bytes + HEADER_NAME_OFFSET, nameLength);
    header->name[nameLength] = '\0';
    header->dataCrc = Get16(bytes + headerSize - 3);
    header->osId = bytes[headerSize - 1];
    return true;
}

bool ReadMemberHeader(std::FILE *f, MemberHeader *header)
{
    uint8_t bytes[HEADER_MAX_BYTES];
    if (ReadBytes(f, bytes, 1) != 1)
        return false;
    if (bytes[0] <= HEADER_FIXED_SIZE)
        return false;
    std::size_t rest = bytes[0] + 1u; // checksum byte and headerSize bytes
    if (ReadBytes(f, bytes + 1, rest) != rest)
        return false;
    return ParseMemberHeader(bytes, rest + 1, header);
}

std::size_t EncodeMemberHeader(const MemberHeader &header, uint8_t *out)
{
    unsigned n = header.nameLength;
    if (n > MEMBER_NAME_LIMIT)
        return 0;
    unsigned headerSize = n + HEADER_FIXED_SIZE;
    out[0] = static_cast<uint8_t>(headerSize);
    std::memcpy(out + 2, header.method == METHOD_LH0 ? "-lh0-" : "-lh5-", 5);
    Put32(out + 7, header.compressedSize);
    Put32(out + 11, header.originalSize);
    Put16(out + 15, header.dosTime);
    Put16(out + 17, header.dosDate);
    out[19] = header.attribute;
    out[20] = header.headerLevel;
    out[21] = static_cast<uint8_t>(n);
    std::memcpy(out + HEADER_NAME_OFFSET, header.name, n);
    Put16(out + HEADER_NAME_OFFSET + n, header.dataCrc);
    out[24 + n] = header.osId;
    Put16(out + 25 + n, 0); // extHeaderSize: no extended headers follow
    out[1] = HeaderChecksum(out + 2, headerSize);
    return headerSize + 2u;
}

bool WriteMemberHeader(std::FILE *f, const MemberHeader &header)
{
    uint8_t bytes[HEADER_MAX_BYTES];
    std::size_t count = EncodeMemberHeader(header, bytes);
    return count != 0 && WriteBytes(f, bytes, count);
}
