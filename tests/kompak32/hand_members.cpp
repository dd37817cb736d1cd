// Members laid out by hand, byte by byte, independent of the library's header writer; portable,
// so that the Win32 tests of the DLL build their archives the same way as the native tests.
#include "hand_members.h"

namespace fx {

uint16_t ReferenceCrc16(const Bytes &data)
{
    unsigned crc = 0;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return (uint16_t)crc;
}

HandMember StoredMember(const std::string &name, const Bytes &data, uint16_t dosTime,
                        uint16_t dosDate)
{
    HandMember m;
    m.name = name;
    m.data = data;
    m.originalSize = (uint32_t)data.size();
    m.dataCrc = ReferenceCrc16(data);
    m.dosTime = dosTime;
    m.dosDate = dosDate;
    return m;
}

static void Put(Bytes &b, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back((uint8_t)(v >> (8 * i)));
}

Bytes MemberBytes(const HandMember &m)
{
    Bytes h;
    h.push_back((uint8_t)(m.name.size() + 25)); // headerSize
    h.push_back(0);                              // checksum, below
    h.insert(h.end(), m.method.begin(), m.method.end());
    Put(h, (uint32_t)m.data.size(), 4);
    uint32_t original = m.originalSize;
    if (original == 0 && m.method == "-lh0-")
        original = (uint32_t)m.data.size();
    Put(h, original, 4);
    Put(h, m.dosTime, 2);
    Put(h, m.dosDate, 2);
    h.push_back(0x20); // attribute
    h.push_back(1);    // header level
    h.push_back((uint8_t)m.name.size());
    h.insert(h.end(), m.name.begin(), m.name.end());
    Put(h, m.dataCrc, 2);
    h.push_back(0x20); // OS id
    Put(h, 0, 2);      // no extended header
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i)
        sum += h[i];
    h[1] = (uint8_t)sum;
    h.insert(h.end(), m.data.begin(), m.data.end());
    return h;
}

Bytes ArchiveBytes(const std::vector<HandMember> &members)
{
    Bytes out;
    for (const HandMember &m : members) {
        Bytes b = MemberBytes(m);
        out.insert(out.end(), b.begin(), b.end());
    }
    out.push_back(0);
    return out;
}

} // namespace fx
