// command.h - the command language that ArchiverCommand carries out.
//
//   a "ARCHIVE" "BASE/" -d1 "ITEM" ["ITEM"...]
//
// Tokens are separated by blanks (space or tab). A token that starts with a
// double quote runs to the matching closing quote and may hold blanks; inside
// it, two double quotes stand for one ("a""b" is the name a"b). A switch is an
// unquoted token that starts with '-', so a quoted name may start with '-'.
//
// After the command letter "a" (add) come, in order, the archive path, the base
// directory (a token ending in a path separator) and one or more items, each a
// path relative to the base directory. Switches may stand anywhere after the
// command letter:
//   -d1                  store directory entries; a directory item is packed
//                        with all its contents (required)
//   -lh5 | -lh6 | -lh7   the method for coded members (default -lh5)
//   -fast | -normal | -best   how hard the encoder works (default -normal)
//   -verify              read the written archive back, decoding every
//                        member and checking its CRC, before it takes the
//                        old archive's place
#pragma once

#include "pelkoran/command_text.h"
#include "codec/encoder.h"
#include "codec/method.h"
#include "fs/walk.h"

#include <string>
#include <string_view>
#include <vector>

namespace lzh {

// The archive, base directory and items (see WalkItems), and how to code.
struct AddCommand : WalkItems {
    const Method* method = &kLh5;
    Effort effort = Effort::normal;
    bool verify = false;
};

// Splits `text` into tokens, undoing the quoting. Throws lzh::Error on an
// unbalanced quote or a quote inside an unquoted token. `quoted[i]` tells
// whether token i was quoted.
struct Token {
    std::string text;
    bool quoted = false;
};
std::vector<Token> tokenize_command(std::string_view text);

// Parses a whole command text. Throws lzh::Error with the reason for anything
// that is not a well-formed add command; nothing is touched on disk.
AddCommand parse_command(std::string_view text);

}  // namespace lzh
