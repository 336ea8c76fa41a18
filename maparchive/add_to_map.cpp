#include "maparchive/add_to_map.h"

#include "base/display_name.h"
#include "maparchive/contained_read.h"
#include "maparchive/map_archive.h"
#include "maparchive/scenario_replace.h"
#include "safefile/map_edit.h"
#include "trigfile/content_hash.h"

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
                        trigfile::WriteProgress* progress, const trigfile::SinkWrapper& wrap) {
    return safefile::failuresAsProblem(trigfile::kAdding, [&]() -> AddOutcome {
        safefile::MapEdit edit(map); // refuses a map it must not touch, before anything is written
        // The map's old data is read once, from the working copy. The map
        // passes the reader's checks of its archive headers first, before
        // anything is written; the copy is then the map byte for byte, taken
        // while the edit holds the map, and the edit refuses at commit a map
        // that another program changed since it took hold of it. So the
        // data planned on is the map's, read with the archive opened for
        // writing as StormLib will open it, in a child process that contains
        // a crash or a runaway, every stored piece checked against what was
        // read; and StormLib changes only a copy that read has vouched for.
        const std::string name = base::displayName(map);
        const auto mapSize = checkedMapSize(map, Access::Write);
        if (!mapSize.ok()) {
            return base::aboutFile(map, mapSize.problem());
        }
        edit.copyOriginal();
        edit.release();
        const ScenarioRead read =
            runContained(ContainedJob::ReadForWriting, edit.workingCopy(), *mapSize, name);
        if (!read.ok()) {
            return base::aboutFile(map, read.problem());
        }
        const std::vector<std::uint8_t>& data = *read;
        trigfile::ScenarioPlan plan = trigfile::planScenarioAddition(data, series);
        if (!plan.ok()) {
            return base::aboutFile(map, plan.problem());
        }
        const trigfile::ScenarioAddition& addition = *plan;

        // What was meant to be stored is hashed on its way to StormLib (and
        // to wrap, which stands between them), so that the map's check
        // below needs neither process to hold the new data whole.
        ScenarioDigest meant;
        const Replaced replaced =
            replaceScenario(edit.workingCopy(), addition.newSize, [&](safefile::ByteSink& out) {
                std::unique_ptr<safefile::ByteSink> wrapped = wrap ? wrap(out) : nullptr;
                trigfile::HashingSink hashing(wrapped ? *wrapped : out);
                const bool complete = addition.write(hashing, series, progress);
                meant = {hashing.hash().size(), hashing.hash().value()};
                return complete;
            });
        if (replaced == Replaced::Cancelled) {
            return base::Problem::cancelled();
        }
        // What the map will hold, read back the way the program reads maps,
        // within the reader's own limits, its sections checked as the
        // triggers' reader checks them, and its size and hash compared with
        // what was meant before it takes the map's place.
        const std::uint64_t expected = addition.existing.triggers + series.recordCount;
        const DigestRead check = hashScenarioData(edit.workingCopy());
        if (!check.ok() || *check != meant) {
            throw safefile::WriteError("Could not change " + name +
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
        return addToArchive(file, series, progress, wrap);
    case Target::Unknown:
        break;
    }
    return base::Problem::refused(kUnknownKind);
}

} // namespace maparchive
