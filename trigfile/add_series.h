#pragma once

#include "base/outcome.h"
#include "trigfile/game_limits.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/series_writer.h"
#include "trigfile/string_section_edit.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_series.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trigfile {

// Adding a series to the triggers a trigger file or a map already holds:
// the old records stay as they are, the new ones follow them. Shared by the
// window and the command line, so both check, back up and refuse alike.

// Which forces each of Players 1-8 is counted in, one bit a force (bit 0
// for Force 1). A map's FORC section puts each player in one force; a
// trigger file does not say, so there each force counts for every player.
struct ForceMembership {
    std::array<std::uint8_t, kTriggerPlayers> forcesOf = filledWith((1u << kForces) - 1);
    bool known = false; // from a FORC section

  private:
    static std::array<std::uint8_t, kTriggerPlayers> filledWith(unsigned bits) {
        std::array<std::uint8_t, kTriggerPlayers> all{};
        all.fill(static_cast<std::uint8_t>(bits));
        return all;
    }
};

// The force of each player as scenario data of these sections gives it, in
// its FORC section (one byte a player, Force 1 to 4 as 0 to 3); unknown
// without one.
ForceMembership forceMembership(std::span<const std::uint8_t> data,
                                std::span<const ScenarioSection> sections);

// Whether a trigger of this execution table runs for the player (0 for
// Player 1): the game gives each player its own copy of a trigger that it,
// All Players or its force owns.
bool runsFor(const std::array<std::uint8_t, kExecutionTableSize>& table, std::size_t player,
             const ForceMembership& forces);

// How many of the triggers already there the game gives each of Players 1-8.
struct OwnerCounts {
    std::array<std::uint64_t, kTriggerPlayers> perPlayer{};
    std::uint64_t triggers = 0; // every record, the empty first one of a trigger file included
    ForceMembership forces;     // so that the new series is counted the same way
    // How many more triggers the file can take: scenario data must stay
    // within what Tallyforge reads back, and its TRIG section within its
    // 32-bit size. A trigger file has no such bound.
    std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
};
OwnerCounts countOwners(const TriggerRecords& records, const ForceMembership& forces = {});

// Why the series is too long to be added to a file that holds `existing`,
// if it is: a value that cannot be used, told before anything is written.
std::optional<base::Problem> tooLongToAdd(const OwnerCounts& existing, const TriggerSeries& series);

// The most triggers any one player the series runs for would have once it
// is added.
std::uint64_t mostTriggersForOnePlayer(const OwnerCounts& existing, const TriggerSeries& series);

// What the warning about too many triggers adds where force membership is
// not known.
inline constexpr char kForcesCountedForEveryPlayer[] =
    "The file does not say which players are in which force, so the triggers of each force "
    "are counted for every player.";

// What a file or map holds now, or why nothing can be added to it.
using Inspection = base::Outcome<OwnerCounts>;

// What an add did.
struct Added {
    std::uint64_t triggersAfter = 0; // the records the file or map now holds
    std::filesystem::path backup;    // where the file or map as it was is kept
    std::string note;                // anything else the user should know
};
using AddOutcome = base::Outcome<Added>;

// The wording of an add's failures that are not the disk's or the map's.
inline constexpr char kAdding[] = "add the triggers";

// A trigger file (.trg): what it holds now, or why it cannot be added to.
Inspection inspectTriggerFile(const std::filesystem::path& file);

// Appends the series' records to the trigger file: every byte of the old
// file stays (its records and the text and unit-properties blocks after
// them), the new records follow. Written beside it, flushed, then put in
// its place, the old file kept as a backup as a map's is (map_edit.h,
// Added::backup); on any failure or cancel the old file is left whole.
// The file's empty first trigger is not repeated. The old file is read a
// buffer at a time, never held whole: once to check it, then to copy it,
// and a copy that differs from the file checked is refused.
AddOutcome addToTriggerFile(const std::filesystem::path& file, const TriggerSeries& series,
                            WriteProgress* progress = nullptr, const SinkWrapper& wrap = {});

// Scenario data with the series added to its TRIG section (a TRIG section
// is made at the end when there is none) and, when the series shows a
// message, its texts in the string section (string_section_edit.h), in the
// same write. Every other section, and the records already in TRIG, keep
// their bytes. Checked before anything is
// written: the data's sections, a stacked map (several TRIG sections), and
// a TRIG section that would outgrow its 32-bit size.
struct ScenarioAddition {
    std::span<const std::uint8_t> data; // the scenario data as it is
    std::size_t trigSizeField = 0;      // where the TRIG size is written, if hasTrig
    std::size_t insertAt = 0;           // where the new records go
    bool hasTrig = false;
    std::uint32_t newTrigSize = 0;
    std::uint64_t newSize = 0; // of the whole scenario data
    OwnerCounts existing;
    std::optional<StringSectionEdit> strings; // when the series shows a message

    // Writes the new scenario data front to back. False when cancelled.
    bool write(ByteSink& out, const TriggerSeries& series, WriteProgress* progress) const;
};
using ScenarioPlan = base::Outcome<ScenarioAddition>;
ScenarioPlan planScenarioAddition(std::span<const std::uint8_t> data, const TriggerSeries& series);

// Scenario data as it is, or why nothing can be added to it: data that
// cannot be read safely, and a stacked map (several TRIG sections).
Inspection inspectScenarioData(std::span<const std::uint8_t> data);

// The same for a scenario file (.chk) on disk.
Inspection inspectScenarioFile(const std::filesystem::path& file);

// Adds the series to a scenario file through a MapEdit: a copy beside it,
// a backup of the original (Added::backup), the copy put in place when
// complete. A file that cannot be read safely is refused and left untouched.
AddOutcome addToScenarioFile(const std::filesystem::path& file, const TriggerSeries& series,
                             WriteProgress* progress = nullptr);

} // namespace trigfile
