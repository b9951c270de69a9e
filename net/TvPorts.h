// The TV's two ports: the developer port the bridge client talks to, and the TV's own REST
// service, which names the TV and says whether developer mode is on and for which PC.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t kTvDeveloperPort = 26101;
inline constexpr std::uint16_t kTvRestPort = 8001;
