// command_text.h - writing names into a command text for ArchiverCommand.
//
// Tokens are separated by blanks; a token that starts with a double quote
// runs to the matching closing quote, and inside it two double quotes stand
// for one (the whole language: command.h).
#pragma once

#include <string>
#include <string_view>

namespace lzh {

// Writes `s` as one token of the language: quoted, with inner quotes doubled.
std::string quote_token(std::string_view s);

}  // namespace lzh
