// error.h - the failures the engine reports.
#pragma once

#include "pelkoran/messages.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace lzh {

// Any failure the engine reports: a message code with its arguments (the
// path or the damaged structure where there is one) and, for a system error,
// its errno. A failure found inside another names it as its detail, which
// words the template's last "{}". what() is the sentence for the user
// (UTF-8, in message_language() when it was made).
class Error : public std::runtime_error {
public:
    explicit Error(Message code, std::vector<std::string> args = {}, int system_error = 0)
        : std::runtime_error(sentence(code, args, system_error)),
          code_(code),
          args_(std::move(args)),
          system_error_(system_error)
    {}
    // `code` with `args`, and `detail` (what was found) after them.
    Error(Message code, std::vector<std::string> args, const Error& detail)
        : std::runtime_error(sentence(code, args, 0, &detail)),
          code_(code),
          args_(std::move(args)),
          system_error_(0),
          detail_(std::make_shared<const Error>(detail))
    {}

    Message code() const { return code_; }
    const std::vector<std::string>& args() const { return args_; }
    int system_error() const { return system_error_; }
    // What was found, when this failure is worded around it.
    const Error* detail() const { return detail_.get(); }

private:
    static std::string sentence(Message code, const std::vector<std::string>& args, int system_error,
                                const Error* detail = nullptr);

    Message code_;
    std::vector<std::string> args_;
    int system_error_;
    std::shared_ptr<const Error> detail_;
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
