// threads.h - how many threads the engine codes and walks with.
#pragma once

namespace lzh {

// Worker threads to use for `requested` (0: PELKORAN_THREADS, else the cores).
unsigned coder_threads(unsigned requested);

// The cores this process may run on (its affinity, as taskset sets it), not
// all the machine has; 0 when the system does not say. One per platform.
unsigned allowed_cores();

}  // namespace lzh
