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
// listing and the add read maps this way, and the add's check of its result
// (hashScenarioData) reads them so a part at a time.
// Read for Access::Write, a map whose archive header StormLib would not read
// as the game does is refused as well (see checkWritableHeader).
ScenarioRead readScenarioData(const std::filesystem::path& map, Access access = Access::Read);

// What readScenarioData checks before StormLib sees the map: the map's
// file size once it has passed. The add runs these checks on the map, then
// reads a working copy of it (see add_to_map.cpp).
base::Outcome<std::uint64_t> checkedMapSize(const std::filesystem::path& map, Access access);

// The size of scenario data and its hash (trigfile/content_hash.h).
struct ScenarioDigest {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const ScenarioDigest&) const = default;
};
using DigestRead = base::Outcome<ScenarioDigest>;

// The map's scenario data read as readScenarioData reads it, with the same
// checks and refusals, and its sections checked as readScenarioTriggers
// checks them, but a part at a time and never held whole in either
// process: only its size and hash come back. For a map just written, whose
// data can be far larger than the map.
DigestRead hashScenarioData(const std::filesystem::path& map);

// What the contained child runs for readScenarioData: StormLib's read and
// the damage check, in whichever process runs it. The map has passed
// readScenarioData's own checks; mapSize is its size.
ScenarioRead readScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                     std::uint64_t mapSize);
// And for hashScenarioData: StormLib's read a megabyte at a time, each part
// hashed and its section headers kept, the damage check piece by piece.
DigestRead hashScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                   std::uint64_t mapSize);

} // namespace maparchive
