#pragma once

#include "base/outcome.h"
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
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trigfile {

// Adding a series to the triggers a trigger file or a map already holds:
// the old records stay as they are, the new ones follow them. Shared by the
// window and the command line, so both check, back up and refuse alike.

// How many of the triggers already there run for each owner: a count per
// execution-table entry (Player 1-8, All Players, Force 1-4, ...).
struct OwnerCounts {
    std::array<std::uint64_t, kExecutionTableSize> perOwner{};
    std::uint64_t triggers = 0; // every record, the empty first one of a trigger file included
};
OwnerCounts countOwners(const TriggerRecords& records);

// The most triggers any one owner of the series would have once it is added.
std::uint64_t mostTriggersForOneOwner(const OwnerCounts& existing, const TriggerSeries& series);

// What a file or map holds now, or why nothing can be added to it.
using Inspection = base::Outcome<OwnerCounts>;

// What an add did.
struct Added {
    std::uint64_t triggersAfter = 0; // the records the file or map now holds
    std::filesystem::path backup;    // maps: where the original was kept
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
// its place; on any failure or cancel the old file is left whole. The
// file's empty first trigger is not repeated.
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
    // Whether stored is exactly what write() produces.
    bool matches(std::span<const std::uint8_t> stored, const TriggerSeries& series) const;
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
