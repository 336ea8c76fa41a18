#pragma once

#include "trigfile/game_limits.h"

#include <cstdint>
#include <string>

namespace cli {

// Warns when one player would have more than trigfile::kMostTriggersPerPlayer
// triggers. The window asks before writing more; a script cannot answer, so it
// is told on standard error and the write goes on. note, if any, follows.
void warnAboutManyTriggers(std::uint64_t mostForOnePlayer, const std::string& note = {});

} // namespace cli
