// fuzz_command - the command-language parser on any text: it parses or
// refuses with lzh::Error, and a parsed command's items re-quote to the same.
#include "command.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const lzh::AddCommand cmd = lzh::parse_command(text);
        if (cmd.archive.empty() || cmd.items.empty())
            std::abort();
        for (const std::string& item : cmd.items)
            if (lzh::tokenize_command(lzh::quote_token(item)).at(0).text != item)
                std::abort();
    } catch (const lzh::Error&) {
    }
    return 0;
}
