// threads_posix.cpp - the cores this process may run on.
#include <sched.h>

#include "fs/threads.h"

namespace lzh {

unsigned allowed_cores()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(CPU_COUNT(&set));
    return 0;
}

}  // namespace lzh
