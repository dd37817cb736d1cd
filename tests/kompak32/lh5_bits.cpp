// A small -lh5- block writer for tests (see lh5_bits.h).
#include "lh5_bits.h"

#include <stdexcept>

namespace fx {

void BitWriter::Put(unsigned bits, uint32_t value)
{
    for (int i = (int)bits - 1; i >= 0; --i) {
        acc = (acc << 1) | ((value >> i) & 1);
        if (++count == 8) {
            out.push_back((uint8_t)acc);
            acc = 0;
            count = 0;
        }
    }
}

Bytes BitWriter::Finish()
{
    if (count > 0)
        Put(8 - count, 0);
    return out;
}

std::vector<uint8_t> CompleteLengths(const std::vector<bool> &used)
{
    unsigned k = 0;
    for (bool u : used)
        k += u;
    if (k < 2)
        throw std::runtime_error("a complete code needs two symbols");
    unsigned d = 0;
    while ((1u << d) < k)
        ++d;
    unsigned shortCodes = (1u << d) - k; // these get length d - 1
    std::vector<uint8_t> lengths(used.size(), 0);
    for (std::size_t i = 0; i < used.size(); ++i) {
        if (!used[i])
            continue;
        lengths[i] = (uint8_t)(shortCodes > 0 ? d - 1 : d);
        if (shortCodes > 0)
            --shortCodes;
    }
    return lengths;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t> &lengths)
{
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        for (std::size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == len)
                codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

unsigned PositionSymbol(unsigned distance)
{
    unsigned k = 0;
    while ((distance >> k) != 0)
        ++k;
    return k; // 0 for distance 0, else the bit length
}

void WriteSmallLengths(BitWriter &w, const std::vector<uint8_t> &lengths, unsigned fieldBits,
                       int special)
{
    unsigned n = (unsigned)lengths.size();
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    w.Put(fieldBits, n);
    unsigned i = 0;
    while (i < n) {
        unsigned c = lengths[i++];
        if (c < 7) {
            w.Put(3, c);
        } else {
            w.Put(3, 7);
            for (unsigned k = 7; k < c; ++k)
                w.Put(1, 1);
            w.Put(1, 0);
        }
        if ((int)i == special) {
            unsigned z = 0;
            while (z < 3 && i + z < n && lengths[i + z] == 0)
                ++z;
            w.Put(2, z);
            i += z;
        }
    }
}

static void PutCode(BitWriter &w, const std::vector<uint8_t> &lengths,
                    const std::vector<uint32_t> &codes, unsigned sym)
{
    if (sym >= lengths.size())
        throw std::runtime_error("symbol out of range");
    if (lengths[sym] != 0)
        w.Put(lengths[sym], codes[sym]);
}

void WriteBlock(BitWriter &w, const std::vector<Token> &tokens,
                const std::vector<uint8_t> &charLengthsGiven,
                const std::vector<uint8_t> &positionLengthsGiven)
{
    std::vector<bool> charUsed(510, false), posUsed(14, false);
    for (const Token &t : tokens) {
        if (t.match) {
            charUsed[t.length + 253] = true;
            posUsed[PositionSymbol(t.distance)] = true;
        } else {
            charUsed[t.literal] = true;
        }
    }
    w.Put(16, (uint32_t)tokens.size());

    unsigned charKinds = 0, charOnly = 0;
    for (unsigned s = 0; s < 510; ++s)
        if (charUsed[s]) {
            ++charKinds;
            charOnly = s;
        }
    std::vector<uint8_t> charLengths;
    if (!charLengthsGiven.empty()) {
        charLengths = charLengthsGiven;
    } else if (charKinds == 1) {
        // A single character/length symbol: no length codes, the symbol in 9 bits.
        w.Put(5, 0);
        w.Put(5, 0);
        w.Put(9, 0);
        w.Put(9, charOnly);
    } else {
        charLengths = CompleteLengths(charUsed);
    }
    if (!charLengths.empty()) {
        // Code the lengths with the length-code alphabet: 0 one zero, 1 a run of 3-18,
        // 2 a run of 20-531, 3-18 a length of 1-16.
        unsigned n = 510;
        while (n > 0 && charLengths[n - 1] == 0)
            --n;
        struct LenCode {
            unsigned sym, extraBits, extra;
        };
        std::vector<LenCode> seq;
        for (unsigned i = 0; i < n;) {
            if (charLengths[i] != 0) {
                seq.push_back({charLengths[i] + 2u, 0, 0});
                ++i;
                continue;
            }
            unsigned run = 0;
            while (i + run < n && charLengths[i + run] == 0)
                ++run;
            i += run;
            while (run > 0) {
                if (run >= 20) {
                    unsigned k = run > 531 ? 531 : run;
                    seq.push_back({2, 9, k - 20});
                    run -= k;
                } else if (run >= 3) {
                    unsigned k = run > 18 ? 18 : run;
                    seq.push_back({1, 4, k - 3});
                    run -= k;
                } else {
                    seq.push_back({0, 0, 0});
                    run -= 1;
                }
            }
        }
        std::vector<bool> lenUsed(19, false);
        for (const LenCode &c : seq)
            lenUsed[c.sym] = true;
        unsigned lenKinds = 0, lenOnly = 0;
        for (unsigned s = 0; s < 19; ++s)
            if (lenUsed[s]) {
                ++lenKinds;
                lenOnly = s;
            }
        std::vector<uint8_t> lenLengths(19, 0);
        if (lenKinds == 1) {
            w.Put(5, 0);
            w.Put(5, lenOnly);
        } else {
            lenLengths = CompleteLengths(lenUsed);
            WriteSmallLengths(w, lenLengths, 5, 3);
        }
        std::vector<uint32_t> lenCodes = CanonicalCodes(lenLengths);
        w.Put(9, n);
        for (const LenCode &c : seq) {
            PutCode(w, lenLengths, lenCodes, c.sym);
            if (c.extraBits)
                w.Put(c.extraBits, c.extra);
        }
    }

    unsigned posKinds = 0, posOnly = 0;
    for (unsigned s = 0; s < 14; ++s)
        if (posUsed[s]) {
            ++posKinds;
            posOnly = s;
        }
    std::vector<uint8_t> posLengths(14, 0);
    if (!positionLengthsGiven.empty()) {
        posLengths = positionLengthsGiven;
        WriteSmallLengths(w, posLengths, 4, -1);
    } else if (posKinds <= 1) {
        w.Put(4, 0);
        w.Put(4, posOnly);
    } else {
        posLengths = CompleteLengths(posUsed);
        WriteSmallLengths(w, posLengths, 4, -1);
    }
    std::vector<uint8_t> codeLengths = charLengths.empty() ? std::vector<uint8_t>(510, 0)
                                                           : charLengths;
    std::vector<uint32_t> charCodes = CanonicalCodes(codeLengths);
    std::vector<uint32_t> posCodes = CanonicalCodes(posLengths);
    for (const Token &t : tokens) {
        if (!t.match) {
            PutCode(w, codeLengths, charCodes, t.literal);
            continue;
        }
        PutCode(w, codeLengths, charCodes, t.length + 253);
        unsigned k = PositionSymbol(t.distance);
        PutCode(w, posLengths, posCodes, k);
        if (k > 1)
            w.Put(k - 1, t.distance - (1u << (k - 1)));
    }
}

Bytes ExpandTokens(const std::vector<Token> &tokens)
{
    Bytes out;
    for (const Token &t : tokens) {
        if (!t.match) {
            out.push_back((uint8_t)t.literal);
            continue;
        }
        for (unsigned i = 0; i < t.length; ++i) {
            std::size_t back = t.distance + 1;
            // Before the start the dictionary holds zero bytes.
            out.push_back(out.size() >= back ? out[out.size() - back] : 0);
        }
    }
    return out;
}

} // namespace fx
