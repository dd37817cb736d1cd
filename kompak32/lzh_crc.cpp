// CRC-16 of member data: the byte table and Crc16Update, which works eight bytes per step
// through eight derived tables and gives the same value as the byte-at-a-time form; on
// x86-64 processors with carry-less multiplication, long runs are first folded 64 bytes
// per step down to 16 bytes that the tables finish.
#include "lzh_crc.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CRC16_FOLDING 1
#include <immintrin.h>
#endif

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

static uint16_t Crc16Tables(uint16_t crc, const uint8_t *p, std::size_t count)
{
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

#ifdef CRC16_FOLDING
namespace {

// A 16-byte block read from memory is the polynomial whose x^127 coefficient is bit 0 of
// its first byte (bits are taken least significant first). Multiplying the block by x^128
// modulo the CRC polynomial P moves it one block further; for the two halves H (first
// 8 bytes) and L this is H * (x^192 mod P) + L * (x^128 mod P), a polynomial of fewer
// than 128 bits that is added to the next block. The carry-less product of two such
// reversed operands comes out multiplied by x, so the constants are x^(n-1) mod P.

// x^n mod P for P = x^16 + x^15 + x^2 + 1, as bits e = coefficient of x^e.
constexpr uint64_t PowerModP(unsigned n)
{
    uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x10000)
            r ^= 0x18005;
    }
    return r;
}

// A polynomial of degree below 64 as an operand: coefficient of x^e at bit 63 - e.
constexpr uint64_t Operand(uint64_t poly)
{
    uint64_t out = 0;
    for (unsigned e = 0; e < 64; ++e)
        if (poly >> e & 1)
            out |= uint64_t(1) << (63 - e);
    return out;
}

// Constants for moving a block by 4 blocks (512 bits) and by 1 block (128 bits).
constexpr uint64_t K512_H = Operand(PowerModP(512 + 64 - 1));
constexpr uint64_t K512_L = Operand(PowerModP(512 - 1));
constexpr uint64_t K128_H = Operand(PowerModP(128 + 64 - 1));
constexpr uint64_t K128_L = Operand(PowerModP(128 - 1));

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// Folds count (a multiple of 16, at least 64) bytes into 16 whose CRC from 0 equals the
// CRC of the run from crc.
__attribute__((target("pclmul,sse4.1"))) void FoldRun(uint16_t crc, const uint8_t *p,
                                                      std::size_t count, uint8_t out[16])
{
    const __m128i k512 = _mm_set_epi64x((long long)K512_L, (long long)K512_H);
    const __m128i k128 = _mm_set_epi64x((long long)K128_L, (long long)K128_H);
    __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    x0 = _mm_xor_si128(x0, _mm_cvtsi32_si128(crc)); // the running value joins the first bits
    p += 64;
    count -= 64;
    while (count >= 64) {
        x0 = _mm_xor_si128(Fold(x0, k512), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        x1 = _mm_xor_si128(Fold(x1, k512), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
        x2 = _mm_xor_si128(Fold(x2, k512), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)));
        x3 = _mm_xor_si128(Fold(x3, k512), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48)));
        p += 64;
        count -= 64;
    }
    __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
    while (count >= 16) {
        x = _mm_xor_si128(Fold(x, k128), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        p += 16;
        count -= 16;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), x);
}

bool HasCarrylessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

} // namespace
#endif

uint16_t Crc16Update(uint16_t crc, const void *data, std::size_t count)
{
    const auto *p = static_cast<const uint8_t *>(data);
#ifdef CRC16_FOLDING
    if (count >= 256 && HasCarrylessMultiply()) {
        std::size_t run = count & ~std::size_t(15);
        uint8_t folded[16];
        FoldRun(crc, p, run, folded);
        crc = Crc16Tables(0, folded, 16);
        p += run;
        count -= run;
    }
#endif
    return Crc16Tables(crc, p, count);
}
