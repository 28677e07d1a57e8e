// write_options.h - how the members of an archive are coded.
#pragma once

#include "codec/encoder.h"
#include "codec/method.h"

namespace lzh {

struct WriteOptions {
    const Method* method = &kLh5;   // for coded members: -lh5-, -lh6- or -lh7-
    Effort effort = Effort::normal;
    unsigned threads = 0;   // coding threads; 0: PELKORAN_THREADS, else one per core
};

}  // namespace lzh
