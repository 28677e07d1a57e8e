// fuzz_roundtrip - the encoder on any input, every method and effort: the
// stream decodes back to the input byte for byte.
#include "codec/decoder.h"
#include "codec/encoder.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the method and effort; the rest is the member.
    const lzh::Method* methods[] = {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7};
    const lzh::Effort efforts[] = {lzh::Effort::fast, lzh::Effort::normal, lzh::Effort::best};
    const lzh::Method& m = *methods[data[0] % 3];
    const lzh::Effort e = efforts[(data[0] / 3) % 3];
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    const std::vector<std::uint8_t> packed = lzh::encode(m, e, input);
    const std::vector<std::uint8_t> back = lzh::decode(m, packed, input.size());
    if (back.size() != input.size() || !std::equal(back.begin(), back.end(), input.begin()))
        std::abort();
    return 0;
}
