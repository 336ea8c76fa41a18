#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace trigfile {

// A StarCraft trigger file: an 8-byte header, one empty trigger, then the
// series' triggers. All numbers are little-endian.
//
// Trigger record (2400 bytes):
//   0     16 x 20  condition slots; slot 0 holds the kill condition
//   320   64 x 32  action slots; slot 0 the reward, slot 1 the extra gas
//   2368  u32      execution flags (0)
//   2372  28 x u8  execution table: 1 = runs for that player or group
//
// Condition slot (20 bytes):
//   0 u32 location, 4 u32 player group, 8 u32 quantity, 12 u16 unit type,
//   14 u8 comparison, 15 u8 condition type, 16 u8 resource type, 17 u8 flags,
//   18 u16 reserved
//
// Action slot (32 bytes):
//   0 u32 location, 4 u32 text string, 8 u32 sound string, 12 u32 time,
//   16 u32 player group, 20 u32 amount or switch index, 24 u16 resource type
//   or score kind, 26 u8 action type, 27 u8 modifier or switch state,
//   28 u8 flags, 29 3 x u8 padding
inline constexpr std::size_t kRecordSize = 2400;
inline constexpr std::size_t kConditionSlotSize = 20;
inline constexpr std::size_t kActionSlotSize = 32;
inline constexpr std::size_t kActionsOffset = 320;
inline constexpr std::size_t kExecutionFlagsOffset = 2368;
inline constexpr std::size_t kExecutionTableOffset = 2372;
inline constexpr std::size_t kExecutionTableSize = 28;
inline constexpr std::size_t kQuantityOffset = 8; // the kill threshold, in condition slot 0

inline constexpr std::array<std::uint8_t, 4> kSignature{0x71, 0x77, 0x98, 0x36}; // "qw", 0x98, 0x36
inline constexpr std::uint32_t kHeaderValue = 24;
inline constexpr std::size_t kPreambleSize = 8 + kRecordSize; // header and the empty trigger

// The largest number a 4-byte field of the file may hold (three significant bytes).
inline constexpr std::uint32_t kMaxFieldValue = 16'777'215;

// Values of the game's trigger layout.
inline constexpr std::uint32_t kCurrentPlayer = 13; // player group
inline constexpr std::uint8_t kComparisonAtLeast = 0;
inline constexpr std::uint8_t kConditionKill = 5;
inline constexpr std::uint8_t kConditionFlags = 0x10;
inline constexpr std::uint8_t kActionSetSwitch = 13;
inline constexpr std::uint8_t kActionSetResources = 26;
inline constexpr std::uint8_t kActionSetScore = 27;
inline constexpr std::uint8_t kModifierAdd = 8;
inline constexpr std::uint8_t kSwitchStateSet = 4;
inline constexpr std::uint8_t kActionFlags = 4;
inline constexpr std::uint16_t kResourceOre = 0;
inline constexpr std::uint16_t kResourceGas = 1;

// Execution-table bytes fed by the window's check boxes.
inline constexpr std::size_t kTablePlayer1 = 0; // Player 1..8 are bytes 0..7
inline constexpr std::size_t kTableAllPlayers = 17;
inline constexpr std::size_t kTableForce1 = 18; // Force 1..4 are bytes 18..21

// Bytes 16 to 28 of an action slot: all that differs between our actions.
struct ActionFields {
    std::uint32_t playerGroup = 0;
    std::uint32_t value = 0;      // amount, points or switch index
    std::uint16_t kindOrType = 0; // resource type or score kind
    std::uint8_t action = 0;
    std::uint8_t modifier = 0; // or switch state
    std::uint8_t flags = 0;

    bool operator==(const ActionFields&) const = default;
};

// Everything a record holds except its kill threshold, already checked to
// fit the file: the encoder below cannot fail.
struct RecordFields {
    std::uint16_t unitId = 0;
    ActionFields reward;                  // action slot 0
    std::optional<ActionFields> extraGas; // action slot 1, Money only
    std::array<std::uint8_t, kExecutionTableSize> executionTable{};

    bool operator==(const RecordFields&) const = default;
};

using TriggerRecord = std::array<std::uint8_t, kRecordSize>;
using Preamble = std::array<std::uint8_t, kPreambleSize>;

Preamble encodePreamble();
TriggerRecord encodeRecord(const RecordFields& fields, std::uint32_t threshold);

// Writes v little-endian into four bytes at p.
inline void putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

} // namespace trigfile
