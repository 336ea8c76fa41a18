#include "safefile/temporary_files.h"

#include <system_error>

#include <windows.h>

namespace fs = std::filesystem;

namespace safefile {

using Native = fs::path::string_type;

bool holdAsLiveWriter(int) {
    return true; // the file is open without sharing: nobody else can remove it
}

void removeLeftoverTemporaryFiles(const fs::path& folder, int) noexcept {
    try {
        std::error_code ec;
        const fs::path where = folder.empty() ? fs::path(L".") : folder;
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
            const Native name = it->path().filename().native();
            const std::size_t writer = writerNameLength(name);
            if (writer == 0) {
                continue;
            }
            // A live writer holds its temporary file open without sharing,
            // so it cannot be removed; what else belongs to it goes only
            // once it is gone or removed.
            const fs::path own = it->path().parent_path() / fs::path(name.substr(0, writer));
            if (writer == name.size() || ::DeleteFileW(own.c_str()) ||
                ::GetLastError() == ERROR_FILE_NOT_FOUND) {
                ::DeleteFileW(it->path().c_str());
            }
        }
    } catch (...) {
    }
}

} // namespace safefile
