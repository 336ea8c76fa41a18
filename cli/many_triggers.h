#pragma once

#include <cstdint>

namespace cli {

// StarCraft crashes when a game is saved while one player owns more than
// this many triggers. The window asks before writing more; a script cannot
// answer, so it is told on standard error and the write goes on.
inline constexpr std::uint64_t kMostTriggersPerPlayer = 65534;

// Warns when one owner would have more than that many triggers.
void warnAboutManyTriggers(std::uint64_t mostForOneOwner);

} // namespace cli
