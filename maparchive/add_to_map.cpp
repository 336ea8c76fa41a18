#include "maparchive/add_to_map.h"

#include "base/display_name.h"
#include "maparchive/contained_read.h"
#include "maparchive/map_archive.h"
#include "maparchive/scenario_replace.h"
#include "safefile/map_edit.h"

#include <memory>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using trigfile::AddOutcome;

namespace maparchive {
namespace {

constexpr char kUnknownKind[] =
    "Tallyforge adds triggers to trigger files (.trg), scenario files (.chk) and maps (.scm, "
    ".scx) only.";

trigfile::Inspection inspectArchive(const fs::path& map) {
    ScenarioRead read = readScenarioData(map, Access::Write);
    if (!read.ok()) {
        return base::aboutFile(map, read.problem());
    }
    trigfile::Inspection inspection = trigfile::inspectScenarioData(*read);
    if (!inspection.ok()) {
        return base::aboutFile(map, inspection.problem());
    }
    return inspection;
}

AddOutcome addToArchive(const fs::path& map, const trigfile::TriggerSeries& series,
                        trigfile::WriteProgress* progress) {
    return safefile::failuresAsProblem(trigfile::kAdding, [&]() -> AddOutcome {
        safefile::MapEdit edit(map); // refuses a map it must not touch, before anything is written
        ScenarioRead read = readScenarioData(map, Access::Write);
        if (!read.ok()) {
            return base::aboutFile(map, read.problem());
        }
        const std::vector<std::uint8_t>& data = *read;
        trigfile::ScenarioPlan plan = trigfile::planScenarioAddition(data, series);
        if (!plan.ok()) {
            return base::aboutFile(map, plan.problem());
        }
        const trigfile::ScenarioAddition& addition = *plan;

        edit.copyOriginal();
        edit.release();
        // StormLib opens the copy for writing only once it has, in a child
        // process that contains a crash or a runaway, opened the archive that
        // way itself and read the copy's scenario data, every stored piece
        // checked, as exactly what was read from the map.
        std::error_code ec;
        const std::uint64_t copySize = std::filesystem::file_size(edit.workingCopy(), ec);
        const ScenarioRead probe = runContained(ContainedJob::ReadForWriting, edit.workingCopy(),
                                                copySize, base::displayName(map));
        if (!probe.ok()) {
            return base::aboutFile(map, probe.problem());
        }
        if (*probe != data) {
            return base::Problem::refused("The scenario data of " + base::displayName(map) +
                                          " did not read the same twice; it may be damaged, or "
                                          "another program changed it meanwhile.");
        }
        const Replaced replaced =
            replaceScenario(edit.workingCopy(), addition.newSize, [&](safefile::ByteSink& out) {
                return addition.write(out, series, progress);
            });
        if (replaced == Replaced::Cancelled) {
            return base::Problem::cancelled();
        }
        // What the map will hold, read back the way the program reads maps,
        // within the reader's own limits, and compared byte for byte with
        // what was stored, before it takes the map's place.
        const std::uint64_t expected = addition.existing.triggers + series.recordCount;
        const ScenarioRead check = readScenarioData(edit.workingCopy());
        if (!check.ok() || !trigfile::readScenarioTriggers(*check).ok() ||
            !addition.matches(*check, series)) {
            throw safefile::WriteError("Could not change " + base::displayName(map) +
                                       ": the rebuilt map did not read back as written. It was "
                                       "left as it was.");
        }
        const auto backup = edit.commit(progress ? &progress->cancelRequested : nullptr);
        if (!backup) {
            return base::Problem::cancelled();
        }
        trigfile::Added added{expected, *backup, {}};
        if (replaced == Replaced::NotCompacted) {
            added.note = "The map holds files whose names it does not list, so StormLib could "
                         "not compact it: it keeps its old scenario data as unused space.";
        }
        return added;
    });
}

} // namespace

trigfile::Inspection inspectTarget(const fs::path& file) {
    switch (targetOf(file)) {
    case Target::TriggerFile:
        return trigfile::inspectTriggerFile(file);
    case Target::ScenarioFile:
        return trigfile::inspectScenarioFile(file);
    case Target::MapArchive:
        return inspectArchive(file);
    case Target::Unknown:
        break;
    }
    return base::Problem::refused(kUnknownKind);
}

base::Outcome<BeforeAdd> checkBeforeAdd(const fs::path& target,
                                        const trigfile::TriggerSeries& series) {
    trigfile::Inspection inspection = inspectTarget(target);
    if (!inspection.ok()) {
        return std::move(inspection.problem());
    }
    BeforeAdd before{std::move(*inspection), std::nullopt, 0, {}};
    if (auto tooLong = trigfile::tooLongToAdd(before.existing, series)) {
        before.tooLong = base::aboutFile(target, std::move(*tooLong));
    }
    before.mostForOnePlayer = trigfile::mostTriggersForOnePlayer(before.existing, series);
    if (!before.existing.forces.known) {
        before.manyTriggersNote = trigfile::kForcesCountedForEveryPlayer;
    }
    return before;
}

AddOutcome addSeries(const fs::path& file, const trigfile::TriggerSeries& series,
                     trigfile::WriteProgress* progress, const trigfile::SinkWrapper& wrap) {
    switch (targetOf(file)) {
    case Target::TriggerFile:
        return trigfile::addToTriggerFile(file, series, progress, wrap);
    case Target::ScenarioFile:
        return trigfile::addToScenarioFile(file, series, progress);
    case Target::MapArchive:
        return addToArchive(file, series, progress);
    case Target::Unknown:
        break;
    }
    return base::Problem::refused(kUnknownKind);
}

} // namespace maparchive
