#include "maparchive/open_triggers.h"

#include "base/display_name.h"
#include "maparchive/file_kind.h"
#include "maparchive/map_archive.h"
#include "safefile/bounded_read.h"
#include "trigfile/scenario_sections.h"

#include <string>

namespace maparchive {
namespace {

trigfile::TriggerFileRead triggersOfScenario(base::Outcome<std::vector<std::uint8_t>> data,
                                             const std::filesystem::path& path) {
    if (!data.ok()) {
        return std::move(data.problem());
    }
    auto read = trigfile::readScenarioTriggers(*data);
    if (!read.ok()) {
        read.problem().reason = base::displayName(path) + ": " + read.reason();
    }
    return read;
}

base::Problem notOurs(const std::filesystem::path& path) {
    return base::Problem::refused("Tallyforge opens trigger files (.trg), scenario data (.chk) and "
                                  "maps (.scm, .scx); " +
                                  base::displayName(path) + " is none of these.");
}

} // namespace

trigfile::TriggerFileRead readTriggersOf(const std::filesystem::path& path) {
    switch (targetOf(path)) {
    case Target::TriggerFile:
        return trigfile::readTriggerFile(path);
    case Target::ScenarioFile:
        return triggersOfScenario(safefile::readBoundedFile(path), path);
    case Target::MapArchive:
        return triggersOfScenario(readScenarioData(path), path);
    case Target::Unknown:
        break;
    }
    return notOurs(path);
}

base::Outcome<std::unique_ptr<trigfile::TriggerSource>>
triggerSourceOf(const std::filesystem::path& path) {
    switch (targetOf(path)) {
    case Target::TriggerFile:
        return trigfile::triggerFileSource(path);
    case Target::ScenarioFile:
        return trigfile::scenarioFileSource(path);
    case Target::MapArchive: {
        auto data = readScenarioData(path);
        if (!data.ok()) {
            return std::move(data.problem());
        }
        return trigfile::scenarioDataSource(std::move(*data), path);
    }
    case Target::Unknown:
        break;
    }
    return notOurs(path);
}

} // namespace maparchive
