#include "maparchive/file_kind.h"

#include "base/ascii.h"

#include <string>

namespace maparchive {

Target targetOf(const std::filesystem::path& file) {
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

} // namespace maparchive
