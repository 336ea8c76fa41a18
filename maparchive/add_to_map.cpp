#include "maparchive/add_to_map.h"

#include "base/ascii.h"
#include "base/display_name.h"
#include "maparchive/contained_read.h"
#include "maparchive/map_archive.h"
#include "maparchive/scenario_replace.h"
#include "trigfile/map_edit.h"

#include <memory>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using trigfile::AddOutcome;

namespace maparchive {
namespace {

std::string named(const fs::path& file, const std::string& reason) {
    const std::string name = base::displayName(file);
    return reason.find(name) != std::string::npos ? reason : name + ": " + reason;
}

constexpr char kUnknownKind[] =
    "Tallyforge adds triggers to trigger files (.trg), scenario files (.chk) and maps (.scm, "
    ".scx) only.";

trigfile::Inspection inspectArchive(const fs::path& map) {
    ScenarioRead read = readScenarioData(map);
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&read)) {
        return trigfile::Refusal{named(map, refusal->reason)};
    }
    trigfile::Inspection inspection =
        trigfile::inspectScenarioData(std::get<std::vector<std::uint8_t>>(read));
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&inspection)) {
        return trigfile::Refusal{named(map, refusal->reason)};
    }
    return inspection;
}

AddOutcome addToArchive(const fs::path& map, const trigfile::TriggerSeries& series,
                        trigfile::WriteProgress* progress) {
    std::unique_ptr<trigfile::MapEdit> edit;
    try {
        edit = std::make_unique<trigfile::MapEdit>(map);
    } catch (const trigfile::WriteError& e) {
        return AddOutcome::refused(
            e.what()); // held open, read-only, not a file: nothing was written
    }
    return trigfile::failuresAsOutcome([&] {
        ScenarioRead read = readScenarioData(map);
        if (const auto* refusal = std::get_if<trigfile::Refusal>(&read)) {
            return AddOutcome::refused(named(map, refusal->reason));
        }
        const auto& data = std::get<std::vector<std::uint8_t>>(read);
        trigfile::ScenarioPlan plan = trigfile::planScenarioAddition(data, series);
        if (const auto* refusal = std::get_if<trigfile::Refusal>(&plan)) {
            return AddOutcome::refused(named(map, refusal->reason));
        }
        const auto& addition = std::get<trigfile::ScenarioAddition>(plan);

        edit->copyOriginal();
        edit->release();
        // StormLib opens the copy for writing only once it has, in a child
        // process that contains a crash or a runaway, opened the archive that
        // way itself and read the copy's scenario data, every stored piece
        // checked, as exactly what was read from the map.
        std::error_code ec;
        const std::uint64_t copySize = std::filesystem::file_size(edit->workingCopy(), ec);
        const ScenarioRead probe = runContained(ContainedJob::ReadForWriting, edit->workingCopy(),
                                                copySize, base::displayName(map));
        if (const auto* refusal = std::get_if<trigfile::Refusal>(&probe)) {
            return AddOutcome::refused(named(map, refusal->reason));
        }
        if (std::get<std::vector<std::uint8_t>>(probe) != data) {
            return AddOutcome::refused("The scenario data of " + base::displayName(map) +
                                       " did not read the same twice; it may be damaged, or "
                                       "another program changed it meanwhile.");
        }
        const Replaced replaced =
            replaceScenario(edit->workingCopy(), addition.newSize, [&](trigfile::ByteSink& out) {
                return addition.write(out, series, progress);
            });
        if (replaced == Replaced::Cancelled) {
            return AddOutcome::cancelled();
        }
        // What the map will hold, read back the way the program reads maps,
        // within the reader's own limits, and compared byte for byte with
        // what was stored, before it takes the map's place.
        const std::uint64_t expected = addition.existing.triggers + series.recordCount;
        const ScenarioRead check = readScenarioData(edit->workingCopy());
        const auto* stored = std::get_if<std::vector<std::uint8_t>>(&check);
        if (!stored ||
            !std::holds_alternative<trigfile::TriggerRecords>(
                trigfile::readScenarioTriggers(*stored)) ||
            !addition.matches(*stored, series)) {
            throw trigfile::WriteError("Could not change " + base::displayName(map) +
                                       ": the rebuilt map did not read back as written. It was "
                                       "left as it was.");
        }
        const auto backup = edit->commit(progress ? &progress->cancelRequested : nullptr);
        if (!backup) {
            return AddOutcome::cancelled();
        }
        AddOutcome added = AddOutcome::added(expected, *backup);
        if (replaced == Replaced::NotCompacted) {
            added.note = "The map holds files whose names it does not list, so StormLib could "
                         "not compact it: it keeps its old scenario data as unused space.";
        }
        return added;
    });
}

} // namespace

Target targetOf(const fs::path& file) {
    const std::string ext = base::lowerAscii(file.extension().string());
    if (ext == ".trg") {
        return Target::TriggerFile;
    }
    if (ext == ".chk") {
        return Target::ScenarioFile;
    }
    if (ext == ".scm" || ext == ".scx") {
        return Target::MapArchive;
    }
    return Target::Unknown;
}

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
    return trigfile::Refusal{kUnknownKind};
}

AddOutcome addSeries(const fs::path& file, const trigfile::TriggerSeries& series,
                     trigfile::WriteProgress* progress) {
    switch (targetOf(file)) {
    case Target::TriggerFile:
        return trigfile::addToTriggerFile(file, series, progress);
    case Target::ScenarioFile:
        return trigfile::addToScenarioFile(file, series, progress);
    case Target::MapArchive:
        return addToArchive(file, series, progress);
    case Target::Unknown:
        break;
    }
    return AddOutcome::refused(kUnknownKind);
}

} // namespace maparchive
