#include "safefile/file_identity.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace safefile {

namespace {

std::int64_t ticks(const LARGE_INTEGER& t) {
    return t.QuadPart;
}

} // namespace

std::optional<FileIdentity> identityOfOpenFile(void* handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!GetFileInformationByHandle(static_cast<HANDLE>(handle), &info) ||
        !GetFileInformationByHandleEx(static_cast<HANDLE>(handle), FileBasicInfo, &times,
                                      sizeof times)) {
        return std::nullopt;
    }
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id.modified = ticks(times.LastWriteTime);
    id.changed = ticks(times.ChangeTime);
    return id;
}

std::optional<FileIdentity> identityOf(const fs::path& path) {
    // Reading attributes needs no share with whoever holds the file.
    const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    auto id = identityOfOpenFile(h);
    CloseHandle(h);
    return id;
}

} // namespace safefile
