// crc16.cpp - CRC-16 (0xA001 reflected): carry-less multiplication where the
// processor has it, else table-driven, eight bytes per step.
//
// Slicing by 8: tables[k][b] is the CRC contribution of byte b followed by k
// zero bytes. Eight input bytes are folded with eight independent lookups per
// step instead of a chain of eight dependent ones.
//
// Folding (x86-64 with PCLMULQDQ): with the initial value 0 the CRC is a
// linear function of the message, M(x) * x^16 mod P(x), so any 16-byte block
// X followed by D more bits can be replaced by a block congruent to
// X * x^D mod P(x) laid over the block D bits later. In the reflected bit
// order a 16-byte block's bit j stands for x^(127 - j): its low 64 bits A
// are the higher-degree half, X = A * x^64 + B, and
//   X * x^D = A * x^(D+64) + B * x^D == A * (x^(D+64) mod P) + B * (x^D mod P),
// two 64 x 16-bit carry-less products that fit a block. A reflected product
// of two 64-bit values stands one degree low in a 128-bit block, so the
// constants are x^(D+63) and x^(D-1) mod P. Four blocks are folded 64 bytes
// ahead at a time, then into each other, then the remaining block and tail
// bytes go through the table. An initial value is the same as its two bytes
// XORed over the first two bytes of the message with 0 as the initial value.
#include "container/crc16.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define LZH_CRC16_CLMUL 1
#endif

namespace lzh {

namespace {

using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables make_tables()
{
    Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : static_cast<std::uint16_t>(c >> 1);
        t[0][i] = c;
    }
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

const std::uint16_t* crc16_table()
{
    return kTables[0].data();
}

std::uint16_t crc16_update_table(std::uint16_t crc, const std::uint8_t* p, std::size_t n)
{
    std::uint32_t c = crc;
    while (n >= 8) {
        // The CRC register covers the first two bytes; the other six only
        // contribute through their own shifted tables.
        const std::uint32_t b0 = (p[0] ^ c) & 0xFF;
        const std::uint32_t b1 = (p[1] ^ (c >> 8)) & 0xFF;
        c = kTables[7][b0] ^ kTables[6][b1] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
            kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--)
        c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

#ifdef LZH_CRC16_CLMUL

namespace {

// x^e mod P(x), P = x^16 + x^15 + x^2 + 1, bit-reflected into 64 bits (the
// coefficient of x^d at bit 63 - d).
constexpr std::uint64_t reflected_power(unsigned e)
{
    std::uint32_t r = 1;
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r & 0x10000)
            r ^= 0x18005;
    }
    std::uint64_t k = 0;
    for (unsigned d = 0; d < 16; ++d)
        if (r & (1u << d))
            k |= std::uint64_t(1) << (63 - d);
    return k;
}

// Multiplies a block by x^D mod P (lo constant x^(D+63), hi x^(D-1)).
[[gnu::target("pclmul,sse2")]] inline __m128i fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

[[gnu::target("pclmul,sse2")]] std::uint16_t crc16_update_clmul(std::uint16_t crc, const std::uint8_t* p,
                                                                std::size_t n)
{
    const __m128i k128 =
        _mm_set_epi64x(std::int64_t(reflected_power(127)), std::int64_t(reflected_power(191)));
    const __m128i k512 =
        _mm_set_epi64x(std::int64_t(reflected_power(511)), std::int64_t(reflected_power(575)));
    auto load = [](const std::uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(crc));
    __m128i x1 = load(p + 16);
    __m128i x2 = load(p + 32);
    __m128i x3 = load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load(p));
        x1 = _mm_xor_si128(fold(x1, k512), load(p + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(p + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(p + 48));
        p += 64;
        n -= 64;
    }
    x1 = _mm_xor_si128(fold(x0, k128), x1);
    x2 = _mm_xor_si128(fold(x1, k128), x2);
    x3 = _mm_xor_si128(fold(x2, k128), x3);
    while (n >= 16) {
        x3 = _mm_xor_si128(fold(x3, k128), load(p));
        p += 16;
        n -= 16;
    }
    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x3);
    return crc16_update_table(crc16_update_table(0, last, 16), p, n);
}

bool have_clmul()
{
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    }();
    return have;
}

}  // namespace

#endif

std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* p, std::size_t n)
{
#ifdef LZH_CRC16_CLMUL
    // Below this the setup and the final 16 table steps cost more than they save.
    if (n >= 128 && have_clmul())
        return crc16_update_clmul(crc, p, n);
#endif
    return crc16_update_table(crc, p, n);
}

}  // namespace lzh
