#include "maparchive/scenario_replace.h"

#include "base/display_name.h"

#include <StormLib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

// StormLib's own decryption of stored data. The library exports it, but
// its header does not declare it.
void DecryptMpqBlock(void* pvDataBlock, DWORD dwLength, DWORD dwKey);

namespace fs = std::filesystem;

namespace maparchive {
namespace {

// The flags of the old entry that shape how the new data is stored; the
// rest (exists, deleted, patch) StormLib sets itself.
constexpr DWORD kStorageFlags = MPQ_FILE_IMPLODE | MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED |
                                MPQ_FILE_FIX_KEY | MPQ_FILE_SINGLE_UNIT | MPQ_FILE_SECTOR_CRC;

constexpr DWORD kForWriting = 0; // SFileOpenArchive's flags

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

[[noreturn]] void fail(const std::string& what) {
    const DWORD error = GetLastError();
    throw trigfile::WriteError(what + ": " + stormErrorText(error) + ".");
}

// A name in StormLib's character type: wide where it is built for Unicode.
template <typename Char> std::basic_string<Char> stormName(const fs::path& p) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        return p.wstring();
    } else {
        return p.string();
    }
}

class Archive {
  public:
    // flags: SFileOpenArchive's; 0 opens it for writing.
    Archive(const fs::path& path, DWORD flags) : path_(path) {
        if (!SFileOpenArchive(stormName<TCHAR>(path).c_str(), 0, flags, &handle_)) {
            handle_ = nullptr;
            fail("StormLib could not open the map " + base::displayName(path));
        }
    }
    ~Archive() {
        if (handle_) {
            SFileCloseArchive(handle_);
        }
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    HANDLE handle() const { return handle_; }
    // Writes StormLib's tables and closes; the archive is complete only then.
    void close() {
        HANDLE h = handle_;
        handle_ = nullptr;
        if (!SFileCloseArchive(h)) {
            fail("StormLib could not finish the map " + base::displayName(path_));
        }
    }

  private:
    fs::path path_;
    HANDLE handle_ = nullptr;
};

class ScenarioFile {
  public:
    explicit ScenarioFile(HANDLE archive) {
        if (!SFileOpenFileEx(archive, kScenarioName, SFILE_OPEN_FROM_MPQ, &handle_)) {
            handle_ = nullptr;
            fail("The map holds no scenario data (staredit\\scenario.chk)");
        }
    }
    ~ScenarioFile() { SFileCloseFile(handle_); }
    ScenarioFile(const ScenarioFile&) = delete;
    ScenarioFile& operator=(const ScenarioFile&) = delete;
    HANDLE handle() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

template <typename T> T fileInfo(HANDLE file, SFileInfoClass what) {
    T value{};
    if (!SFileGetFileInfo(file, what, &value, sizeof value, nullptr)) {
        fail("StormLib could not describe the map's scenario data");
    }
    return value;
}

// The first byte of a compressed sector names the compressions applied to
// it. StormLib reads that byte but does not hand it out, so it is read here
// from the stored data with the sector table and key StormLib has loaded.
// Sectors stored uncompressed (they did not shrink) carry no such byte.
DWORD sectorCompression(HANDLE handle) {
    auto* file = static_cast<TMPQFile*>(handle);
    const TFileEntry* entry = file->pFileEntry;
    if (!entry || !(entry->dwFlags & MPQ_FILE_COMPRESS) || !file->ha) {
        return kEditorCompression;
    }
    auto compressionAt = [&](ULONGLONG offset, DWORD stored, DWORD plain,
                             DWORD key) -> std::optional<DWORD> {
        if (stored >= plain || stored < 4) {
            return std::nullopt;
        }
        std::uint8_t head[4];
        ULONGLONG at = file->RawFilePos + offset;
        if (!FileStream_Read(file->ha->pStream, &at, head, sizeof head)) {
            return std::nullopt;
        }
        if (entry->dwFlags & MPQ_FILE_ENCRYPTED) {
            DecryptMpqBlock(head, sizeof head, key);
        }
        return losslessOr(head[0]);
    };
    if (entry->dwFlags & MPQ_FILE_SINGLE_UNIT) {
        return compressionAt(0, entry->dwCmpSize, entry->dwFileSize, file->dwFileKey)
            .value_or(kEditorCompression);
    }
    if (!file->SectorOffsets || file->dwSectorSize == 0) {
        return kEditorCompression;
    }
    for (DWORD i = 0; i < file->dwSectorCount; ++i) {
        const DWORD start = file->SectorOffsets[i];
        const DWORD end = file->SectorOffsets[i + 1];
        const DWORD plain =
            std::min<DWORD>(file->dwSectorSize, entry->dwFileSize - i * file->dwSectorSize);
        if (end < start) {
            break;
        }
        if (auto found = compressionAt(start, end - start, plain, file->dwFileKey + i)) {
            return *found;
        }
    }
    return kEditorCompression;
}

StoredAs storedAs(HANDLE archive) {
    ScenarioFile file(archive);
    StoredAs stored;
    stored.flags = fileInfo<DWORD>(file.handle(), SFileInfoFlags) & kStorageFlags;
    stored.locale = fileInfo<LCID>(file.handle(), SFileInfoLocale);
    // Reading a byte makes StormLib load the sector table and the key.
    std::uint8_t first = 0;
    DWORD got = 0;
    if (!SFileReadFile(file.handle(), &first, 1, &got, nullptr) || got != 1) {
        fail("StormLib could not read the map's scenario data");
    }
    stored.compression = sectorCompression(file.handle());
    return stored;
}

// Hands the bytes to StormLib, which compresses each sector as it fills.
class StormSink : public trigfile::ByteSink {
  public:
    StormSink(HANDLE file, DWORD compression) : file_(file), compression_(compression) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 24));
            if (!SFileWriteFile(file_, data, n, compression_)) {
                fail("StormLib could not store the new scenario data");
            }
            data += n;
            size -= n;
        }
    }

  private:
    HANDLE file_;
    DWORD compression_;
};

// The stored bytes of a file, from its position in the archive, decrypted
// with the key of the piece they begin. Nothing when the archive is shorter.
std::optional<std::vector<std::uint8_t>> storedBytes(const TMPQFile* file, DWORD offset, DWORD size,
                                                     DWORD key) {
    std::vector<std::uint8_t> bytes(size);
    ULONGLONG at = file->RawFilePos + offset;
    if (size > 0 && !FileStream_Read(file->ha->pStream, &at, bytes.data(), size)) {
        return std::nullopt;
    }
    if (file->pFileEntry->dwFlags & MPQ_FILE_ENCRYPTED) {
        DecryptMpqBlock(bytes.data(), size, key);
    }
    return bytes;
}

// One stored piece unpacked by StormLib's own decompressors, compared with
// what the reader returned for it.
bool pieceMatches(const TMPQFile* file, std::vector<std::uint8_t> stored,
                  std::span<const std::uint8_t> expected) {
    if (stored.size() >= expected.size()) {
        // Pieces that did not shrink are stored as they are.
        return stored.size() == expected.size() &&
               std::equal(expected.begin(), expected.end(), stored.begin());
    }
    std::vector<std::uint8_t> out(expected.size());
    int outSize = static_cast<int>(out.size());
    const int inSize = static_cast<int>(stored.size());
    const int ok = (file->pFileEntry->dwFlags & MPQ_FILE_IMPLODE)
                       ? SCompExplode(out.data(), &outSize, stored.data(), inSize)
                       : SCompDecompress(out.data(), &outSize, stored.data(), inSize);
    return ok && outSize == static_cast<int>(expected.size()) &&
           std::equal(expected.begin(), expected.end(), out.begin());
}

} // namespace

std::optional<std::string> findDamage(const fs::path& path, std::span<const std::uint8_t> data) {
    Archive archive(path, openFlagsOfTheGame()); // as the reader saw it
    ScenarioFile scenario(archive.handle());
    std::uint8_t first = 0;
    DWORD got = 0;
    if (!data.empty() &&
        (!SFileReadFile(scenario.handle(), &first, 1, &got, nullptr) || got != 1)) {
        return "StormLib cannot read it again";
    }
    const auto* file = static_cast<const TMPQFile*>(scenario.handle());
    const TFileEntry* entry = file->pFileEntry;
    if (!entry || !file->ha || entry->dwFileSize != data.size()) {
        return "its size is not what was read";
    }
    if (!(entry->dwFlags & (MPQ_FILE_COMPRESS | MPQ_FILE_IMPLODE))) {
        return std::nullopt; // stored as it is: the reader checks every byte arrived
    }
    if (entry->dwFlags & MPQ_FILE_SINGLE_UNIT) {
        const auto stored = storedBytes(file, 0, entry->dwCmpSize, file->dwFileKey);
        if (!stored || !pieceMatches(file, *stored, data)) {
            return "it does not unpack to what it claims to hold";
        }
        return std::nullopt;
    }
    if (!file->SectorOffsets || file->dwSectorSize == 0) {
        return "StormLib did not load its table of pieces";
    }
    for (DWORD i = 0; i < file->dwSectorCount; ++i) {
        const std::size_t from = static_cast<std::size_t>(i) * file->dwSectorSize;
        if (from >= data.size()) {
            break;
        }
        const DWORD start = file->SectorOffsets[i];
        const DWORD end = file->SectorOffsets[i + 1];
        const std::size_t plain = std::min<std::size_t>(file->dwSectorSize, data.size() - from);
        const auto stored = end >= start
                                ? storedBytes(file, start, end - start, file->dwFileKey + i)
                                : std::nullopt;
        if (!stored || !pieceMatches(file, *stored, data.subspan(from, plain))) {
            return "piece " + std::to_string(i + 1) + " of " + std::to_string(file->dwSectorCount) +
                   " does not unpack to its " + std::to_string(plain) + " bytes";
        }
    }
    return std::nullopt;
}

std::string stormErrorText(std::uint32_t error) {
    switch (error) {
    case ERROR_AVI_FILE:
    case ERROR_BAD_FORMAT:
        return "it is not an archive StormLib can read";
    case ERROR_FILE_CORRUPT:
        return "the archive is damaged";
    case ERROR_UNKNOWN_FILE_KEY:
        return "the key of a stored file cannot be found";
    case ERROR_CHECKSUM_ERROR:
        return "a stored file does not match its checksum";
    case ERROR_UNKNOWN_FILE_NAMES:
        return "the names of some stored files are unknown, so the archive cannot be rebuilt";
    case ERROR_FILE_INCOMPLETE:
        return "part of a stored file is missing";
    case ERROR_CAN_NOT_COMPLETE:
        return "StormLib could not complete the operation";
    default:
        break;
    }
    return std::system_category().message(static_cast<int>(error));
}

void probeForWriting(const fs::path& path) {
    Archive archive(path, kForWriting);
    storedAs(archive.handle());
}

StoredAs scenarioStorage(const fs::path& path) {
    Archive archive(path, MPQ_OPEN_READ_ONLY);
    return storedAs(archive.handle());
}

Replaced replaceScenario(const fs::path& path, std::uint64_t size,
                         const std::function<bool(trigfile::ByteSink&)>& write) {
    if (size > 0xFFFFFFFFu) {
        throw trigfile::WriteError("The new scenario data would be larger than a map can hold.");
    }
    Archive archive(path, kForWriting);
    ULONGLONG fileTime = 0;
    StoredAs stored;
    {
        ScenarioFile old(archive.handle());
        fileTime = fileInfo<ULONGLONG>(old.handle(), SFileInfoFileTime);
    }
    stored = storedAs(archive.handle());

    HANDLE file = nullptr;
    if (!SFileCreateFile(archive.handle(), kScenarioName, fileTime, static_cast<DWORD>(size),
                         static_cast<LCID>(stored.locale), stored.flags | MPQ_FILE_REPLACEEXISTING,
                         &file)) {
        fail("StormLib could not make room for the new scenario data");
    }
    bool complete = false;
    try {
        StormSink sink(file, stored.compression);
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
        fail("StormLib could not finish the new scenario data");
    }
    // The old data is still in the archive, unused; rebuilding drops it.
    // StormLib builds the new archive beside the old one and leaves the old
    // one as it was when it cannot.
    Replaced result = Replaced::Compacted;
    if (!SFileCompactArchive(archive.handle(), nullptr, false)) {
        if (GetLastError() != ERROR_UNKNOWN_FILE_NAMES) {
            fail("StormLib could not compact the map");
        }
        result = Replaced::NotCompacted;
    }
    archive.close();
    return result;
}

} // namespace maparchive
