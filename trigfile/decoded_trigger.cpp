#include "trigfile/decoded_trigger.h"

namespace trigfile {

DecodedTrigger decodeTrigger(std::span<const std::uint8_t, kRecordSize> record) {
    DecodedTrigger t;
    for (std::size_t i = 0; i < record::kConditionCount; ++i) {
        const std::uint8_t* slot = record.data() + record::kConditions + i * condition::kSize;
        DecodedCondition& c = t.conditions[i];
        c.location = getU32(slot + condition::kLocation);
        c.playerGroup = getU32(slot + condition::kPlayerGroup);
        c.quantity = getU32(slot + condition::kQuantity);
        c.unitType = getU16(slot + condition::kUnitType);
        c.comparison = slot[condition::kComparison];
        c.type = slot[condition::kType];
        c.resourceType = slot[condition::kResourceType];
        c.flags = slot[condition::kFlags];
        c.reserved = getU16(slot + condition::kReserved);
    }
    for (std::size_t i = 0; i < record::kActionCount; ++i) {
        const std::uint8_t* slot = record.data() + record::kActions + i * action::kSize;
        DecodedAction& a = t.actions[i];
        a.location = getU32(slot + action::kLocation);
        a.text = getU32(slot + action::kText);
        a.sound = getU32(slot + action::kSound);
        a.time = getU32(slot + action::kTime);
        a.playerGroup = getU32(slot + action::kPlayerGroup);
        a.amountOrSwitch = getU32(slot + action::kAmountOrSwitch);
        a.resourceOrScore = getU16(slot + action::kResourceOrScore);
        a.type = slot[action::kType];
        a.modifierOrState = slot[action::kModifierOrState];
        a.flags = slot[action::kFlags];
        for (std::size_t k = 0; k < a.padding.size(); ++k) {
            a.padding[k] = slot[action::kPadding + k];
        }
    }
    t.executionFlags = getU32(record.data() + record::kExecutionFlags);
    for (std::size_t i = 0; i < t.executionTable.size(); ++i) {
        t.executionTable[i] = record[record::kExecutionTable + i];
    }
    return t;
}

} // namespace trigfile
