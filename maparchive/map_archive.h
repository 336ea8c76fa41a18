#pragma once

#include "base/outcome.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace maparchive {

// Where a StarCraft map (.scm, .scx) keeps its scenario data inside the
// archive.
inline constexpr const char* kScenarioName = "staredit\\scenario.chk";

// The largest map file read. StarCraft's own maps stay far below it; the
// archive library's tables can take a few times the file's size in memory.
inline constexpr std::uint64_t kMaxMapBytes = 64ULL * 1024 * 1024;

// What a map is opened for.
enum class Access {
    Read,  // as StarCraft reads it
    Write, // to replace its scenario data
};

// The scenario data, or why it cannot be read.
using ScenarioRead = base::Outcome<std::vector<std::uint8_t>>;

// The map's scenario data, read through StormLib with the archive opened
// read-only, as the game reads it, in a contained child process (see
// contained_read.h). A map StormLib cannot open or one without scenario data
// is refused with the reason StormLib gives; a map that is not a regular
// file or is over kMaxMapBytes, one whose archive header claims tables
// larger than the file, or scenario data over safefile::kMaxReadBytes is
// refused before StormLib reads it. Every stored piece of the scenario data
// is then unpacked again and compared with what was read (findDamage): the
// listing, the add and its check of the result all read maps this way.
// Read for Access::Write, a map whose archive header StormLib would not read
// as the game does is refused as well (see checkWritableHeader).
ScenarioRead readScenarioData(const std::filesystem::path& map, Access access = Access::Read);

// What the contained child runs for readScenarioData: StormLib's read and
// the damage check, in whichever process runs it. The map has passed
// readScenarioData's own checks; mapSize is its size.
ScenarioRead readScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                     std::uint64_t mapSize);

} // namespace maparchive
