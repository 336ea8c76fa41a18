#pragma once

#include "safefile/atomic_file.h"
#include "safefile/byte_sink.h"
#include "safefile/file_identity.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace safefile {

// The name of the backup kept when a map is changed: the map's name with
// ".before-tallyforge" before its extension, so the backup still opens in
// the map editors ("Castle.scx" -> "Castle.before-tallyforge.scx"). An
// older backup is never replaced: the next free name gets a number
// ("Castle.before-tallyforge-2.scx", "-3", ...).
std::filesystem::path backupName(const std::filesystem::path& map, int number);
// The backup an edit of the map would keep now: the first name free, beside
// the file the map's name leads to when it is a symbolic link.
std::filesystem::path nextBackupName(const std::filesystem::path& map);

// An edit of a map, or of any file an author cannot afford to lose, that
// never puts it at risk:
//  - the map must be a regular file that can be replaced, that no other
//    program holds open for writing (on Windows, a sharing violation; on
//    Linux, a lock that another program holds on it) and whose name leaves
//    room for its backup's; otherwise the constructor throws WriteError
//    with the reason, before anything is written;
//  - a map reached through a symbolic link is the file the link leads to:
//    the link stays, and the copy and the backup are made beside that file;
//  - the new map is written as a copy beside the map (copy(), or
//    copyOriginal() and an edit by another library through release());
//  - commit() flushes the copy, checks that no other program changed the map
//    meanwhile (see file_identity.h), keeps the original under backupName()
//    as a file of its own, and only then puts the copy in the map's place in
//    one step, with the map's permissions and group.
// Without commit() (a failure, a cancel) the copy is removed and the map
// is exactly as it was.
class MapEdit {
  public:
    explicit MapEdit(std::filesystem::path map);
    ~MapEdit();
    MapEdit(const MapEdit&) = delete;
    MapEdit& operator=(const MapEdit&) = delete;

    ByteSink& copy() { return *copy_; }
    // Writes the map's bytes, as they are, into the copy.
    void copyOriginal();
    const std::filesystem::path& workingCopy() const { return copy_->workingPath(); }
    // Closes the copy, so that another library may open and change it, even
    // replace it with a file of its own making (see AtomicFile::Work).
    void release() { copy_->release(); }

    // Returns the name of the backup, or nothing when cancelled was set (the
    // map is then as it was). Throws WriteError.
    std::optional<std::filesystem::path> commit(const std::atomic<bool>* cancelled = nullptr);

  private:
    void holdMap();
    std::filesystem::path keepBackup() const;
    bool copyForBackup(const std::filesystem::path& backup) const;
    std::string copyUnderName(const std::filesystem::path& part,
                              const std::filesystem::path& backup, bool& taken) const;
    void unlock() noexcept;

    std::filesystem::path map_;  // as the user named it, for messages
    std::filesystem::path real_; // map_ with its links followed
    FileIdentity before_;        // of the map held open
    // The map held open while it is edited: on Windows, so that no other
    // program can start writing to it; on Linux, to hold its lock.
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::optional<AtomicFile> copy_; // made once the map is known to be editable
};

} // namespace safefile
