#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

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
namespace safefile {

// ".<up to 72 units of the target's name>.<8 hex digits>.tallyforge.tmp",
// beside the target. The target's name is shortened, never inside a
// character, so that the temporary name fits wherever the target's does.
std::filesystem::path temporaryNameFor(const std::filesystem::path& target, std::uint32_t salt);

// The working copy handed to another library, beside the temporary file.
std::filesystem::path workingCopyNameFor(const std::filesystem::path& temporary);
// A copy of the original made for a backup where the disk has no hard
// links, until it is complete and takes the backup's name.
std::filesystem::path backupCopyNameFor(const std::filesystem::path& temporary);

// True for the names temporaryNameFor, workingCopyNameFor and
// backupCopyNameFor make, the name StormLib gives its rebuild of a working
// copy or of a temporary file, and only those.
bool isTemporaryName(const std::filesystem::path& name);

// The length of the temporary file's name that a file's name belongs to
// (its own length for the temporary file itself), or 0 when it is none of
// this program's.
std::size_t writerNameLength(const std::filesystem::path::string_type& name);

// Every name that belongs to the writer of this temporary file, the
// temporary file itself last.
std::vector<std::filesystem::path> namesOfWriter(const std::filesystem::path& temporary);

// POSIX: marks fd, a temporary file just created, as a live writer's.
// False if that failed (another process got hold of it first).
bool holdAsLiveWriter(int fd);

// Removes this program's temporary files in folder that no live writer
// holds and that belong to this user: a temporary file that nobody holds,
// and the working copies and rebuilds of one that is gone or that nobody
// holds. folderFd is folder held open, or -1.
// Problems are ignored: this only tidies up.
void removeLeftoverTemporaryFiles(const std::filesystem::path& folder, int folderFd) noexcept;

} // namespace safefile
