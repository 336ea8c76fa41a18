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

// The largest map file read. StarCraft's own maps stay far below it; the
// archive library's tables can take a few times the file's size in memory.
inline constexpr std::uint64_t kMaxMapBytes = 64ULL * 1024 * 1024;

using ScenarioRead = std::variant<std::vector<std::uint8_t>, trigfile::Refusal>;

// The map's scenario data, read through StormLib with the archive opened
// read-only. A map StormLib cannot open or one without scenario data is
// refused with the reason StormLib gives; a map over kMaxMapBytes, one whose
// archive header claims tables larger than the file, or scenario data over
// trigfile::kMaxReadBytes is refused before StormLib reads it.
ScenarioRead readScenarioData(const std::filesystem::path& map);

} // namespace maparchive
