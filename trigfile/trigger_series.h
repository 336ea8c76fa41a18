#pragma once

#include "base/outcome.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/reward_message.h"
#include "trigfile/trigger_record.h"

#include <cstdint>
#include <optional>
#include <string>

namespace trigfile {

// A whole series, checked against every bound of the file before anything
// touches the disk: thresholds killStep, 2*killStep, ... recordCount*killStep.
struct TriggerSeries {
    std::uint32_t killStep = 1;
    std::uint32_t recordCount = 1;
    RecordFields fields;
    std::optional<MessagePlan> message = std::nullopt; // with fields.showsMessage

    std::uint32_t threshold(std::uint32_t index) const { return (index + 1) * killStep; }
    std::uint32_t lastThreshold() const { return threshold(recordCount - 1); }
    // A trigger file's bytes for each trigger: its record, and the text
    // block of its message when it shows one.
    std::uint64_t bytesPerTrigger() const { return kRecordSize + (message ? kTextBlockSize : 0); }
    std::uint64_t fileSize() const {
        return kPreambleSize + static_cast<std::uint64_t>(recordCount) * bytesPerTrigger();
    }
};

// The series, or why the settings cannot be written.
using SeriesPlan = base::Outcome<TriggerSeries>;

// The inputs a refusal can ask the user to change.
enum class Input { KillStep, KillMax, Unit, Ore, Points, Switch, Gas, Message };

// How a refusal names an input: the window by its box's caption, the command
// line by its option.
struct InputNames {
    std::string (*subject)(Input); // opens a sentence: The box "How often does it fire?"
    std::string (*mention)(Input); // within one: "How often does it fire?"
};

// The inputs in plain words ("The kill step"), for callers that only need
// to know whether a series can be written; the front ends name their own.
extern const InputNames kPlainNames;

// Plans the series for normalised settings, or says which input to change.
// Accepts exactly what can be written in full; refuses instead of writing
// part of a file.
SeriesPlan planSeries(const KillRewardSettings& normalised, const InputNames& names = kPlainNames);

// The number of thresholds step, 2*step, ... up to killMax: at least one,
// even when killMax is below the step. killMax must be finite, step >= 1.
std::uint64_t countThresholds(double killMax, std::uint32_t step);

} // namespace trigfile
