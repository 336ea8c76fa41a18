#pragma once

#include "maparchive/file_kind.h"
#include "trigfile/add_series.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_series.h"

#include <filesystem>
#include <optional>
#include <string>

namespace maparchive {

// What a trigger file or map holds now (triggers per player, for the warning
// about too many triggers), or why nothing can be added to it.
trigfile::Inspection inspectTarget(const std::filesystem::path& file);

// What the window and the command line know before an add starts: what the
// target holds now; whether the series is too long for it (a refusal of the
// series, not of the file, which both tell before anything is written); and
// the most triggers one player will have with the series, which both warn
// about above the game's comfortable count, with what the warning adds.
struct BeforeAdd {
    trigfile::OwnerCounts existing;
    std::optional<base::Problem> tooLong; // names the target
    std::uint64_t mostForOnePlayer = 0;
    std::string manyTriggersNote; // where the file does not say who is in which force
};
// The steps both take once a target is chosen: the target read as the add
// will read it, or why nothing can be added to it.
base::Outcome<BeforeAdd> checkBeforeAdd(const std::filesystem::path& target,
                                        const trigfile::TriggerSeries& series);

// Adds the series to a trigger file (.trg), scenario file (.chk) or map
// archive (.scm, .scx), with the same checks, backup and refusals for every
// caller. For an archive, the scenario data is rebuilt with the series in
// its TRIG section and stored like the old one by StormLib in a copy of the
// map, which is compacted, read back (its size and hash compared with what
// was meant), and only then put in the map's place; the original is kept as
// the backup the outcome names. wrap, if given, stands between the writer
// and a trigger file (see addToTriggerFile), or StormLib for a map.
trigfile::AddOutcome addSeries(const std::filesystem::path& file,
                               const trigfile::TriggerSeries& series,
                               trigfile::WriteProgress* progress = nullptr,
                               const trigfile::SinkWrapper& wrap = {});

} // namespace maparchive
