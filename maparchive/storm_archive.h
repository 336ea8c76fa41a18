#pragma once

#include "base/outcome.h"
#include "maparchive/map_archive.h" // Access, kScenarioName

#include <StormLib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace maparchive {

// Tallyforge's one way into StormLib: archives and their files opened,
// described and closed through the functions StormLib.h declares, and
// StormLib's errors in words. Nothing else includes StormLib.h for maps.

// StormLib's error code in words.
std::string stormReason(std::uint32_t error);

// What StormLib said, as a problem: "what: reason (StormLib error N)."
base::Problem stormProblem(const std::string& what, std::uint32_t error, base::Problem::Kind kind);

class StormArchive {
  public:
    // Throws safefile::WriteError with StormLib's reason: a refusal when the
    // map is opened to be read, a failure when it is opened to be written.
    // `name` is the map as messages show it.
    StormArchive(const std::filesystem::path& path, Access access, std::string name);
    ~StormArchive();
    StormArchive(const StormArchive&) = delete;
    StormArchive& operator=(const StormArchive&) = delete;

    HANDLE handle() const { return handle_; }
    const std::filesystem::path& path() const { return path_; }
    const std::string& name() const { return name_; }
    // How a problem with this archive counts (see the constructor).
    base::Problem::Kind problemKind() const;
    [[noreturn]] void fail(const std::string& what) const;
    // Writes StormLib's tables and closes; a written archive is complete
    // only then.
    void close();

  private:
    std::filesystem::path path_;
    std::string name_;
    Access access_;
    HANDLE handle_ = nullptr;
};

// A file inside an open archive; the scenario data unless named otherwise.
class StormFile {
  public:
    explicit StormFile(const StormArchive& archive, const char* name = nullptr);
    ~StormFile();
    StormFile(const StormFile&) = delete;
    StormFile& operator=(const StormFile&) = delete;

    HANDLE handle() const { return handle_; }
    template <typename T> T info(SFileInfoClass what) const {
        T value{};
        if (!SFileGetFileInfo(handle_, what, &value, sizeof value, nullptr)) {
            archive_.fail("StormLib could not describe the scenario data of " + archive_.name());
        }
        return value;
    }

  private:
    const StormArchive& archive_;
    HANDLE handle_ = nullptr;
};

// A file's data as it lies in the archive: its flags and sizes as StormLib
// reports them, and its stored pieces (one, or one per sector) read from
// the map's bytes and decrypted, not yet unpacked.
struct StoredPieces {
    std::uint32_t flags = 0;
    std::uint32_t plainSize = 0;  // the file's size unpacked
    std::uint32_t sectorSize = 0; // the unpacked size of each piece but the last
    std::vector<std::vector<std::uint8_t>> pieces;
};

// The stored pieces of a file StormLib has opened. Nothing when the map's
// bytes end before them or its table of pieces is out of order.
std::optional<StoredPieces> storedPieces(const StormArchive& archive, const StormFile& file);

} // namespace maparchive
