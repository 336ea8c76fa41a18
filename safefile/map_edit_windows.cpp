#include "safefile/map_edit.h"

#include "safefile/file_identity.h"
#include "safefile/map_edit_reasons.h"
#include "safefile/system_calls.h"

#include <string>
#include <system_error>
#include <vector>

#include <windows.h>

namespace fs = std::filesystem;

namespace safefile {

void MapEdit::holdMap() {
    // Sharing reads only: a program that has the map open for writing makes
    // this fail, and while we hold it none can start writing. Sharing delete
    // lets our own finished copy take its place.
    HANDLE h = CreateFileW(real_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            refuseEdit(map_, kHeldOpen);
        }
        refuseEdit(map_, sys::systemErrorText(static_cast<int>(error)));
    }
    handle_ = h;
    const auto identity = identityOfOpenFile(handle_);
    const int error = identity ? 0 : static_cast<int>(GetLastError());
    if (!identity) {
        unlock();
        refuseEdit(map_, sys::systemErrorText(error));
    }
    before_ = *identity;
}

void MapEdit::unlock() noexcept {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

// From the map held open: the file whose identity commit() checks.
void MapEdit::copyOriginal() {
    std::vector<std::uint8_t> buffer(1u << 20);
    const auto h = static_cast<HANDLE>(handle_);
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
        failEdit(map_, "it could not be read (" +
                           sys::systemErrorText(static_cast<int>(GetLastError())) + ")");
    }
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            failEdit(map_, "it could not be read (" +
                               sys::systemErrorText(static_cast<int>(GetLastError())) + ")");
        }
        if (n == 0) {
            return;
        }
        copy_->write(buffer.data(), n);
    }
}

// Copies the map held open to `part`, flushes it, and gives it the name
// `backup` unless a file has that name. Returns the system's reason for a
// failure, or nothing; taken says the name was taken meanwhile.
std::string MapEdit::copyUnderName(const fs::path& part, const fs::path& backup,
                                   bool& taken) const {
    std::string failure;
    if (!CopyFileW(real_.c_str(), part.c_str(), TRUE)) {
        failure = sys::systemErrorText(static_cast<int>(GetLastError()));
    } else {
        try {
            flushFile(part);
        } catch (const WriteError& e) {
            failure = e.what();
        }
    }
    if (failure.empty() && !MoveFileExW(part.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
        failure = sys::systemErrorText(static_cast<int>(error));
    }
    return failure;
}

} // namespace safefile
