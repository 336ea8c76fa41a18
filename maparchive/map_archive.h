#pragma once

#include "refusal.h"

#include <cstdint>
#include <filesystem>
#include <variant>
#include <vector>

namespace maparchive {

// Where a StarCraft map (.scm, .scx) keeps its scenario data inside the
// archive.
inline constexpr const char* kScenarioName = "staredit\\scenario.chk";

using ScenarioRead = std::variant<std::vector<std::uint8_t>, trigfile::Refusal>;

// The map's scenario data, read through StormLib with the archive opened
// read-only. A map StormLib cannot open, one without scenario data, or one
// whose scenario data is larger than trigfile::kMaxReadBytes is refused with
// the reason StormLib gives.
ScenarioRead readScenarioData(const std::filesystem::path& map);

} // namespace maparchive
