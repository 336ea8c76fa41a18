#pragma once

#include "trigfile/trigger_vocabulary.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace trigfile {

// A StarCraft trigger file: an 8-byte header, one empty trigger, then the
// series' triggers. Maps hold the same records in their TRIG section. All
// numbers are little-endian. Files that the map editors export carry more
// after a record: for each action in use, in slot order, a text block when
// the action names a string and a unit-properties block when its flags say
// it uses them (see trigger_file_reader.h). The values the fields hold are
// named in trigger_vocabulary.h.
inline constexpr std::array<std::uint8_t, 4> kSignature{0x71, 0x77, 0x98, 0x36}; // "qw", 0x98, 0x36
inline constexpr std::uint32_t kHeaderValue = 24;
inline constexpr std::size_t kHeaderSize = 8; // signature and header value

// Where each field of a condition slot lies, from the start of the slot.
namespace condition {
inline constexpr std::size_t kLocation = 0;      // u32: location number, 0 = anywhere
inline constexpr std::size_t kPlayerGroup = 4;   // u32: player or group the condition watches
inline constexpr std::size_t kQuantity = 8;      // u32: amount compared; the kill threshold
inline constexpr std::size_t kUnitType = 12;     // u16: unit number
inline constexpr std::size_t kComparison = 14;   // u8: at least, at most, exactly; switch state
inline constexpr std::size_t kType = 15;         // u8: condition type; 0 = empty slot
inline constexpr std::size_t kResourceType = 16; // u8: ore, gas, or ore and gas
inline constexpr std::size_t kFlags = 17;        // u8: ConditionFlag bits
inline constexpr std::size_t kReserved = 18;     // u16: unused, or a map editor's mask
inline constexpr std::size_t kSize = 20;
static_assert(kReserved + 2 == kSize, "a condition slot is 20 bytes");
} // namespace condition

// Where each field of an action slot lies, from the start of the slot.
namespace action {
inline constexpr std::size_t kLocation = 0;         // u32: location number, 0 = none
inline constexpr std::size_t kText = 4;             // u32: string number of a text, 0 = none
inline constexpr std::size_t kSound = 8;            // u32: string number of a sound file
inline constexpr std::size_t kTime = 12;            // u32: milliseconds
inline constexpr std::size_t kPlayerGroup = 16;     // u32: player or group acted upon
inline constexpr std::size_t kAmountOrSwitch = 20;  // u32: amount, points, or switch index
inline constexpr std::size_t kResourceOrScore = 24; // u16: resource type, score kind or unit
inline constexpr std::size_t kType = 26;            // u8: action type; 0 = empty slot
inline constexpr std::size_t kModifierOrState = 27; // u8: set to / add / subtract; switch state
inline constexpr std::size_t kFlags = 28;           // u8: ActionFlag bits
inline constexpr std::size_t kPadding = 29;         // 3 x u8: unused
inline constexpr std::size_t kSize = 32;
static_assert(kPadding + 3 == kSize, "an action slot is 32 bytes");
} // namespace action

// Where each part of a trigger record lies.
namespace record {
inline constexpr std::size_t kConditionCount = 16;
inline constexpr std::size_t kActionCount = 64;
inline constexpr std::size_t kConditions = 0;        // 16 condition slots; slot 0 the kill
inline constexpr std::size_t kActions = 320;         // 64 action slots; slot 0 the reward
inline constexpr std::size_t kExecutionFlags = 2368; // u32: TriggerFlag bits, 0 when written
inline constexpr std::size_t kExecutionTable = 2372; // 28 x u8: 1 = runs for that player or group
inline constexpr std::size_t kExecutionTableSize = 28;
inline constexpr std::size_t kSize = 2400;
static_assert(kConditions + kConditionCount * condition::kSize == kActions);
static_assert(kActions + kActionCount * action::kSize == kExecutionFlags);
static_assert(kExecutionFlags + 4 == kExecutionTable);
static_assert(kExecutionTable + kExecutionTableSize == kSize, "a trigger record is 2400 bytes");
} // namespace record

inline constexpr std::size_t kRecordSize = record::kSize;
inline constexpr std::size_t kExecutionTableSize = record::kExecutionTableSize;
inline constexpr std::size_t kPreambleSize = kHeaderSize + kRecordSize; // with the empty trigger

// Bits of a condition's flags byte.
inline constexpr std::uint8_t kConditionDisabled = 0x02;
inline constexpr std::uint8_t kConditionUnitTypeUsed = 0x10; // the unit field means a unit

// Bits of an action's flags byte.
inline constexpr std::uint8_t kActionDisabled = 0x02;
inline constexpr std::uint8_t kActionAlwaysDisplay = 0x04;
inline constexpr std::uint8_t kActionUnitPropertiesUsed = 0x08; // a trigger file carries them
inline constexpr std::uint8_t kActionUnitTypeUsed = 0x10;

// Bits of a record's execution flags.
inline constexpr std::uint32_t kTriggerPreserved = 0x04; // runs again after it has fired
inline constexpr std::uint32_t kTriggerDisabled = 0x08;

// The largest number a 4-byte field of the file may hold (three significant bytes).
inline constexpr std::uint32_t kMaxFieldValue = 16'777'215;

// The fields of an action slot that differ between our actions.
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
    // A Display Text Message after the reward actions, "always display" set;
    // the number of its text is each record's own (see encodeRecord).
    bool showsMessage = false;
    std::array<std::uint8_t, kExecutionTableSize> executionTable{};

    std::size_t messageSlot() const { return extraGas ? 2 : 1; }
    // Where a record's text number lies, when it shows a message.
    std::size_t textNumberOffset() const {
        return record::kActions + messageSlot() * action::kSize + action::kText;
    }

    bool operator==(const RecordFields&) const = default;
};

using TriggerRecord = std::array<std::uint8_t, kRecordSize>;
using Preamble = std::array<std::uint8_t, kPreambleSize>;

Preamble encodePreamble();
TriggerRecord encodeRecord(const RecordFields& fields, std::uint32_t threshold,
                           std::uint32_t textNumber = 0);

// The offset of a record's kill threshold: quantity of condition slot 0.
inline constexpr std::size_t kThresholdOffset = record::kConditions + condition::kQuantity;

// Writes v little-endian into four bytes at p.
inline void putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Reads four and two little-endian bytes at p.
inline std::uint32_t getU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t getU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

} // namespace trigfile
