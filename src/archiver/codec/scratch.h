// scratch.h - per-thread reuse of the codec's large work buffers.
//
// A member of a few kilobytes needs a window and hash tables of a few hundred
// kilobytes. Fresh from the allocator, every page of them costs a fault (and
// the allocator gives large blocks back to the system when they are freed), so
// that coding a directory of small files would spend much of its time in the
// kernel. Buffers taken here go back to a small cache of the thread that
// frees them and serve the next member coded there.
//
// The memory comes uninitialized, and a reused buffer holds what the previous
// user left in it: only code that never reads a byte before writing it (or
// clears the buffer first) may use scratch memory, so that the output cannot
// depend on what was coded before.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace lzh {

namespace detail {
void* scratch_take(std::size_t& bytes);
void scratch_give(void* p, std::size_t bytes) noexcept;
}  // namespace detail

struct ScratchDeleter {
    std::size_t bytes = 0;  // the capacity actually allocated
    void operator()(void* p) const noexcept { detail::scratch_give(p, bytes); }
};

template <class T>
using Scratch = std::unique_ptr<T[], ScratchDeleter>;

// An uninitialized array of `n` elements of trivial type T.
template <class T>
Scratch<T> make_scratch(std::size_t n)
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    std::size_t bytes = n * sizeof(T);
    void* p = detail::scratch_take(bytes);
    return Scratch<T>(static_cast<T*>(p), ScratchDeleter{bytes});
}

}  // namespace lzh
