// window_bytes.h - unaligned loads and prefix comparison for the match finders.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace lzh::window_bytes {

inline std::uint16_t load16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline std::uint32_t load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Extends the common prefix of `a` and `b`, known to be `len` bytes long, up
// to at most `max_len` bytes; reads no byte at or past `max_len`.
inline unsigned match_length(const std::uint8_t* a, const std::uint8_t* b, unsigned max_len, unsigned len = 0)
{
    if constexpr (std::endian::native == std::endian::little) {
        while (len + 8 <= max_len) {
            const std::uint64_t x = load64(a + len) ^ load64(b + len);
            if (x != 0)
                return len + unsigned(std::countr_zero(x)) / 8;
            len += 8;
        }
    }
    while (len < max_len && a[len] == b[len])
        ++len;
    return len;
}

}  // namespace lzh::window_bytes
