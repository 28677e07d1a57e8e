// threads.cpp - how many threads the engine codes and walks with.
#include "fs/threads.h"

#include <algorithm>
#include <cstdlib>
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
    if (const unsigned cores = allowed_cores(); cores > 0)
        return std::min(cores, 64u);
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace lzh
