#include "maparchive/open_triggers.h"

#include "base/display_name.h"
#include "maparchive/file_kind.h"
#include "maparchive/map_archive.h"

#include <string>

namespace maparchive {
namespace {

base::Problem notOurs(const std::filesystem::path& path) {
    return base::Problem::refused("Tallyforge opens trigger files (.trg), scenario data (.chk) and "
                                  "maps (.scm, .scx); " +
                                  base::displayName(path) + " is none of these.");
}

} // namespace

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
