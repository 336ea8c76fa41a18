#pragma once

#include "maparchive/map_archive.h" // kScenarioName
#include "safefile/byte_sink.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace maparchive {

// How the archive stores its scenario data, so that the new data is stored
// the same way: the game reads only what its own editor writes.
struct StoredAs {
    std::uint32_t flags = 0;       // MPQ_FILE_* bits that shape the stored data
    std::uint32_t compression = 0; // MPQ_COMPRESSION_* mask of compressed sectors
    std::uint32_t locale = 0;
};

enum class Replaced {
    Compacted,    // the old data is gone from the archive
    NotCompacted, // the archive keeps the old data as unused space (see below)
    Cancelled,    // write() stopped: the archive must be thrown away
};

// Replaces the scenario data inside the archive at path (a working copy: it
// is changed in place) with size bytes that write() produces front to back,
// stored like the old data, then compacts the archive so the old data leaves
// no unused space. Rebuilding needs the name of every stored file; maps
// saved by the game's own editor keep no list of names, so one with sound
// files is left uncompacted, still whole. write() returns false to cancel.
// Throws safefile::WriteError with StormLib's reason.
Replaced replaceScenario(const std::filesystem::path& archive, std::uint64_t size,
                         const std::function<bool(safefile::ByteSink&)>& write);

// How the archive at path stores its scenario data. Throws
// safefile::WriteError with StormLib's reason.
StoredAs scenarioStorage(const std::filesystem::path& archive);

// StormLib's reader does not check that each stored piece of a damaged map
// unpacks to its full size, and hands back what it holds for the rest. So
// before a map is changed, every piece of its scenario data is unpacked
// again here and compared with `data`, what the reader gave. Returns why
// they differ, or nothing when the data is whole.
std::optional<std::string> findDamage(const std::filesystem::path& archive,
                                      std::span<const std::uint8_t> data);
// The same for data of `size` bytes that is not held whole: plainOf(from,
// n) gives the n bytes the reader gave from byte `from` on, asked for front
// to back, one stored piece at a time. Some may not be asked for (all when
// the data is stored as it is).
using PlainBytes = std::function<std::span<const std::uint8_t>(std::size_t from, std::size_t n)>;
std::optional<std::string> findDamage(const std::filesystem::path& archive, std::uint64_t size,
                                      const PlainBytes& plainOf);

// Opens the archive for writing and looks at its scenario data the way
// replaceScenario does, then closes it unchanged. Throws safefile::WriteError.
void probeForWriting(const std::filesystem::path& archive);

} // namespace maparchive
