#pragma once

#include <cstdint>
#include <filesystem>

// The writer's temporary files: their names, the mark of a live writer, and
// the removal of those that killed writers left behind.
//
// A write that is killed outright (SIGKILL, a crash, a power cut) cannot
// remove its temporary file, which for a big series is gigabytes hidden
// behind a leading dot. So every save removes this program's temporary
// files from the folder it saves into, except those a live writer holds:
// on POSIX a writer holds an flock() on its file from creating it until it
// is renamed or removed, and the lock goes with the writer's process. On
// Windows a live writer's file is open without delete sharing, so it cannot
// be removed while the writer lives. Either way two running copies of the
// program never remove each other's work.
namespace trigfile {

// ".<up to 72 units of the target's name>.<8 hex digits>.tallyforge.tmp",
// beside the target. The target's name is shortened, never inside a
// character, so that the temporary name fits wherever the target's does.
std::filesystem::path temporaryNameFor(const std::filesystem::path& target, std::uint32_t salt);

// True for the names temporaryNameFor makes, and only those.
bool isTemporaryName(const std::filesystem::path& name);

// POSIX: marks fd, a temporary file just created, as a live writer's.
// False if that failed (another process got hold of it first).
bool holdAsLiveWriter(int fd);

// Removes this program's temporary files in folder that no live writer
// holds and that belong to this user. folderFd is folder held open, or -1.
// Problems are ignored: this only tidies up.
void removeLeftoverTemporaryFiles(const std::filesystem::path& folder, int folderFd) noexcept;

} // namespace trigfile
