// version.h - the engine's own name and version, in hundredths (100 = 1.00).
#pragma once

namespace lzh {
inline constexpr unsigned short kEngineVersion = 100;
// The engine's name, as the window's title shows it.
inline constexpr char kEngineName[] = "pelkoran-lzh";
}  // namespace lzh
