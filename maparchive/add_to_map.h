#pragma once

#include "trigfile/add_series.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_series.h"

#include <filesystem>

namespace maparchive {

// What Tallyforge can add a series to, told by the name's extension.
enum class Target { TriggerFile, ScenarioFile, MapArchive, Unknown };
Target targetOf(const std::filesystem::path& file);

// What a trigger file or map holds now (triggers per owner, for the warning
// about too many triggers), or why nothing can be added to it.
trigfile::Inspection inspectTarget(const std::filesystem::path& file);

// Adds the series to a trigger file (.trg), scenario file (.chk) or map
// archive (.scm, .scx), with the same checks, backup and refusals for every
// caller. For an archive, the scenario data is rebuilt with the series in
// its TRIG section and stored like the old one by StormLib in a copy of the
// map, which is compacted, read back, and only then put in the map's place;
// the original is kept as the backup the outcome names.
trigfile::AddOutcome addSeries(const std::filesystem::path& file,
                               const trigfile::TriggerSeries& series,
                               trigfile::WriteProgress* progress = nullptr);

} // namespace maparchive
