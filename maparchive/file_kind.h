#pragma once

#include <filesystem>

namespace maparchive {

// The kinds of file Tallyforge reads and adds to, told by the name's
// extension in any case: the one place that decides it.
enum class Target { TriggerFile, ScenarioFile, MapArchive, Unknown };
Target targetOf(const std::filesystem::path& file);

} // namespace maparchive
