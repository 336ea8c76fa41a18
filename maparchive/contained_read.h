#pragma once

#include "maparchive/map_archive.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace maparchive {

// What StormLib does with a map before Tallyforge trusts it, each in a child
// process where the system can contain it: StormLib has crashed, overrun
// its buffers and asked for gigabytes on archives made to trip it, and a
// map is untrusted input.
enum class ContainedJob : std::uint8_t {
    // The scenario data, read as the game reads it and checked for damage
    // (readScenarioUncontained).
    ReadScenario = 1,
    // The map opened for writing as an add opens it (probeForWriting), then
    // read as above.
    ReadForWriting = 2,
    // The scenario data's size and hash, read and checked a part at a time
    // (hashScenarioUncontained); see runContainedHash.
    HashScenario = 3,
};

// What the child may take: processor time, memory beyond what this process
// holds, and time on the clock, for a child that waits instead of working.
struct ChildLimits {
    std::chrono::seconds processorTime{30};
    std::chrono::seconds wallClock{60};
    std::uint64_t extraMemory = 1ULL << 30;
};

// Runs job on the map in a child process: a fork of this one on POSIX, this
// program started again on Windows (where whatever program links this
// library answers as the child before its main() runs). Whatever the child
// does, the caller gets its result or the problem naming what went wrong,
// never a crash of its own, and StormLib's own words about it never reach
// the terminal. mapSize is the map file's size, for StormLib's checks.
ScenarioRead runContained(ContainedJob job, const std::filesystem::path& map, std::uint64_t mapSize,
                          const std::string& mapName, const ChildLimits& limits = {});

// runContained of ContainedJob::HashScenario, whose answer is the digest.
DigestRead runContainedHash(const std::filesystem::path& map, std::uint64_t mapSize,
                            const std::string& mapName, const ChildLimits& limits = {});

} // namespace maparchive
