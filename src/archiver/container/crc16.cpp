// crc16.cpp - table-driven CRC-16 (0xA001 reflected), eight bytes per step.
//
// Slicing by 8: tables[k][b] is the CRC contribution of byte b followed by k
// zero bytes. Eight input bytes are folded with eight independent lookups per
// step instead of a chain of eight dependent ones.
#include "container/crc16.h"

#include <array>
#include <cstring>

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

std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* p, std::size_t n)
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

}  // namespace lzh
