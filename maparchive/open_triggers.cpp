#include "maparchive/open_triggers.h"

#include "base/ascii.h"
#include "base/display_name.h"
#include "maparchive/map_archive.h"
#include "trigfile/bounded_read.h"
#include "trigfile/scenario_sections.h"

#include <string>

namespace maparchive {
namespace {

std::string lowerExtension(const std::filesystem::path& path) {
    return base::lowerAscii(path.extension().string());
}

trigfile::TriggerFileRead
triggersOfScenario(std::variant<std::vector<std::uint8_t>, trigfile::Refusal> data,
                   const std::filesystem::path& path) {
    if (auto* refusal = std::get_if<trigfile::Refusal>(&data)) {
        return std::move(*refusal);
    }
    auto read = trigfile::readScenarioTriggers(std::get<std::vector<std::uint8_t>>(data));
    if (auto* refusal = std::get_if<trigfile::Refusal>(&read)) {
        refusal->reason = base::displayName(path) + ": " + refusal->reason;
    }
    return read;
}

} // namespace

trigfile::TriggerFileRead readTriggersOf(const std::filesystem::path& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".trg") {
        return trigfile::readTriggerFile(path);
    }
    if (ext == ".chk") {
        return triggersOfScenario(trigfile::readBoundedFile(path), path);
    }
    if (ext == ".scm" || ext == ".scx") {
        return triggersOfScenario(readScenarioData(path), path);
    }
    return trigfile::Refusal{"Tallyforge opens trigger files (.trg), scenario data (.chk) and "
                             "maps (.scm, .scx); " +
                             base::displayName(path) + " is none of these."};
}

} // namespace maparchive
