// crc16.h - the CRC-16 of LZH archives (reflected polynomial 0xA001, initial value 0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

// Continues `crc` over `n` bytes at `p` and returns the new value. Start with 0;
// there is no final XOR, so the result of one call can be fed to the next.
std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* p, std::size_t n);

// The same, always by table lookups (tests compare the two).
std::uint16_t crc16_update_table(std::uint16_t crc, const std::uint8_t* p, std::size_t n);

// The byte-wise table (table[i] = CRC step of byte i from 0), exposed for tests.
const std::uint16_t* crc16_table();

}  // namespace lzh
