#include "maparchive/storm_archive.h"

#include "safefile/write_error.h"
#include "trigfile/trigger_record.h" // getU32

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>
#include <type_traits>

namespace fs = std::filesystem;

namespace maparchive {
namespace {

// The flags of the one way a map is opened. StarCraft reads every archive
// as version 1 and needs neither the list of names nor the attributes file;
// StormLib opens an archive read-only whenever it is told so, so a working
// copy is opened without them and its header is checked beforehand to be
// one StormLib reads as the game does (see readScenarioData).
DWORD openFlags(Access access) {
    return access == Access::Read ? MPQ_OPEN_READ_ONLY | MPQ_OPEN_FORCE_MPQ_V1 |
                                        MPQ_OPEN_NO_LISTFILE | MPQ_OPEN_NO_ATTRIBUTES
                                  : 0;
}

// A name in StormLib's character type: wide where it is built for Unicode.
template <typename Char> std::basic_string<Char> stormName(const fs::path& p) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        return p.wstring();
    } else {
        return p.string();
    }
}

// MPQ's stored-data cipher, as the archive format defines it. StormLib
// decrypts what it reads but declares no function for data read otherwise.
const std::array<std::uint32_t, 0x500>& cryptTable() {
    static const std::array<std::uint32_t, 0x500> table = [] {
        std::array<std::uint32_t, 0x500> t{};
        std::uint32_t seed = 0x00100001;
        for (std::uint32_t i = 0; i < 0x100; ++i) {
            for (std::uint32_t j = i, k = 0; k < 5; ++k, j += 0x100) {
                seed = (seed * 125 + 3) % 0x2AAAAB;
                const std::uint32_t high = (seed & 0xFFFF) << 16;
                seed = (seed * 125 + 3) % 0x2AAAAB;
                t[j] = high | (seed & 0xFFFF);
            }
        }
        return t;
    }();
    return table;
}

// Decrypts the whole 4-byte words of bytes with key; a tail shorter than a
// word is stored as it is.
void decrypt(std::vector<std::uint8_t>& bytes, std::uint32_t key) {
    const auto& table = cryptTable();
    std::uint32_t seed = 0xEEEEEEEE;
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        seed += table[0x400 + (key & 0xFF)];
        const std::uint32_t plain = trigfile::getU32(bytes.data() + at) ^ (key + seed);
        key = ((~key << 0x15) + 0x11111111) | (key >> 0x0B);
        seed = plain + seed + (seed << 5) + 3;
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(plain >> (8 * i));
        }
    }
}

template <typename T> std::optional<T> archiveInfo(HANDLE archive, SFileInfoClass what) {
    T value{};
    if (!SFileGetFileInfo(archive, what, &value, sizeof value, nullptr)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string stormReason(std::uint32_t error) {
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
    case ERROR_UNKNOWN_FILE_NAMES:
        return "the names of some stored files are unknown, so the archive cannot be rebuilt";
    case ERROR_CAN_NOT_COMPLETE:
        return "StormLib could not complete the operation";
    default:
        break;
    }
    // StormLib's other codes are errno values on POSIX and Windows error
    // codes on Windows.
#ifdef _WIN32
    return std::system_category().message(static_cast<int>(error));
#else
    return std::generic_category().message(static_cast<int>(error));
#endif
}

base::Problem stormProblem(const std::string& what, std::uint32_t error, base::Problem::Kind kind) {
    return {kind,
            what + ": " + stormReason(error) + " (StormLib error " + std::to_string(error) + ")."};
}

StormArchive::StormArchive(const fs::path& path, Access access, std::string name)
    : path_(path), name_(std::move(name)), access_(access) {
    if (!SFileOpenArchive(stormName<TCHAR>(path).c_str(), 0, openFlags(access), &handle_)) {
        handle_ = nullptr;
        fail("StormLib could not open the map " + name_);
    }
}

StormArchive::~StormArchive() {
    if (handle_) {
        SFileCloseArchive(handle_);
    }
}

base::Problem::Kind StormArchive::problemKind() const {
    return access_ == Access::Read ? base::Problem::Kind::Refused : base::Problem::Kind::Failed;
}

void StormArchive::fail(const std::string& what) const {
    const base::Problem problem = stormProblem(what, GetLastError(), problemKind());
    throw safefile::WriteError(problem.reason, problem.kind);
}

void StormArchive::close() {
    HANDLE h = handle_;
    handle_ = nullptr;
    if (!SFileCloseArchive(h)) {
        fail("StormLib could not finish the map " + name_);
    }
}

StormFile::StormFile(const StormArchive& archive, const char* name) : archive_(archive) {
    if (!SFileOpenFileEx(archive.handle(), name ? name : kScenarioName, SFILE_OPEN_FROM_MPQ,
                         &handle_)) {
        handle_ = nullptr;
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            throw safefile::WriteError("The map " + archive.name() +
                                           " holds no scenario data (staredit\\scenario.chk).",
                                       archive.problemKind());
        }
        archive.fail("StormLib could not open the scenario data of " + archive.name());
    }
}

StormFile::~StormFile() {
    if (handle_) {
        SFileCloseFile(handle_);
    }
}

namespace {

// Bytes of the map at `at`, decrypted with key when the file is encrypted;
// nothing when the map ends before them.
std::optional<std::vector<std::uint8_t>> bytesAt(std::ifstream& in, std::uint64_t at,
                                                 std::size_t size, std::uint32_t flags,
                                                 std::uint32_t key) {
    std::vector<std::uint8_t> bytes(size);
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    if (size > 0 &&
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    if (flags & MPQ_FILE_ENCRYPTED) {
        decrypt(bytes, key);
    }
    return bytes;
}

} // namespace

std::optional<StoredPieces> StoredPieces::of(const StormArchive& archive, const StormFile& file) {
    // Reading a byte makes StormLib find the file's key.
    std::uint8_t first = 0;
    DWORD got = 0;
    StoredPieces stored;
    stored.plainSize = file.info<DWORD>(SFileInfoFileSize);
    if (stored.plainSize > 0 &&
        (!SFileReadFile(file.handle(), &first, 1, &got, nullptr) || got != 1)) {
        archive.fail("StormLib could not read the scenario data of " + archive.name());
    }
    stored.flags = file.info<DWORD>(SFileInfoFlags);
    const DWORD storedSize = file.info<DWORD>(SFileInfoCompressedSize);
    stored.key_ = file.info<DWORD>(SFileInfoEncryptionKey);
    const auto headerAt = archiveInfo<ULONGLONG>(archive.handle(), SFileMpqHeaderOffset);
    const auto sectorSize = archiveInfo<DWORD>(archive.handle(), SFileMpqSectorSize);
    if (!headerAt || !sectorSize || *sectorSize == 0) {
        archive.fail("StormLib could not describe the map " + archive.name());
    }
    stored.path_ = archive.path();
    stored.in_.open(stored.path_, std::ios::binary);
    stored.start_ = *headerAt + file.info<ULONGLONG>(SFileInfoByteOffset);

    const bool packed = (stored.flags & (MPQ_FILE_COMPRESS | MPQ_FILE_IMPLODE)) != 0;
    if (!packed || (stored.flags & MPQ_FILE_SINGLE_UNIT)) {
        stored.sectorSize = stored.plainSize;
        stored.ends_ = {0, packed ? storedSize : stored.plainSize};
        return stored.inMap() ? std::optional(std::move(stored)) : std::nullopt;
    }
    // A packed file of several sectors begins with the table of where each
    // stored sector starts and the last ends, encrypted with the key before
    // the first sector's.
    stored.sectorSize = *sectorSize;
    const std::uint64_t count = (std::uint64_t{stored.plainSize} + *sectorSize - 1) / *sectorSize;
    const auto table = bytesAt(stored.in_, stored.start_, static_cast<std::size_t>((count + 1) * 4),
                               stored.flags, stored.key_ - 1);
    if (!table) {
        return std::nullopt;
    }
    stored.ends_.resize(static_cast<std::size_t>(count + 1));
    for (std::size_t i = 0; i <= count; ++i) {
        stored.ends_[i] = trigfile::getU32(table->data() + i * 4);
        if (i > 0 && (stored.ends_[i] < stored.ends_[i - 1] || stored.ends_[i] > storedSize)) {
            return std::nullopt;
        }
    }
    return stored.inMap() ? std::optional(std::move(stored)) : std::nullopt;
}

bool StoredPieces::inMap() const {
    std::error_code ec;
    const std::uint64_t mapSize = fs::file_size(path_, ec);
    return !ec && start_ + ends_.back() <= mapSize;
}

std::uint32_t StoredPieces::plainSizeOf(std::size_t i) const {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(sectorSize, plainSize - std::uint64_t{i} * sectorSize));
}

std::optional<std::vector<std::uint8_t>> StoredPieces::piece(std::size_t i) const {
    return bytesAt(in_, start_ + ends_[i], ends_[i + 1] - ends_[i], flags,
                   key_ + static_cast<std::uint32_t>(i));
}

} // namespace maparchive
