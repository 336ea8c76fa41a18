#pragma once

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_series.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace trigfile {

// A run of consecutive records that Tallyforge could have written as one
// series: each record is byte for byte what the encoder makes of the same
// fields, and the thresholds run k, 2k, 3k, ... from the first record.
struct RecognisedSeries {
    std::size_t firstRecord = 0; // index in the records read
    TriggerSeries series;
};

// Every recognised series in record order, the longest run from each start.
// A record of Tallyforge's shape that does not continue a run starts one.
std::vector<RecognisedSeries> findSeries(const TriggerRecords& records);

// Settings from which Create writes exactly this series again, or nothing
// when the window cannot express it (an owner the window has no box for, a
// unit number above the unit list, an amount Create would place otherwise).
std::optional<KillRewardSettings> settingsForSeries(const TriggerSeries& series);

// The settings of the only series of the records, when there is exactly one
// and the window can express it.
std::optional<KillRewardSettings> settingsOfOnlySeries(const TriggerRecords& records);

} // namespace trigfile
