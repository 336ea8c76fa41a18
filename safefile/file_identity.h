#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// Noticing that another program changed a file while Tallyforge was adding
// to it. Size and modification time alone miss a save that keeps the size
// and puts the old time back (some editors and sync tools do). So a file's
// state also holds which file it is (a save that renames a new file over
// the old one makes another) and its change time, which the system sets on
// every change, the putting back of a modification time included, and which
// no program can set.
namespace safefile {

struct FileIdentity {
    std::uint64_t device = 0; // the volume (its serial number on Windows)
    std::uint64_t file = 0;   // the inode (the file index on Windows)
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds (100-nanosecond units on Windows)
    std::int64_t changed = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The file a name leads to, links followed; nothing when it cannot be looked at.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

#ifdef _WIN32
// A file held open (a HANDLE).
std::optional<FileIdentity> identityOfOpenFile(void* handle);
#else
// A file held open.
std::optional<FileIdentity> identityOfOpenFile(int fd);
#endif

} // namespace safefile
