#pragma once

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_series.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace trigfile {

// A run of consecutive records that Tallyforge could have written as one
// series: each record is byte for byte what the encoder makes of the same
// fields, and the thresholds run k, 2k, 3k, ... from the first record.
struct RecognisedSeries {
    std::size_t firstRecord = 0; // index in the records read
    TriggerSeries series;
};

// Recognises series as records are read one after another, holding only
// the run that is open: the longest run from each start; a record of
// Tallyforge's shape that does not continue a run starts one.
class SeriesFinder {
  public:
    struct Step {
        std::optional<RecognisedSeries> ended; // the run this record closed
        bool started = false;                  // this record starts a run
        bool joined = false;                   // this record continues the open run
    };
    // The next record; index counts from 0 and goes up by one each call.
    Step next(std::size_t index, std::span<const std::uint8_t, kRecordSize> record);
    // After the last record: the run still open, if any.
    std::optional<RecognisedSeries> finish();

  private:
    std::optional<RecognisedSeries> open_;
    // The record that would continue the open run: its first with the
    // next threshold. A record equal to it is what the encoder makes of the
    // run's fields and threshold, so one comparison decides.
    TriggerRecord expected_{};
    bool expectable_ = false; // the next threshold fits its field
};

// Every recognised series in record order (see SeriesFinder).
std::vector<RecognisedSeries> findSeries(const TriggerRecords& records);

// Settings from which Create writes exactly this series again, or nothing
// when the window cannot express it (an owner the window has no box for, a
// unit number above the unit list, an amount Create would place otherwise).
std::optional<KillRewardSettings> settingsForSeries(const TriggerSeries& series);

// The settings of the only series of the records, when there is exactly one
// and the window can express it.
std::optional<KillRewardSettings> settingsOfOnlySeries(const TriggerRecords& records);

} // namespace trigfile
