// The plain -lh5- decoder: written from the format's description alone and kept simple, so
// that the fast decoder's tables, bit buffer and copies have something to be compared with.
#include "lh5_reference.h"

namespace {

struct Bits {
    const uint8_t *data;
    std::size_t size;
    std::size_t position; // in bits; past the end every bit is 0
};

unsigned Take(Bits &b, unsigned n)
{
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i, ++b.position) {
        std::size_t byte = b.position / 8;
        unsigned bit = byte < b.size ? (b.data[byte] >> (7 - b.position % 8)) & 1 : 0;
        v = v << 1 | bit;
    }
    return v;
}

// A canonical code: how many symbols each length has and the symbols in code order.
struct Code {
    unsigned count[17];
    std::vector<unsigned> symbols;
    unsigned single; // the symbol of a code without bits
    bool empty;
};

bool MakeCode(const std::vector<unsigned> &lengths, Code &code)
{
    uint32_t space = 0;
    for (unsigned &c : code.count)
        c = 0;
    for (unsigned len : lengths) {
        if (len > 16)
            return false;
        ++code.count[len];
        if (len > 0)
            space += 1u << (16 - len);
    }
    code.symbols.clear();
    for (unsigned len = 1; len <= 16; ++len)
        for (unsigned s = 0; s < lengths.size(); ++s)
            if (lengths[s] == len)
                code.symbols.push_back(s);
    code.empty = space == 0; // every symbol then decodes as symbol 0 without bits
    code.single = 0;
    return space == 0 || space == 1u << 16;
}

unsigned Decode(Bits &b, const Code &code)
{
    if (code.empty)
        return code.single;
    unsigned first = 0, index = 0, value = 0;
    for (unsigned len = 1;; ++len) {
        value |= Take(b, 1);
        if (value - first < code.count[len])
            return code.symbols[index + value - first];
        index += code.count[len];
        first = (first + code.count[len]) << 1;
        value <<= 1;
    }
}

// The length-code and position alphabets: count lengths of fieldBits, a zero run of two bits
// after index special.
bool ReadAux(Bits &b, unsigned count, unsigned fieldBits, unsigned special, Code &code)
{
    unsigned n = Take(b, fieldBits);
    if (n == 0) {
        unsigned c = Take(b, fieldBits);
        if (c >= count)
            return false;
        code.empty = true;
        code.single = c;
        return true;
    }
    if (n > count)
        return false;
    std::vector<unsigned> lengths;
    while (lengths.size() < n) {
        unsigned c = Take(b, 3);
        if (c == 7)
            while (Take(b, 1) == 1)
                if (++c > 16)
                    return false;
        lengths.push_back(c);
        if (lengths.size() == special) {
            unsigned z = Take(b, 2);
            if (lengths.size() + z > count)
                return false;
            lengths.insert(lengths.end(), z, 0);
        }
    }
    lengths.resize(count, 0);
    return MakeCode(lengths, code);
}

bool ReadChar(Bits &b, const Code &lengthCode, Code &code)
{
    constexpr unsigned symbols = 510;
    unsigned n = Take(b, 9);
    if (n == 0) {
        unsigned c = Take(b, 9);
        if (c >= symbols)
            return false;
        code.empty = true;
        code.single = c;
        return true;
    }
    if (n > symbols)
        return false;
    std::vector<unsigned> lengths;
    while (lengths.size() < n) {
        unsigned s = Decode(b, lengthCode);
        unsigned run = s == 0 ? 1 : s == 1 ? Take(b, 4) + 3 : s == 2 ? Take(b, 9) + 20 : 0;
        if (s >= 3)
            lengths.push_back(s - 2);
        else if (lengths.size() + run > symbols)
            return false;
        else
            lengths.insert(lengths.end(), run, 0);
    }
    lengths.resize(symbols, 0);
    return MakeCode(lengths, code);
}

} // namespace

bool ReferenceDecode(const uint8_t *packed, std::size_t packedSize, uint32_t original,
                     std::vector<uint8_t> &out)
{
    Bits b{packed, packedSize, 0};
    uint8_t ring[8192] = {};
    unsigned r = 0;
    uint16_t codesLeft = 0; // a count of 0 gives 65,536 codes
    Code lengthCode, charCode, positionCode;
    out.clear();
    auto put = [&](uint8_t v) {
        ring[r] = v;
        r = (r + 1) & 8191;
        out.push_back(v);
    };
    while (out.size() < original) {
        if (codesLeft == 0) {
            codesLeft = Take(b, 16);
            if (!ReadAux(b, 19, 5, 3, lengthCode) || !ReadChar(b, lengthCode, charCode) ||
                !ReadAux(b, 14, 4, 0, positionCode))
                return false;
        }
        --codesLeft;
        unsigned s = Decode(b, charCode);
        if (s < 256) {
            put((uint8_t)s);
            continue;
        }
        unsigned k = Decode(b, positionCode);
        unsigned distance = k == 0 ? 0 : (1u << (k - 1)) + Take(b, k - 1);
        unsigned from = (r - distance - 1) & 8191;
        for (unsigned i = 0; i < s - 253 && out.size() < original; ++i) {
            put(ring[from]);
            from = (from + 1) & 8191;
        }
    }
    return true;
}
