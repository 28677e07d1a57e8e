// scratch.cpp - the per-thread cache behind make_scratch().
//
// Sizes are rounded up to a power of two (at least 4 KiB), so that members of
// different sizes share buffers; a thread keeps a few of them, at most
// kMaxBytes, the largest ones when the cache is full.
#include "codec/scratch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <new>

namespace lzh::detail {

namespace {

struct Cached {
    void* p = nullptr;
    std::size_t bytes = 0;
};

struct Cache {
    static constexpr std::size_t kSlots = 16;
    static constexpr std::size_t kMaxBytes = std::size_t(8) << 20;  // what a thread keeps at most
    std::array<Cached, kSlots> slots{};
    std::size_t bytes = 0;  // in the slots
    ~Cache()
    {
        for (const Cached& c : slots)
            std::free(c.p);
    }
};

thread_local Cache cache;

}  // namespace

void* scratch_take(std::size_t& bytes)
{
    bytes = std::bit_ceil(std::max<std::size_t>(bytes, 4096));
    for (Cached& c : cache.slots) {
        if (c.p && c.bytes == bytes) {
            void* p = c.p;
            cache.bytes -= c.bytes;
            c = Cached{};
            return p;
        }
    }
    void* p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void scratch_give(void* p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    Cached* slot = &cache.slots[0];
    for (Cached& c : cache.slots) {
        if (!c.p) {
            slot = &c;
            break;
        }
        if (c.bytes < slot->bytes)
            slot = &c;
    }
    const std::size_t kept = cache.bytes - (slot->p ? slot->bytes : 0) + bytes;
    if ((slot->p && slot->bytes >= bytes) || kept > Cache::kMaxBytes) {
        std::free(p);
        return;
    }
    std::free(slot->p);
    *slot = Cached{p, bytes};
    cache.bytes = kept;
}

}  // namespace lzh::detail
