#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trigfile {

// The properties a Create Unit with Properties action gives its units, as a
// trigger file carries them after the record (a map keeps the same 20 bytes
// in its UPRP section). Each field counts only when its bit is set in
// fieldsUsed; a state is on when its bit is set in states (statesUsed marks
// the states the editor offered, which not every editor fills in).
namespace unitprops {
inline constexpr std::size_t kStatesUsed = 0; // u16: UnitState bits that count
inline constexpr std::size_t kFieldsUsed = 2; // u16: UnitField bits that count
inline constexpr std::size_t kOwner = 4;      // u8: player
inline constexpr std::size_t kHitPoints = 5;  // u8: percent
inline constexpr std::size_t kShields = 6;    // u8: percent
inline constexpr std::size_t kEnergy = 7;     // u8: percent
inline constexpr std::size_t kResources = 8;  // u32: amount in a resource source
inline constexpr std::size_t kHangar = 12;    // u16: units in the hangar
inline constexpr std::size_t kStates = 14;    // u16: UnitState bits that are on
inline constexpr std::size_t kUnused = 16;    // u32: unused
inline constexpr std::size_t kSize = 20;
static_assert(kUnused + 4 == kSize, "a unit-properties block is 20 bytes");
} // namespace unitprops

// Bits of fieldsUsed.
inline constexpr std::uint16_t kUnitFieldOwner = 0x01;
inline constexpr std::uint16_t kUnitFieldHitPoints = 0x02;
inline constexpr std::uint16_t kUnitFieldShields = 0x04;
inline constexpr std::uint16_t kUnitFieldEnergy = 0x08;
inline constexpr std::uint16_t kUnitFieldResources = 0x10;
inline constexpr std::uint16_t kUnitFieldHangar = 0x20;

// Bits of statesUsed and states.
inline constexpr std::uint16_t kUnitCloaked = 0x01;
inline constexpr std::uint16_t kUnitBurrowed = 0x02;
inline constexpr std::uint16_t kUnitInTransit = 0x04;
inline constexpr std::uint16_t kUnitHallucinated = 0x08;
inline constexpr std::uint16_t kUnitInvincible = 0x10;

struct UnitProperties {
    std::uint16_t statesUsed = 0;
    std::uint16_t fieldsUsed = 0;
    std::uint8_t owner = 0;
    std::uint8_t hitPoints = 0;
    std::uint8_t shields = 0;
    std::uint8_t energy = 0;
    std::uint32_t resources = 0;
    std::uint16_t hangar = 0;
    std::uint16_t states = 0;
    std::uint32_t unused = 0;

    bool operator==(const UnitProperties&) const = default;
};

UnitProperties decodeUnitProperties(std::span<const std::uint8_t, unitprops::kSize> block);

} // namespace trigfile
