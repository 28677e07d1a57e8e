// threads_windows.cpp - how many threads the engine codes and walks with.
#include "fs/threads.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <thread>
#include <windows.h>

namespace lzh {

unsigned coder_threads(unsigned requested)
{
    if (requested > 0)
        return requested;
    if (const char* env = std::getenv("PELKORAN_THREADS")) {
        const int n = std::atoi(env);
        if (n > 0)
            return unsigned(std::min(n, 64));
    }
    // The processors this process may run on (its affinity), not all the machine has.
    DWORD_PTR process = 0, system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return unsigned(std::clamp(std::popcount(std::uint64_t(process)), 1, 64));
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace lzh
