#pragma once

#include "atomic_file.h"
#include "byte_sink.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace trigfile {

// The name of the backup kept when a map is changed: the map's name with
// ".before-tallyforge" before its extension, so the backup still opens in
// the map editors ("Castle.scx" -> "Castle.before-tallyforge.scx"). An
// older backup is never replaced: the next free name gets a number
// ("Castle.before-tallyforge-2.scx", "-3", ...).
std::filesystem::path backupName(const std::filesystem::path& map, int number);
// The backup name an edit of the map would use now: the first one free.
std::filesystem::path nextBackupName(const std::filesystem::path& map);

// An edit of a map, or of any file an author cannot afford to lose, that
// never puts it at risk:
//  - the map must be a file that can be replaced and that no other program
//    holds open for writing (on Windows, a sharing violation; on Linux, a
//    lock that another program holds on it); otherwise the constructor
//    throws WriteError with the reason, before anything is written;
//  - the new map is written as a copy beside the map (copy(), or
//    copyOriginal() and an edit by another library through release());
//  - commit() flushes the copy, checks that no other program changed the map
//    meanwhile, keeps the original under backupName(), and only then puts
//    the copy in the map's place in one step.
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
    const std::filesystem::path& workingCopy() const { return copy_->temporaryPath(); }
    // Closes the copy, so that another library may open and change it.
    void release() { copy_->release(); }

    // Returns the name of the backup, or nothing when cancelled was set (the
    // map is then as it was). Throws WriteError.
    std::optional<std::filesystem::path> commit(const std::atomic<bool>* cancelled = nullptr);

  private:
    struct Identity {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified{};
        bool operator==(const Identity&) const = default;
    };
    static Identity identityOf(const std::filesystem::path& map);
    std::filesystem::path keepBackup() const;
    void unlock() noexcept;

    std::filesystem::path map_;
    Identity before_;
    // The map held open while it is edited: on Windows, so that no other
    // program can start writing to it; on Linux, to hold its lock.
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::optional<AtomicFile> copy_; // made once the map is known to be editable
};

} // namespace trigfile
