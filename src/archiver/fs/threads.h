// threads.h - how many threads the engine codes and walks with.
#pragma once

namespace lzh {

// Worker threads to use for `requested` (0: PELKORAN_THREADS, else the cores).
unsigned coder_threads(unsigned requested);

}  // namespace lzh
