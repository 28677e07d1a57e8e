// error.h - the failures the engine reports.
#pragma once

#include "pelkoran/messages.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace lzh {

// Any failure the engine reports: a message code with its arguments (the
// path or the damaged structure where there is one) and, for a system error,
// its errno. what() is the sentence for the user (Japanese, UTF-8).
class Error : public std::runtime_error {
public:
    explicit Error(Message code, std::vector<std::string> args = {}, int system_error = 0)
        : std::runtime_error(sentence(code, args, system_error)), code_(code), args_(std::move(args)),
          system_error_(system_error)
    {
    }
    // A sentence given whole (Message::text).
    explicit Error(const std::string& text) : Error(Message::text, {text}) {}

    Message code() const { return code_; }
    const std::vector<std::string>& args() const { return args_; }
    int system_error() const { return system_error_; }

private:
    static std::string sentence(Message code, const std::vector<std::string>& args, int system_error);

    Message code_;
    std::vector<std::string> args_;
    int system_error_;
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
