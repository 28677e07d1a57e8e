// write_options.h - how the members of an archive are coded.
#pragma once

#include "codec/encoder.h"
#include "codec/method.h"

#include <functional>
#include <string>

namespace lzh {

struct WriteOptions {
    const Method* method = &kLh5;  // for coded members: -lh5-, -lh6- or -lh7-
    Effort effort = Effort::normal;
    unsigned threads = 0;
    // Decode every member of the finished temporary archive and check its
    // CRC before it takes the archive's place.
    bool verify = false;  // coding threads; 0: PELKORAN_THREADS, else one per core
};

// Test hook: called with the temporary archive's path once it is complete
// and before it is verified (only when `verify` is set), so a test can
// damage it.
using VerifyHook = std::function<void(const std::string& temp_path)>;
void set_verify_hook(VerifyHook hook);

}  // namespace lzh
