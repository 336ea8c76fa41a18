#pragma once

#include "maparchive/file_kind.h"
#include "trigfile/add_series.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_series.h"

#include <filesystem>

namespace maparchive {

// What a trigger file or map holds now (triggers per owner, for the warning
// about too many triggers), or why nothing can be added to it.
trigfile::Inspection inspectTarget(const std::filesystem::path& file);

// What the window and the command line know before an add starts: what the
// target holds now, and the most triggers one owner will have with the
// series (which both warn about above the game's comfortable count).
struct BeforeAdd {
    trigfile::OwnerCounts existing;
    std::uint64_t mostForOneOwner = 0;
};
// The steps both take once a target is chosen: the target read as the add
// will read it, or why nothing can be added to it.
base::Outcome<BeforeAdd> checkBeforeAdd(const std::filesystem::path& target,
                                        const trigfile::TriggerSeries& series);

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
