#pragma once

#include "byte_sink.h"
#include "map_archive.h" // kScenarioName

#include <cstdint>
#include <filesystem>
#include <functional>

namespace maparchive {

// How the archive stores its scenario data, so that the new data is stored
// the same way: the game reads only what its own editor writes.
struct StoredAs {
    std::uint32_t flags = 0;       // MPQ_FILE_* bits that shape the stored data
    std::uint32_t compression = 0; // MPQ_COMPRESSION_* mask of compressed sectors
    std::uint32_t locale = 0;
};

// Replaces the scenario data inside the archive at path (a working copy: it
// is changed in place) with size bytes that write() produces front to back,
// stored like the old data, then compacts the archive so the old data leaves
// no unused space. write() returns false to cancel; replaceScenario then
// returns false and the archive must be thrown away. Throws
// trigfile::WriteError with StormLib's reason.
bool replaceScenario(const std::filesystem::path& archive, std::uint64_t size,
                     const std::function<bool(trigfile::ByteSink&)>& write);

// How the archive at path stores its scenario data. Throws
// trigfile::WriteError with StormLib's reason.
StoredAs scenarioStorage(const std::filesystem::path& archive);

// StormLib's error code in words.
std::string stormErrorText(std::uint32_t error);

} // namespace maparchive
