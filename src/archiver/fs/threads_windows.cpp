// threads_windows.cpp - the processors this process may run on.
#include <bit>
#include <cstdint>
#include <windows.h>

#include "fs/threads.h"

namespace lzh {

unsigned allowed_cores()
{
    DWORD_PTR process = 0, system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system))
        return unsigned(std::popcount(std::uint64_t(process)));
    return 0;
}

}  // namespace lzh
