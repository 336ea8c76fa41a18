#pragma once

#include "trigfile/game_limits.h"

#include <cstdint>

namespace cli {

// Warns when one owner would have more than trigfile::kMostTriggersPerPlayer
// triggers. The window asks before writing more; a script cannot answer, so it
// is told on standard error and the write goes on.
void warnAboutManyTriggers(std::uint64_t mostForOneOwner);

} // namespace cli
