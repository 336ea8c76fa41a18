#pragma once

#include <cstdint>

namespace trigfile {

// Facts of the game that the window's limits, the refusals, the readers and
// the warnings all state: each is said here once.

// The editor numbers switches 1 to 256; the file stores index 0 to 255.
inline constexpr std::uint32_t kSwitchCount = 256;

// The highest number of the unit list ("232 = Factories"), and the unit a
// higher number becomes ("230 = Men"), which is also the unit box's start.
inline constexpr std::uint16_t kHighestUnitNumber = 232;
inline constexpr std::uint16_t kUnitReplacingTooHigh = 230;

// StarCraft crashes when a game is saved while one player owns more than
// this many triggers.
inline constexpr std::uint32_t kMostTriggersPerPlayer = 65'534;

// The game runs triggers for Players 1 to 8, each a member of one of four
// forces; a trigger of All Players or of a force runs for every member.
inline constexpr std::uint32_t kTriggerPlayers = 8;
inline constexpr std::uint32_t kForces = 4;

} // namespace trigfile
