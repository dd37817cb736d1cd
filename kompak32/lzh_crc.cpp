// CRC-16 of member data: the byte table and Crc16Update, which works eight bytes per step
// through eight derived tables and gives the same value as the byte-at-a-time form.
#include "lzh_crc.h"

#include <array>

namespace {

using CrcTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr CrcTables BuildCrcTables()
{
    CrcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
        t[0][i] = static_cast<uint16_t>(r);
    }
    // t[k][i]: the CRC of byte i followed by k zero bytes.
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            unsigned prev = t[k - 1][i];
            t[k][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
        }
    return t;
}

constexpr CrcTables crcTables = BuildCrcTables();

} // namespace

uint16_t Crc16Update(uint16_t crc, const void *data, std::size_t count)
{
    const auto *p = static_cast<const uint8_t *>(data);
    unsigned c = crc;
    while (count >= 8) {
        unsigned a = c ^ (p[0] | (p[1] << 8));
        c = crcTables[7][a & 0xFF] ^ crcTables[6][a >> 8] ^ crcTables[5][p[2]] ^
            crcTables[4][p[3]] ^ crcTables[3][p[4]] ^ crcTables[2][p[5]] ^
            crcTables[1][p[6]] ^ crcTables[0][p[7]];
        p += 8;
        count -= 8;
    }
    while (count-- > 0)
        c = (c >> 8) ^ crcTables[0][(c ^ *p++) & 0xFF];
    return static_cast<uint16_t>(c);
}
