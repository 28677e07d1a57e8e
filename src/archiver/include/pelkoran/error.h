// error.h - the failures the engine reports.
#pragma once

#include <stdexcept>
#include <string>

namespace lzh {

// Any failure the engine reports. what() is a sentence for the user (Japanese,
// UTF-8) that names the path or the damaged structure where there is one.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Damaged or truncated compressed data or headers.
class DataError : public Error {
public:
    using Error::Error;
};

// The user cancelled through the window's progress callback.
class Cancelled : public Error {
public:
    using Error::Error;
};

}  // namespace lzh
