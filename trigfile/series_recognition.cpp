#include "trigfile/series_recognition.h"

#include "trigfile/decoded_trigger.h"
#include "trigfile/game_limits.h"

#include <algorithm>

namespace trigfile {
namespace {

ActionFields writtenFields(const DecodedAction& a) {
    return ActionFields{a.playerGroup, a.amountOrSwitch,  a.resourceOrScore,
                        a.type,        a.modifierOrState, a.flags};
}

// The rewards Create writes: add ore or gas, add points of one score kind,
// set a switch, each with the player group, modifier and flags it uses.
bool isOurReward(const ActionFields& a) {
    switch (a.action) {
    case kActionSetResources:
        return a.playerGroup == kCurrentPlayer && a.value <= kMaxFieldValue &&
               a.kindOrType <= kResourceGas && a.modifier == kModifierAdd &&
               a.flags == kActionAlwaysDisplay;
    case kActionSetScore:
        return a.playerGroup == kCurrentPlayer && a.value <= kMaxFieldValue &&
               a.kindOrType < kScoreKindNames.size() && a.modifier == kModifierAdd &&
               a.flags == kActionAlwaysDisplay;
    case kActionSetSwitch:
        return a.playerGroup == 0 && a.value < kSwitchCount && a.kindOrType == 0 &&
               a.modifier == kSwitchStateSet && a.flags == kActionAlwaysDisplay;
    default:
        return false;
    }
}

bool isOurGas(const ActionFields& reward, const ActionFields& gas) {
    return reward.action == kActionSetResources && reward.kindOrType == kResourceOre &&
           gas.action == kActionSetResources && gas.kindOrType == kResourceGas && isOurReward(gas);
}

// The fields and threshold of a record of Tallyforge's shape: one that the
// encoder gives back byte for byte from what is read here.
std::optional<std::pair<RecordFields, std::uint32_t>>
ourShape(std::span<const std::uint8_t, kRecordSize> bytes) {
    const DecodedTrigger t = decodeTrigger(bytes);
    const DecodedCondition& kill = t.conditions[0];
    if (kill.type != kConditionKill || kill.quantity == 0 || t.actions[0].type == 0) {
        return std::nullopt;
    }
    RecordFields fields;
    fields.unitId = kill.unitType;
    fields.reward = writtenFields(t.actions[0]);
    if (t.actions[1].type != 0) {
        fields.extraGas = writtenFields(t.actions[1]);
    }
    fields.executionTable = t.executionTable;
    if (!isOurReward(fields.reward) ||
        (fields.extraGas && !isOurGas(fields.reward, *fields.extraGas))) {
        return std::nullopt;
    }
    const TriggerRecord again = encodeRecord(fields, kill.quantity);
    if (!std::equal(again.begin(), again.end(), bytes.begin())) {
        return std::nullopt;
    }
    return std::pair{fields, kill.quantity};
}

} // namespace

SeriesFinder::Step SeriesFinder::next(std::size_t index,
                                      std::span<const std::uint8_t, kRecordSize> record) {
    Step step;
    if (open_ && expectable_ && std::equal(record.begin(), record.end(), expected_.begin())) {
        ++open_->series.recordCount;
        step.joined = true;
    } else {
        step.ended = std::move(open_);
        open_.reset();
        if (const auto shape = ourShape(record)) {
            open_ = RecognisedSeries{index, TriggerSeries{shape->second, 1, shape->first}};
            std::copy(record.begin(), record.end(), expected_.begin());
            step.started = true;
        }
    }
    if (open_) {
        const std::uint64_t threshold =
            static_cast<std::uint64_t>(open_->series.recordCount + 1) * open_->series.killStep;
        expectable_ = threshold <= UINT32_MAX;
        putU32(expected_.data() + record::kConditions + condition::kQuantity,
               static_cast<std::uint32_t>(threshold));
    }
    return step;
}

std::optional<RecognisedSeries> SeriesFinder::finish() {
    auto open = std::move(open_);
    open_.reset();
    return open;
}

std::vector<RecognisedSeries> findSeries(const TriggerRecords& records) {
    std::vector<RecognisedSeries> found;
    SeriesFinder finder;
    for (std::size_t i = 0; i < records.count(); ++i) {
        if (auto step = finder.next(i, records.record(i)); step.ended) {
            found.push_back(std::move(*step.ended));
        }
    }
    if (auto open = finder.finish()) {
        found.push_back(std::move(*open));
    }
    return found;
}

std::optional<KillRewardSettings> settingsForSeries(const TriggerSeries& series) {
    const RecordFields& f = series.fields;
    KillRewardSettings s;
    s.killStep = series.killStep;
    s.killMax = static_cast<double>(series.lastThreshold());
    s.unitId = f.unitId;
    switch (f.reward.action) {
    case kActionSetResources:
        s.actionKind = ActionKind::Money;
        if (f.reward.kindOrType == kResourceGas && !f.extraGas) {
            s.amount = 0;
            s.gasAmount = f.reward.value;
        } else {
            s.amount = f.reward.value;
            s.gasAmount = f.extraGas ? f.extraGas->value : 0;
        }
        break;
    case kActionSetScore:
        s.actionKind = ActionKind::Score;
        s.amount = f.reward.value;
        s.scoreKind = f.reward.kindOrType;
        break;
    case kActionSetSwitch:
        s.actionKind = ActionKind::Switch;
        s.amount = f.reward.value + 1.0; // switches are numbered from 1
        break;
    default:
        return std::nullopt;
    }
    const auto tick = [&](std::size_t byte) {
        return f.executionTable[byte] == 1 ? CheckValue::Ticked : CheckValue::Cleared;
    };
    for (std::size_t i = 0; i < s.players.size(); ++i) {
        s.players[i] = tick(kPlayer1 + i);
    }
    s.allPlayers = tick(kAllPlayers);
    for (std::size_t i = 0; i < s.forces.size(); ++i) {
        s.forces[i] = tick(kForce1 + i);
    }
    // The window's answer is the test: only settings that plan this very
    // series again are offered.
    const SeriesPlan plan = planSeries(normalise(s));
    const TriggerSeries* again = plan.ok() ? &*plan : nullptr;
    if (again == nullptr || again->killStep != series.killStep ||
        again->recordCount != series.recordCount || !(again->fields == series.fields)) {
        return std::nullopt;
    }
    return s;
}

std::optional<KillRewardSettings> settingsOfOnlySeries(const TriggerRecords& records) {
    const auto found = findSeries(records);
    if (found.size() != 1) {
        return std::nullopt;
    }
    return settingsForSeries(found[0].series);
}

} // namespace trigfile
