// fuzz_profile - the profile-file reader on any bytes: values read back after
// a write, and the other lines survive.
#include "profile_file.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pelkoran::ProfileFile file;
    file.Parse(text);
    (void)file.Get("Path", "OutputDir");
    file.Set("Path", "OutputDir", " /tmp/out dir ");
    file.Set("Path", "IsSamePlace", "FALSE");
    pelkoran::ProfileFile again;
    again.Parse(file.Text());
    if (again.Get("Path", "OutputDir") != std::optional<std::string>(" /tmp/out dir ") ||
        again.Get("Path", "IsSamePlace") != std::optional<std::string>("FALSE"))
        std::abort();
    return 0;
}
