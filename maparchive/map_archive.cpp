#include "maparchive/map_archive.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "maparchive/contained_read.h"
#include "maparchive/scenario_replace.h" // findDamage
#include "trigfile/bounded_read.h"
#include "trigfile/trigger_record.h" // getU32

#include <StormLib.h>

#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>

namespace maparchive {
namespace {

// StormLib's last error in words. Its own codes have no system text; the
// others are errno values on POSIX and Windows error codes on Windows.
std::string stormReason(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return "file not found";
    case ERROR_BAD_FORMAT:
        return "not an archive StormLib can read";
    case ERROR_FILE_CORRUPT:
        return "the archive is damaged";
    case ERROR_HANDLE_EOF:
        return "the archive ends early";
    case ERROR_AVI_FILE:
        return "a video file, not a map";
    case ERROR_UNKNOWN_FILE_KEY:
        return "an encrypted file whose key StormLib cannot find";
    case ERROR_CHECKSUM_ERROR:
        return "a checksum does not match";
    case ERROR_FILE_INCOMPLETE:
        return "part of the file is missing";
    default:
        break;
    }
#ifdef _WIN32
    return std::system_category().message(static_cast<int>(error));
#else
    return std::generic_category().message(static_cast<int>(error));
#endif
}

base::Problem refusal(const std::string& what, DWORD error) {
    return base::Problem::refused(what + ": " + stormReason(error) + " (StormLib error " +
                                  std::to_string(error) + ").");
}

// Closes a StormLib handle on every way out.
template <bool (*Close)(HANDLE)> class Handle {
  public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_ != nullptr) {
            Close(h_);
        }
    }
    HANDLE* out() { return &h_; }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_ = nullptr;
};

// The path in StormLib's character type: wide where it is built for Unicode.
template <typename Char> std::basic_string<Char> nativeName(const std::filesystem::path& p) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        return p.wstring();
    } else {
        return p.string();
    }
}

bool closeArchive(HANDLE h) {
    return SFileCloseArchive(h);
}
bool closeFile(HANDLE h) {
    return SFileCloseFile(h);
}

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

// What StormLib reads, in whichever process runs it; the map has passed the
// checks above.
ScenarioRead readWithStormLib(const std::filesystem::path& map, const std::string& name,
                              std::uint64_t mapSize) {
    Handle<closeArchive> archive;
    if (!SFileOpenArchive(nativeName<TCHAR>(map).c_str(), 0, openFlagsOfTheGame(), archive.out())) {
        return refusal("StormLib could not open the map " + name, GetLastError());
    }
    Handle<closeFile> file;
    if (!SFileOpenFileEx(archive.get(), kScenarioName, SFILE_OPEN_FROM_MPQ, file.out())) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return base::Problem::refused("The map " + name +
                                          " holds no scenario data (staredit\\scenario.chk).");
        }
        return refusal("StormLib could not open the scenario data of " + name, error);
    }
    DWORD high = 0;
    const DWORD low = SFileGetFileSize(file.get(), &high);
    if (low == SFILE_INVALID_SIZE) {
        return refusal("StormLib could not tell the size of the scenario data of " + name,
                       GetLastError());
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(high) << 32) | low;
    if (size > trigfile::kMaxReadBytes) {
        return base::Problem::refused("The scenario data of " + name + " is " +
                                      base::withThousands(size) + " bytes, more than the " +
                                      base::sizeText(trigfile::kMaxReadBytes) +
                                      " Tallyforge reads.");
    }
    // StormLib sets aside a buffer of the stored size before it reads; a stored
    // size beyond the whole map is a lie of a damaged or hostile archive.
    DWORD stored = 0;
    if (!SFileGetFileInfo(file.get(), SFileInfoCompressedSize, &stored, sizeof stored, nullptr)) {
        return refusal("StormLib could not tell the stored size of the scenario data of " + name,
                       GetLastError());
    }
    if (stored > mapSize) {
        return base::Problem::refused("The scenario data of " + name + " claims " +
                                      base::withThousands(stored) + " bytes in a map of " +
                                      base::withThousands(mapSize) +
                                      "; Tallyforge does not read damaged or protected maps.");
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    DWORD read = 0;
    if (!data.empty() &&
        !SFileReadFile(file.get(), data.data(), static_cast<DWORD>(size), &read, nullptr)) {
        return refusal("StormLib could not read the scenario data of " + name, GetLastError());
    }
    if (read != size) {
        return refusal("StormLib read only part of the scenario data of " + name, ERROR_HANDLE_EOF);
    }
    return data;
}

} // namespace

std::uint32_t openFlagsOfTheGame() {
    // StarCraft reads version 1 archives only; its maps need neither the
    // list of names nor the attributes file.
    return MPQ_OPEN_READ_ONLY | MPQ_OPEN_FORCE_MPQ_V1 | MPQ_OPEN_NO_LISTFILE |
           MPQ_OPEN_NO_ATTRIBUTES;
}

ScenarioRead readScenarioUncontained(const std::filesystem::path& map, const std::string& name,
                                     std::uint64_t mapSize) {
    ScenarioRead read = readWithStormLib(map, name, mapSize);
    if (read.ok()) {
        if (const auto damage = findDamage(map, *read)) {
            return base::Problem::refused("The scenario data of " + name +
                                          " is damaged: " + *damage + ".");
        }
    }
    return read;
}

ScenarioRead readScenarioData(const std::filesystem::path& map) {
    // The checks run here, so that the child has nothing to do but StormLib.
    const std::string name = base::displayName(map);
    std::uint64_t mapSize = 0;
    {
        auto file = trigfile::readBoundedFile(map, kMaxMapBytes);
        if (!file.ok()) {
            return std::move(file.problem());
        }
        const std::vector<std::uint8_t>& bytes = *file;
        if (auto refusal = checkArchiveHeaders(bytes, name)) {
            return *refusal;
        }
        mapSize = bytes.size();
    }
    return runContained(ContainedJob::ReadScenario, map, mapSize, name);
}

} // namespace maparchive
