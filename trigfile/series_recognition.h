#pragma once

#include "trigfile/game_text.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_series.h"
#include "trigfile/trigger_stream.h"

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
    // The next trigger, with its text blocks or strings for a message;
    // index counts from 0 and goes up by one each call.
    Step next(const TriggerView& trigger);
    // After the last record: the run still open, if any.
    std::optional<RecognisedSeries> finish();

    // A run of records being recognised, with what its messages tell so far.
    struct OpenRun {
        RecognisedSeries found;
        std::optional<GameText> firstText;
        std::optional<std::string> typed; // known once a second text agrees with the first
    };

  private:
    void expectNext();

    std::optional<OpenRun> open_;
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

// Follows triggers as a read meets them, for the one series the window may
// be filled with: holding only the open run and the first series found.
class OnlySeriesFinder {
  public:
    void next(const TriggerView& trigger);
    // After the last trigger: the settings of the only series, when there
    // is exactly one and the window can express it.
    std::optional<KillRewardSettings> finish();

  private:
    void found(RecognisedSeries series);

    SeriesFinder finder_;
    std::size_t count_ = 0;
    std::optional<RecognisedSeries> first_;
};

// The settings of the only series of the records (see OnlySeriesFinder).
std::optional<KillRewardSettings> settingsOfOnlySeries(const TriggerRecords& records);

} // namespace trigfile
