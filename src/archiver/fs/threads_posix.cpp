// threads_posix.cpp - how many threads the engine codes and walks with.
#include "fs/threads.h"

#include <algorithm>
#include <cstdlib>
#include <sched.h>
#include <thread>

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
    // The cores this process may run on (taskset), not all the machine has.
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(std::clamp(CPU_COUNT(&set), 1, 64));
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace lzh
