#include "trigfile/trigger_record.h"

namespace trigfile {
namespace {

void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putActionFields(std::uint8_t* slot, const ActionFields& a) {
    putU32(slot + action::kPlayerGroup, a.playerGroup);
    putU32(slot + action::kAmountOrSwitch, a.value);
    putU16(slot + action::kResourceOrScore, a.kindOrType);
    slot[action::kType] = a.action;
    slot[action::kModifierOrState] = a.modifier;
    slot[action::kFlags] = a.flags;
}

} // namespace

Preamble encodePreamble() {
    Preamble bytes{};
    for (std::size_t i = 0; i < kSignature.size(); ++i) {
        bytes[i] = kSignature[i];
    }
    putU32(bytes.data() + kSignature.size(), kHeaderValue);
    return bytes; // followed by the empty trigger: all zero
}

TriggerRecord encodeRecord(const RecordFields& fields, std::uint32_t threshold) {
    TriggerRecord record{};
    std::uint8_t* kill = record.data() + record::kConditions; // condition slot 0
    putU32(kill + condition::kPlayerGroup, kCurrentPlayer);
    putU32(kill + condition::kQuantity, threshold);
    putU16(kill + condition::kUnitType, fields.unitId);
    kill[condition::kComparison] = kComparisonAtLeast;
    kill[condition::kType] = kConditionKill;
    kill[condition::kFlags] = kConditionUnitTypeUsed;

    std::uint8_t* actions = record.data() + record::kActions;
    putActionFields(actions, fields.reward);
    if (fields.extraGas) {
        putActionFields(actions + action::kSize, *fields.extraGas);
    }
    for (std::size_t i = 0; i < kExecutionTableSize; ++i) {
        record[record::kExecutionTable + i] = fields.executionTable[i];
    }
    return record;
}

} // namespace trigfile
