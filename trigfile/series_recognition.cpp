#include "trigfile/series_recognition.h"

#include "trigfile/action_extras.h"
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

// A record of Tallyforge's shape: its fields, its kill threshold and, when
// it shows a message, the number of its text.
struct Shape {
    RecordFields fields;
    std::uint32_t threshold = 0;
    std::uint32_t textNumber = 0;
};

// The shape of a record that the encoder gives back byte for byte from
// what is read here, or nothing.
std::optional<Shape> ourShape(std::span<const std::uint8_t, kRecordSize> bytes) {
    const DecodedTrigger t = decodeTrigger(bytes);
    const DecodedCondition& kill = t.conditions[0];
    if (kill.type != kConditionKill || kill.quantity == 0 || t.actions[0].type == 0) {
        return std::nullopt;
    }
    Shape shape;
    RecordFields& fields = shape.fields;
    fields.unitId = kill.unitType;
    fields.reward = writtenFields(t.actions[0]);
    std::size_t next = 1;
    if (t.actions[1].type != 0 && t.actions[1].type != kActionDisplayTextMessage) {
        fields.extraGas = writtenFields(t.actions[1]);
        next = 2;
    }
    if (t.actions[next].type == kActionDisplayTextMessage) {
        fields.showsMessage = true;
        shape.textNumber = t.actions[next].text;
        if (shape.textNumber == 0) {
            return std::nullopt;
        }
    }
    fields.executionTable = t.executionTable;
    if (!isOurReward(fields.reward) ||
        (fields.extraGas && !isOurGas(fields.reward, *fields.extraGas))) {
        return std::nullopt;
    }
    const TriggerRecord again = encodeRecord(fields, kill.quantity, shape.textNumber);
    if (!std::equal(again.begin(), again.end(), bytes.begin())) {
        return std::nullopt;
    }
    shape.threshold = kill.quantity;
    return shape;
}

// A run of records being recognised, with what its messages tell so far.
struct OpenRun {
    RecognisedSeries found;
    std::optional<GameText> firstText;
    std::optional<std::string> typed; // known once a second text agrees with the first
};

// Whether a record's text continues the run's message.
bool continuesMessage(OpenRun& run, const std::optional<GameText>& text, std::uint32_t kills) {
    const RecordFields& fields = run.found.series.fields;
    if (!fields.showsMessage) {
        return true;
    }
    if (!text || text->encoding != run.firstText->encoding) {
        return false;
    }
    const std::uint32_t amount = placeholderAmount(fields);
    if (!run.typed) {
        const std::string_view second = text->text;
        auto typed =
            typedFromTexts(run.firstText->text, run.found.series.killStep, &second, kills, amount);
        if (!typed ||
            messageText(*typed, run.found.series.killStep, amount) != run.firstText->text) {
            return false;
        }
        run.typed = std::move(typed);
    }
    return messageText(*run.typed, kills, amount) == text->text;
}

// The run as a series, its message worked out; nothing when Create could
// not write that message.
std::optional<RecognisedSeries> finished(OpenRun run) {
    TriggerSeries& series = run.found.series;
    if (!series.fields.showsMessage) {
        return run.found;
    }
    const std::uint32_t amount = placeholderAmount(series.fields);
    if (!run.typed) {
        run.typed = typedFromTexts(run.firstText->text, series.killStep, nullptr, 0, amount);
    }
    if (!run.typed) {
        return std::nullopt;
    }
    auto plan = planMessage(RewardMessage{*run.typed, run.firstText->encoding}, amount,
                            series.lastThreshold(), "The message");
    if (!plan.ok()) {
        return std::nullopt;
    }
    series.message = std::move(*plan);
    return run.found;
}

} // namespace

std::vector<RecognisedSeries> findSeries(const TriggerRecords& records) {
    std::vector<RecognisedSeries> found;
    std::optional<OpenRun> open;
    const auto close = [&] {
        if (open) {
            if (auto series = finished(std::move(*open))) {
                found.push_back(std::move(*series));
            }
            open.reset();
        }
    };
    for (std::size_t i = 0; i < records.count(); ++i) {
        auto shape = ourShape(records.record(i));
        std::optional<GameText> text;
        if (shape && shape->fields.showsMessage) {
            DecodedAction action;
            action.text = shape->textNumber;
            text = extrasOf(records, i, shape->fields.messageSlot(), action).text;
            if (!text || text->encoding == TextEncoding::Unknown) {
                shape.reset(); // a text Create could not have written
            }
        }
        if (open && shape && shape->fields == open->found.series.fields &&
            shape->threshold == static_cast<std::uint64_t>(open->found.series.recordCount + 1) *
                                    open->found.series.killStep &&
            continuesMessage(*open, text, shape->threshold)) {
            ++open->found.series.recordCount;
            continue;
        }
        close();
        if (shape) {
            open =
                OpenRun{RecognisedSeries{i, TriggerSeries{shape->threshold, 1, shape->fields, {}}},
                        text,
                        {}};
        }
    }
    close();
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
    if (series.message) {
        s.message = series.message->typed;
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
        again->recordCount != series.recordCount || !(again->fields == series.fields) ||
        again->message != series.message) {
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
