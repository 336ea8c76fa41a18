#include "safefile/map_edit.h"

#include "base/display_name.h"
#include "safefile/map_edit_reasons.h"
#include "safefile/regular_file.h"
#include "safefile/system_calls.h"
#include "safefile/temporary_files.h"

#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace safefile {
namespace {

// Backups beyond this many mean something is wrong; we stop looking.
constexpr int kMostBackups = 9999;

// The links of a map's name followed; the name itself when they cannot be.
fs::path mapFile(const fs::path& map) {
    try {
        return followLinks(map);
    } catch (const WriteError&) {
        return map;
    }
}

} // namespace

fs::path backupName(const fs::path& map, int number) {
    fs::path::string_type name = map.stem().native();
    for (char c : std::string(".before-tallyforge")) {
        name += static_cast<fs::path::value_type>(c);
    }
    if (number > 1) {
        // Appended rather than "-" + ...: optimised GCC 12 builds warn falsely about that.
        std::string suffix(1, '-');
        suffix += std::to_string(number);
        for (char c : suffix) {
            name += static_cast<fs::path::value_type>(c);
        }
    }
    name += map.extension().native();
    return map.parent_path() / fs::path(name);
}

fs::path nextBackupName(const fs::path& map) {
    const fs::path real = mapFile(map);
    for (int number = 1; number < kMostBackups; ++number) {
        std::error_code ec;
        const fs::path backup = backupName(real, number);
        if (!fs::exists(fs::symlink_status(backup, ec))) {
            return backup;
        }
    }
    return backupName(real, kMostBackups);
}

MapEdit::MapEdit(fs::path map) : map_(std::move(map)) {
    real_ = followLinks(map_);
    std::error_code ec;
    const fs::file_status st = fs::status(real_, ec);
    if (ec || !fs::exists(st)) {
        refuseEdit(map_, "there is no such file");
    }
    if (fs::is_directory(st)) {
        refuseEdit(map_, "that name does not belong to a file");
    }
    if (const auto notAFile = notARegularFile(st.type())) {
        refuseEdit(map_, *notAFile);
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        refuseEdit(map_, "the file is read-only");
    }
    // Found now rather than when the backup is made, after all the work.
    const fs::path backup = nextBackupName(real_);
    if (sys::nameTooLong(backup)) {
        refuseEdit(map_, "its name leaves no room for the name of the backup kept beside it (" +
                             base::displayName(backup.filename()) +
                             "). Please give the map a shorter name");
    }
    holdMap();
    try {
        copy_.emplace(map_, 0, AtomicFile::Work::ByAnotherLibrary);
    } catch (...) {
        unlock();
        throw;
    }
}

MapEdit::~MapEdit() {
    copy_.reset(); // removes an unfinished copy
    unlock();
}

fs::path MapEdit::keepBackup() const {
    for (int number = 1; number <= kMostBackups; ++number) {
        const fs::path backup = backupName(real_, number);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(backup, ec))) {
            continue;
        }
        // A second name for the original costs nothing and cannot be half
        // written; where the disk has no such names (FAT sticks), a copy.
        // Neither ever replaces an existing file. real_ is the file itself,
        // never a link, whose second name would show the new map.
        fs::create_hard_link(real_, backup, ec);
        if (!ec) {
            return backup;
        }
        if (ec == std::errc::file_exists) {
            continue;
        }
        if (copyForBackup(backup)) {
            return backup;
        }
    }
    failEdit(map_, "there are too many backups beside it already");
}

// The copy is made under a name of the edit's own, so that an edit killed
// meanwhile leaves nothing the next save does not tidy away; flushed like
// the new map, so that the backup is on the disk before the map it keeps is
// replaced; and only then given the backup's name, never over a file that
// has it. False when the name was taken meanwhile; throws WriteError with
// the system's reason.
bool MapEdit::copyForBackup(const fs::path& backup) const {
    const fs::path part = backupCopyNameFor(copy_->temporaryPath());
    bool taken = false;
    const std::string failure = copyUnderName(part, backup, taken);
    if (failure.empty()) {
        return true;
    }
    std::error_code ignored;
    fs::remove(part, ignored);
    if (taken) {
        return false;
    }
    failEdit(map_, "no backup could be kept beside it (" + failure + ")");
}

std::optional<fs::path> MapEdit::commit(const std::atomic<bool>* cancelled) {
    std::optional<fs::path> backup;
    try {
        const bool done = copy_->commit(cancelled, [&] {
            if (identityOf(real_) != before_) {
                failEdit(map_, "another program changed it while it was being edited. It was left "
                               "as that program saved it");
            }
            backup = keepBackup();
            // Windows replaces only a file that no one holds open, this
            // program included.
            if (sys::kOpenFileBlocksRemoval) {
                unlock();
            }
        });
        unlock();
        if (!done) {
            return std::nullopt;
        }
        return backup;
    } catch (...) {
        // The map is still the original: a backup made just now is not needed.
        if (backup) {
            std::error_code ignored;
            fs::remove(*backup, ignored);
        }
        unlock();
        throw;
    }
}

} // namespace safefile
