#include "trigger_record.h"

namespace trigfile {
namespace {

void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putActionFields(std::uint8_t* slot, const ActionFields& a) {
    putU32(slot + 16, a.playerGroup);
    putU32(slot + 20, a.value);
    putU16(slot + 24, a.kindOrType);
    slot[26] = a.action;
    slot[27] = a.modifier;
    slot[28] = a.flags;
}

} // namespace

Preamble encodePreamble() {
    Preamble bytes{};
    for (std::size_t i = 0; i < kSignature.size(); ++i) {
        bytes[i] = kSignature[i];
    }
    putU32(bytes.data() + 4, kHeaderValue);
    return bytes; // followed by the empty trigger: all zero
}

TriggerRecord encodeRecord(const RecordFields& fields, std::uint32_t threshold) {
    TriggerRecord record{};
    std::uint8_t* kill = record.data(); // condition slot 0
    putU32(kill + 4, kCurrentPlayer);
    putU32(kill + kQuantityOffset, threshold);
    putU16(kill + 12, fields.unitId);
    kill[14] = kComparisonAtLeast;
    kill[15] = kConditionKill;
    kill[17] = kConditionFlags;

    putActionFields(record.data() + kActionsOffset, fields.reward);
    if (fields.extraGas) {
        putActionFields(record.data() + kActionsOffset + kActionSlotSize, *fields.extraGas);
    }
    for (std::size_t i = 0; i < kExecutionTableSize; ++i) {
        record[kExecutionTableOffset + i] = fields.executionTable[i];
    }
    return record;
}

} // namespace trigfile
