// version.h - the engine's own version, in hundredths (100 = 1.00).
#pragma once

namespace lzh {
inline constexpr unsigned short kEngineVersion = 100;
}
