#include "maparchive/scenario_replace.h"

#include "base/display_name.h"
#include "maparchive/storm_archive.h"

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace fs = std::filesystem;

namespace maparchive {
namespace {

// The flags of the old entry that shape how the new data is stored; the
// rest (exists, deleted, patch) StormLib sets itself.
constexpr DWORD kStorageFlags = MPQ_FILE_IMPLODE | MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED |
                                MPQ_FILE_FIX_KEY | MPQ_FILE_SINGLE_UNIT | MPQ_FILE_SECTOR_CRC;

// The compression the game's own editor uses, for data whose stored sectors
// carry no compression byte to copy.
constexpr DWORD kEditorCompression = MPQ_COMPRESSION_PKWARE;

// The methods that give back every byte. The sound methods (ADPCM) lose
// some, so scenario data stored with them is stored again with the editor's.
constexpr DWORD kLosslessMethods = MPQ_COMPRESSION_HUFFMANN | MPQ_COMPRESSION_ZLIB |
                                   MPQ_COMPRESSION_PKWARE | MPQ_COMPRESSION_BZIP2 |
                                   MPQ_COMPRESSION_SPARSE;

DWORD losslessOr(DWORD mask) {
    if (mask == MPQ_COMPRESSION_LZMA || (mask != 0 && (mask & ~kLosslessMethods) == 0)) {
        return mask;
    }
    return kEditorCompression;
}

// The first byte of a compressed piece names the compressions applied to
// it. StormLib reads that byte but does not hand it out, so it is read here
// from the stored pieces. Pieces stored as they are (they did not shrink)
// carry no such byte; where no piece tells, the game editor's is used.
DWORD sectorCompression(const StoredPieces& stored) {
    if (!(stored.flags & MPQ_FILE_COMPRESS)) {
        return kEditorCompression;
    }
    for (std::size_t i = 0; i < stored.count(); ++i) {
        const auto piece = stored.piece(i);
        if (piece && piece->size() >= 4 && piece->size() < stored.plainSizeOf(i)) {
            return losslessOr((*piece)[0]);
        }
    }
    return kEditorCompression;
}

StoredAs storedAs(const StormArchive& archive) {
    StormFile file(archive);
    StoredAs stored;
    stored.flags = file.info<DWORD>(SFileInfoFlags) & kStorageFlags;
    stored.locale = file.info<LCID>(SFileInfoLocale);
    const auto pieces = StoredPieces::of(archive, file);
    stored.compression = pieces ? sectorCompression(*pieces) : kEditorCompression;
    return stored;
}

// Hands the bytes to StormLib, which compresses each sector as it fills.
class StormSink : public safefile::ByteSink {
  public:
    StormSink(const StormArchive& archive, HANDLE file, DWORD compression)
        : archive_(archive), file_(file), compression_(compression) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 24));
            if (!SFileWriteFile(file_, data, n, compression_)) {
                archive_.fail("StormLib could not store the new scenario data");
            }
            data += n;
            size -= n;
        }
    }

  private:
    const StormArchive& archive_;
    HANDLE file_;
    DWORD compression_;
};

// One stored piece unpacked by StormLib's own decompressors, compared with
// what the reader returned for it.
bool pieceMatches(DWORD flags, std::vector<std::uint8_t> stored,
                  std::span<const std::uint8_t> expected) {
    if (stored.size() >= expected.size()) {
        // Pieces that did not shrink are stored as they are.
        return stored.size() == expected.size() &&
               std::equal(expected.begin(), expected.end(), stored.begin());
    }
    std::vector<std::uint8_t> out(expected.size());
    int outSize = static_cast<int>(out.size());
    const int inSize = static_cast<int>(stored.size());
    const int ok = (flags & MPQ_FILE_IMPLODE)
                       ? SCompExplode(out.data(), &outSize, stored.data(), inSize)
                       : SCompDecompress(out.data(), &outSize, stored.data(), inSize);
    return ok && outSize == static_cast<int>(expected.size()) &&
           std::equal(expected.begin(), expected.end(), out.begin());
}

} // namespace

std::optional<std::string> findDamage(const fs::path& path, std::uint64_t size,
                                      const PlainBytes& plainOf) {
    const StormArchive archive(path, Access::Read, base::displayName(path)); // as the reader saw it
    const StormFile scenario(archive);
    const auto stored = StoredPieces::of(archive, scenario);
    constexpr char kOtherSize[] = "its size is not what was read";
    if (!stored || stored->plainSize != size) {
        return kOtherSize;
    }
    if (!(stored->flags & (MPQ_FILE_COMPRESS | MPQ_FILE_IMPLODE))) {
        return std::nullopt; // stored as it is: the reader checks every byte arrived
    }
    const std::size_t count = stored->count();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t from = std::uint64_t{i} * stored->sectorSize;
        if (from >= size) {
            break;
        }
        const std::size_t plain = stored->plainSizeOf(i);
        auto piece = stored->piece(i);
        if (!piece) {
            return kOtherSize;
        }
        if (!pieceMatches(stored->flags, std::move(*piece),
                          plainOf(static_cast<std::size_t>(from), plain))) {
            if (count == 1) {
                return "it does not unpack to what it claims to hold";
            }
            return "piece " + std::to_string(i + 1) + " of " + std::to_string(count) +
                   " does not unpack to its " + std::to_string(plain) + " bytes";
        }
    }
    return std::nullopt;
}

std::optional<std::string> findDamage(const fs::path& path, std::span<const std::uint8_t> data) {
    return findDamage(path, data.size(),
                      [&](std::size_t from, std::size_t size) { return data.subspan(from, size); });
}

void probeForWriting(const fs::path& path) {
    const StormArchive archive(path, Access::Write, base::displayName(path));
    storedAs(archive);
}

StoredAs scenarioStorage(const fs::path& path) {
    const StormArchive archive(path, Access::Read, base::displayName(path));
    return storedAs(archive);
}

Replaced replaceScenario(const fs::path& path, std::uint64_t size,
                         const std::function<bool(safefile::ByteSink&)>& write) {
    if (size > 0xFFFFFFFFu) {
        throw safefile::WriteError("The new scenario data would be larger than a map can hold.");
    }
    StormArchive archive(path, Access::Write, base::displayName(path));
    ULONGLONG fileTime = 0;
    {
        const StormFile old(archive);
        fileTime = old.info<ULONGLONG>(SFileInfoFileTime);
    }
    const StoredAs stored = storedAs(archive);

    HANDLE file = nullptr;
    if (!SFileCreateFile(archive.handle(), kScenarioName, fileTime, static_cast<DWORD>(size),
                         static_cast<LCID>(stored.locale), stored.flags | MPQ_FILE_REPLACEEXISTING,
                         &file)) {
        archive.fail("StormLib could not make room for the new scenario data");
    }
    bool complete = false;
    try {
        StormSink sink(archive, file, stored.compression);
        complete = write(sink);
    } catch (...) {
        SFileFinishFile(file); // frees the handle; the archive is thrown away
        throw;
    }
    if (!complete) {
        SFileFinishFile(file);
        return Replaced::Cancelled;
    }
    if (!SFileFinishFile(file)) {
        archive.fail("StormLib could not finish the new scenario data");
    }
    // The old data is still in the archive, unused; rebuilding drops it.
    // StormLib builds the new archive beside the old one and leaves the old
    // one as it was when it cannot.
    Replaced result = Replaced::Compacted;
    if (!SFileCompactArchive(archive.handle(), nullptr, false)) {
        if (GetLastError() != ERROR_UNKNOWN_FILE_NAMES) {
            archive.fail("StormLib could not compact the map");
        }
        result = Replaced::NotCompacted;
    }
    archive.close();
    return result;
}

} // namespace maparchive
