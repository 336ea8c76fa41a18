#include "maparchive/map_archive.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "maparchive/contained_read.h"
#include "maparchive/scenario_replace.h" // findDamage
#include "maparchive/storm_archive.h"
#include "safefile/bounded_read.h"
#include "trigfile/content_hash.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/trigger_record.h" // getU32

#include <algorithm>
#include <cerrno>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>

namespace maparchive {
namespace {

// StormLib trusts the sizes an archive's header claims: a few hundred
// hostile bytes can make it set aside gigabytes for its tables, and a sector
// size of zero makes it divide by zero. So before StormLib sees a map, every
// header it could take (the signature "MPQ\x1A" at a multiple of 512 bytes)
// must claim no more hash or block table entries, 16 bytes each, than the
// whole file could hold, and sectors of at most kLargestSectorShift. Maps
// protected by such tricks are refused rather than half-read.
std::optional<base::Problem> checkArchiveHeaders(const std::vector<std::uint8_t>& file,
                                                 const std::string& name) {
    constexpr std::size_t kHeaderSize = 32; // of the version 1 header StarCraft reads
    constexpr std::size_t kSectorShift = 0x0E;
    constexpr std::size_t kHashTableSize = 0x18;
    constexpr std::size_t kBlockTableSize = 0x1C;
    // Sectors are 512 << shift bytes; StarCraft's maps use 4,096 (shift 3).
    constexpr std::uint16_t kLargestSectorShift = 15;
    const std::uint64_t mostEntries = file.size() / 16;
    for (std::size_t at = 0; at + 4 <= file.size(); at += 512) {
        if (trigfile::getU32(file.data() + at) != ID_MPQ) {
            continue;
        }
        const std::uint8_t* header = file.data() + at;
        if (file.size() - at < kHeaderSize ||
            trigfile::getU16(header + kSectorShift) > kLargestSectorShift ||
            trigfile::getU32(header + kHashTableSize) > mostEntries ||
            trigfile::getU32(header + kBlockTableSize) > mostEntries) {
            return base::Problem::refused("The map " + name + " has an archive header at byte " +
                                          base::withThousands(at) +
                                          " that claims more than the file holds; Tallyforge does "
                                          "not read damaged or protected maps.");
        }
    }
    return std::nullopt;
}

// StarCraft reads every archive header as version 1. StormLib can only
// write an archive it opens as the version its header says, so a header
// that says a later version than its size holds (a trick of map protectors)
// is read by StormLib otherwise than by the game: such a map is listed as
// the game reads it, but not changed.
std::optional<base::Problem> checkWritableHeader(const std::vector<std::uint8_t>& file,
                                                 const std::string& name) {
    constexpr std::size_t kHeaderSizeField = 0x04;
    constexpr std::size_t kVersionField = 0x0C;
    // The header's size in each format version, from version 1.
    constexpr std::uint32_t kSizeOfVersion[] = {32, 44, 68, 208};
    for (std::size_t at = 0; at + 32 <= file.size(); at += 512) {
        if (trigfile::getU32(file.data() + at) != ID_MPQ) {
            continue;
        }
        const std::uint32_t size = trigfile::getU32(file.data() + at + kHeaderSizeField);
        const std::uint16_t version = trigfile::getU16(file.data() + at + kVersionField);
        if (version == 0 ||
            (version < std::size(kSizeOfVersion) && size >= kSizeOfVersion[version])) {
            return std::nullopt;
        }
        return base::Problem::refused(
            "The map " + name + " has an archive header at byte " + base::withThousands(at) +
            " that says format version " + std::to_string(version + 1) + " in " +
            base::withThousands(size) +
            " bytes. StarCraft reads it as version 1, StormLib would change it as version " +
            std::to_string(version + 1) + ", so Tallyforge does not add to it.");
    }
    return std::nullopt;
}

// The size of the map's scenario data StormLib has opened, or why it is not
// read: the reader's limit, and a stored size beyond the whole map.
base::Outcome<std::uint64_t> scenarioSize(const StormArchive& archive, const StormFile& file,
                                          const std::string& name, std::uint64_t mapSize) {
    DWORD high = 0;
    const DWORD low = SFileGetFileSize(file.handle(), &high);
    if (low == SFILE_INVALID_SIZE) {
        archive.fail("StormLib could not tell the size of the scenario data of " + name);
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(high) << 32) | low;
    if (size > safefile::kMaxReadBytes) {
        return base::Problem::refused("The scenario data of " + name + " is " +
                                      base::withThousands(size) + " bytes, more than the " +
                                      base::sizeText(safefile::kMaxReadBytes) +
                                      " Tallyforge reads.");
    }
    // StormLib sets aside a buffer of the stored size before it reads; a stored
    // size beyond the whole map is a lie of a damaged or hostile archive.
    DWORD stored = 0;
    if (!SFileGetFileInfo(file.handle(), SFileInfoCompressedSize, &stored, sizeof stored,
                          nullptr)) {
        archive.fail("StormLib could not tell the stored size of the scenario data of " + name);
    }
    if (stored > mapSize) {
        return base::Problem::refused("The scenario data of " + name + " claims " +
                                      base::withThousands(stored) + " bytes in a map of " +
                                      base::withThousands(mapSize) +
                                      "; Tallyforge does not read damaged or protected maps.");
    }
    return size;
}

// A stored piece that does not unpack to what StormLib read.
base::Problem damaged(const std::string& name, const std::string& damage) {
    return base::Problem::refused("The scenario data of " + name + " is damaged: " + damage + ".");
}

base::Problem readOnlyPart(const std::string& name) {
    return stormProblem("StormLib read only part of the scenario data of " + name, ERROR_HANDLE_EOF,
                        base::Problem::Kind::Refused);
}

// What StormLib reads, in whichever process runs it; the map has passed the
// checks above.
ScenarioRead readWithStormLib(const std::filesystem::path& map, const std::string& name,
                              std::uint64_t mapSize) {
    const StormArchive archive(map, Access::Read, name);
    const StormFile file(archive);
    const auto size = scenarioSize(archive, file, name, mapSize);
    if (!size.ok()) {
        return size.problem();
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(*size));
    DWORD read = 0;
    if (!data.empty() &&
        !SFileReadFile(file.handle(), data.data(), static_cast<DWORD>(*size), &read, nullptr)) {
        archive.fail("StormLib could not read the scenario data of " + name);
    }
    if (read != *size) {
        return readOnlyPart(name);
    }
    return data;
}

// The scenario data read through StormLib a part at a time, front to back,
// each part hashed and its section headers kept as it arrives; a part is
// kept only until the damage check has compared it.
class PartReader {
  public:
    PartReader(const StormArchive& archive, const StormFile& file, std::uint64_t size)
        : archive_(archive), file_(file), size_(size) {}

    // The n bytes from byte `from` on; asked for front to back.
    std::span<const std::uint8_t> at(std::size_t from, std::size_t n) {
        if (from < bufferFrom_ || from + std::uint64_t{n} > size_) {
            throw std::logic_error("the scenario data was asked for out of order");
        }
        const std::uint64_t held = bufferFrom_ + buffer_.size();
        if (from + std::uint64_t{n} > held) {
            const std::size_t drop =
                static_cast<std::size_t>(std::min<std::uint64_t>(from, held) - bufferFrom_);
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
            bufferFrom_ += drop;
            readMore(static_cast<std::size_t>(std::max<std::uint64_t>(
                std::min<std::uint64_t>(kPart, size_ - read_), from + n - held)));
        }
        return {buffer_.data() + (from - bufferFrom_), n};
    }
    // Reads what the damage check did not ask for.
    void readToEnd() {
        while (read_ < size_) {
            bufferFrom_ += buffer_.size();
            buffer_.clear();
            readMore(static_cast<std::size_t>(std::min<std::uint64_t>(kPart, size_ - read_)));
        }
    }
    const trigfile::ContentHash& hash() const { return hash_; }
    const trigfile::SectionHeaderCollector& sections() const { return sections_; }

  private:
    static constexpr std::uint64_t kPart = 1024 * 1024;

    void readMore(std::size_t n) {
        const std::size_t old = buffer_.size();
        buffer_.resize(old + n);
        DWORD got = 0;
        if (n > 0 && !SFileReadFile(file_.handle(), buffer_.data() + old, static_cast<DWORD>(n),
                                    &got, nullptr)) {
            archive_.fail("StormLib could not read the scenario data of " + archive_.name());
        }
        if (got != n) {
            throw safefile::WriteError(readOnlyPart(archive_.name()).reason,
                                       base::Problem::Kind::Refused);
        }
        const std::span<const std::uint8_t> part(buffer_.data() + old, n);
        hash_.add(part);
        sections_.add(part);
        read_ += n;
    }

    const StormArchive& archive_;
    const StormFile& file_;
    std::uint64_t size_;
    std::uint64_t read_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferFrom_ = 0; // where buffer_ starts in the data
    trigfile::ContentHash hash_;
    trigfile::SectionHeaderCollector sections_;
};

} // namespace

ScenarioRead readScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                     std::uint64_t mapSize) {
    ScenarioRead read = readWithStormLib(map, name, mapSize);
    if (read.ok()) {
        if (const auto damage = findDamage(map, *read)) {
            return damaged(name, *damage);
        }
    }
    return read;
}

DigestRead hashScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                   std::uint64_t mapSize) {
    const StormArchive archive(map, Access::Read, name);
    const StormFile file(archive);
    const auto size = scenarioSize(archive, file, name, mapSize);
    if (!size.ok()) {
        return size.problem();
    }
    PartReader reader(archive, file, *size);
    if (const auto damage = findDamage(
            map, *size, [&](std::size_t from, std::size_t n) { return reader.at(from, n); })) {
        return damaged(name, *damage);
    }
    reader.readToEnd();
    // All that readScenarioTriggers refuses is in the sections' layout.
    const trigfile::ScenarioSectionsRead sections = reader.sections().sections();
    if (!sections.ok()) {
        return sections.problem();
    }
    return ScenarioDigest{reader.hash().size(), reader.hash().value()};
}

base::Outcome<std::uint64_t> checkedMapSize(const std::filesystem::path& map, Access access) {
    const std::string name = base::displayName(map);
    auto file = safefile::readBoundedFile(map, kMaxMapBytes);
    if (!file.ok()) {
        return std::move(file.problem());
    }
    const std::vector<std::uint8_t>& bytes = *file;
    if (auto refusal = checkArchiveHeaders(bytes, name)) {
        return *refusal;
    }
    if (access == Access::Write) {
        if (auto refusal = checkWritableHeader(bytes, name)) {
            return *refusal;
        }
    }
    return std::uint64_t{bytes.size()};
}

DigestRead hashScenarioData(const std::filesystem::path& map) {
    const auto mapSize = checkedMapSize(map, Access::Read);
    if (!mapSize.ok()) {
        return mapSize.problem();
    }
    return runContainedHash(map, *mapSize, base::displayName(map));
}

ScenarioRead readScenarioData(const std::filesystem::path& map, Access access) {
    // The checks run here, so that the child has nothing to do but StormLib.
    const auto mapSize = checkedMapSize(map, access);
    if (!mapSize.ok()) {
        return mapSize.problem();
    }
    return runContained(ContainedJob::ReadScenario, map, *mapSize, base::displayName(map));
}

} // namespace maparchive
