#pragma once

#include "base/outcome.h"
#include "maparchive/map_archive.h" // Access, kScenarioName

#include <StormLib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
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
// reports them, and its stored pieces (one, or one per sector), each read
// from the map's bytes when asked for and decrypted, not yet unpacked, so
// that a large file is never held whole.
class StoredPieces {
  public:
    // Nothing when the map's bytes end before the file's table of pieces or
    // its last piece, or the table is out of order.
    static std::optional<StoredPieces> of(const StormArchive& archive, const StormFile& file);

    std::uint32_t flags = 0;
    std::uint32_t plainSize = 0;  // the file's size unpacked
    std::uint32_t sectorSize = 0; // the unpacked size of each piece but the last
    std::size_t count() const { return ends_.size() - 1; }
    // The unpacked size of piece i.
    std::uint32_t plainSizeOf(std::size_t i) const;
    // Piece i, or nothing when the map's bytes end before it does.
    std::optional<std::vector<std::uint8_t>> piece(std::size_t i) const;

  private:
    bool inMap() const; // whether the map's bytes reach the end of the last piece

    std::filesystem::path path_;
    mutable std::ifstream in_;        // the map, open while the pieces are read
    std::uint64_t start_ = 0;         // where the file's data starts in the map
    std::uint32_t key_ = 0;           // of the first piece; each next one is one more
    std::vector<std::uint32_t> ends_; // where each piece starts, then where the last ends
};

} // namespace maparchive
