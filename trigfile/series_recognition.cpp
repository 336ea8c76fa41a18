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

using OpenRun = SeriesFinder::OpenRun;

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

// Whether a run that starts with this record could end as a series of one
// with its message worked out, so that no run is started that could not
// be listed as a series.
bool startsMessage(const OpenRun& run) {
    const TriggerSeries& series = run.found.series;
    const std::uint32_t amount = placeholderAmount(series.fields);
    const auto typed = typedFromTexts(run.firstText->text, series.killStep, nullptr, 0, amount);
    return typed && planMessage(RewardMessage{*typed, run.firstText->encoding}, amount,
                                series.lastThreshold(), "The message")
                        .ok();
}

} // namespace

SeriesFinder::Step SeriesFinder::next(const TriggerView& trigger) {
    const auto record = trigger.record();
    Step step;
    // A plain series goes on with the very bytes the encoder makes of its
    // fields and the next threshold: one comparison decides.
    if (open_ && !open_->found.series.fields.showsMessage && expectable_ &&
        std::equal(record.begin(), record.end(), expected_.begin())) {
        ++open_->found.series.recordCount;
        step.joined = true;
        expectNext();
        return step;
    }
    auto shape = ourShape(record);
    std::optional<GameText> text;
    if (shape && shape->fields.showsMessage) {
        DecodedAction action;
        action.text = shape->textNumber;
        text = extrasOf(trigger, shape->fields.messageSlot(), action).text;
        if (!text || text->encoding == TextEncoding::Unknown) {
            shape.reset(); // a text Create could not have written
        }
    }
    if (open_ && shape && open_->found.series.fields.showsMessage &&
        shape->fields == open_->found.series.fields &&
        shape->threshold == static_cast<std::uint64_t>(open_->found.series.recordCount + 1) *
                                open_->found.series.killStep &&
        continuesMessage(*open_, text, shape->threshold)) {
        ++open_->found.series.recordCount;
        step.joined = true;
        return step;
    }
    step.ended = finish();
    if (shape) {
        OpenRun run{
            RecognisedSeries{trigger.index, TriggerSeries{shape->threshold, 1, shape->fields, {}}},
            text,
            {}};
        if (!shape->fields.showsMessage || startsMessage(run)) {
            open_ = std::move(run);
            std::copy(record.begin(), record.end(), expected_.begin());
            step.started = true;
            expectNext();
        }
    }
    return step;
}

void SeriesFinder::expectNext() {
    const TriggerSeries& series = open_->found.series;
    const std::uint64_t threshold =
        static_cast<std::uint64_t>(series.recordCount + 1) * series.killStep;
    expectable_ = threshold <= UINT32_MAX;
    putU32(expected_.data() + record::kConditions + condition::kQuantity,
           static_cast<std::uint32_t>(threshold));
}

std::optional<RecognisedSeries> SeriesFinder::finish() {
    if (!open_) {
        return std::nullopt;
    }
    OpenRun run = std::move(*open_);
    open_.reset();
    RecognisedSeries plain = run.found;
    if (auto found = finished(std::move(run))) {
        return found;
    }
    // Not reached: a run with a message starts only where its first text
    // can be worked out, and every later text is the same pattern's.
    return plain;
}

std::vector<RecognisedSeries> findSeries(const TriggerRecords& records) {
    std::vector<RecognisedSeries> found;
    SeriesFinder finder;
    recordsSource(records)->walk([&](const TriggerView& trigger) {
        if (auto step = finder.next(trigger); step.ended) {
            found.push_back(std::move(*step.ended));
        }
    });
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

void OnlySeriesFinder::next(const TriggerView& trigger) {
    if (auto step = finder_.next(trigger); step.ended) {
        found(std::move(*step.ended));
    }
}

std::optional<KillRewardSettings> OnlySeriesFinder::finish() {
    if (auto open = finder_.finish()) {
        found(std::move(*open));
    }
    return count_ == 1 ? settingsForSeries(first_->series) : std::nullopt;
}

void OnlySeriesFinder::found(RecognisedSeries series) {
    if (count_++ == 0) {
        first_ = std::move(series);
    }
}

std::optional<KillRewardSettings> settingsOfOnlySeries(const TriggerRecords& records) {
    OnlySeriesFinder only;
    recordsSource(records)->walk([&](const TriggerView& trigger) { only.next(trigger); });
    return only.finish();
}

} // namespace trigfile
