#pragma once

#include <cstdint>
#include <string>

namespace moonglow {

class TFire;

// The trace lines the render tool prints, without a line end:
// "theme <ThemeName> <LaunchesLeft>" and
// "burst <slot> <KindName> <SeedNum> <BurstX> <BurstY> <Lifetime> <V0>",
// the four doubles with three decimals.
std::string ThemeTraceLine(const char* themeName, std::int32_t launchesLeft);
std::string BurstTraceLine(std::int32_t slot, const TFire& shell);

}  // namespace moonglow
