#pragma once

#include "trigfile/trigger_record.h"

#include <array>
#include <cstdint>
#include <span>

namespace trigfile {

// One condition slot, field by field (see condition:: for the layout).
struct DecodedCondition {
    std::uint32_t location = 0;
    std::uint32_t playerGroup = 0;
    std::uint32_t quantity = 0;
    std::uint16_t unitType = 0;
    std::uint8_t comparison = 0;
    std::uint8_t type = 0; // 0: the slot is empty
    std::uint8_t resourceType = 0;
    std::uint8_t flags = 0;
    std::uint16_t reserved = 0;

    bool operator==(const DecodedCondition&) const = default;
};

// One action slot, field by field (see action:: for the layout).
struct DecodedAction {
    std::uint32_t location = 0;
    std::uint32_t text = 0;
    std::uint32_t sound = 0;
    std::uint32_t time = 0;
    std::uint32_t playerGroup = 0;
    std::uint32_t amountOrSwitch = 0;
    std::uint16_t resourceOrScore = 0;
    std::uint8_t type = 0; // 0: the slot is empty
    std::uint8_t modifierOrState = 0;
    std::uint8_t flags = 0;
    std::array<std::uint8_t, 3> padding{};

    bool operator==(const DecodedAction&) const = default;
};

// A whole trigger record. Every byte of the record lands in one field, so
// nothing the file holds is lost on the way to the listing.
struct DecodedTrigger {
    std::array<DecodedCondition, record::kConditionCount> conditions{};
    std::array<DecodedAction, record::kActionCount> actions{};
    std::uint32_t executionFlags = 0;
    std::array<std::uint8_t, record::kExecutionTableSize> executionTable{};

    bool operator==(const DecodedTrigger&) const = default;
};

DecodedTrigger decodeTrigger(std::span<const std::uint8_t, kRecordSize> record);

} // namespace trigfile
