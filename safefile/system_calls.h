#pragma once

// The system's own file calls beneath the safe files, one set for POSIX
// (system_calls_posix.cpp) and one for Windows (system_calls_windows.cpp),
// so that what a safe file does reads the same on both. Inside the library
// only. Descriptors are C runtime file descriptors on both systems; calls
// that fail return -1 (or false) with errno set, as the C library's do.

#include "safefile/atomic_file.h"
#include "safefile/write_error.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace safefile::sys {

// The C library's text for an errno value.
inline std::string errnoText(int error) {
    return std::generic_category().message(error);
}

// Stops a write: "what: why."
[[noreturn]] inline void fail(const std::string& what, const std::string& why) {
    throw WriteError(what + ": " + why + ".");
}

// The system's text for its last error (GetLastError on Windows, errno elsewhere).
std::string lastSystemError();
// The system's text for an error number of its own kind (GetLastError's
// numbers on Windows, errno's elsewhere).
std::string systemErrorText(int error);

// Whether a file this program holds open can be neither removed nor
// replaced until it is closed (Windows).
extern const bool kOpenFileBlocksRemoval;

// A name that can only mean a folder ("maps/", "maps/.", "..").
inline bool namesAFolder(const std::filesystem::path& p) {
    const std::filesystem::path name = p.filename();
    return name.empty() || name == "." || name == "..";
}

// The folder held open so that files are made and removed in it wherever it
// is moved meanwhile; -1 where the system needs no such hold.
int openFolder(const std::filesystem::path& folder);
void closeFolder(int folderFd);
// Creates p, which must not exist, in the folder held open (or by its name
// when folderFd is -1), open for reading and writing and, on Windows,
// without sharing.
int openExclusiveIn(int folderFd, const std::filesystem::path& p, int mode);
void removeIn(int folderFd, const std::filesystem::path& p);

long long writeSome(int fd, const std::uint8_t* data, std::size_t size);
long long readSome(int fd, std::uint8_t* data, std::size_t size);
bool seekTo(int fd, std::uint64_t offset);
int flushToDisk(int fd);
int openForFlush(const std::filesystem::path& p);
int closeFile(int fd);
// Puts `from` in the place of `to` in one step, replacing what is there.
bool replaceTarget(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a rename in the folder survive a power cut.
void flushFolder(const std::filesystem::path& folder);

// Sends the bytes from..to on to the disk, and waits for them and drops
// them from the page cache. 0 or an errno value; ENOSYS where the system
// cannot.
int startWriteback(int fd, std::uint64_t from, std::uint64_t to);
int finishWriteback(int fd, std::uint64_t from, std::uint64_t to);

// The place target leads to once its links are followed (see followLinks).
std::filesystem::path linkDestination(const std::filesystem::path& target);
// Whether the file system would refuse name for its length.
bool nameTooLong(const std::filesystem::path& name);
// Refuses a final name the file system would refuse at the rename, and a
// file above the process's file-size limit. target is for the message.
void checkFinalName(const std::filesystem::path& destination, const std::filesystem::path& target);
void checkSizeLimit(std::uint64_t size, const std::filesystem::path& target);

// What a replace keeps of the file now at destination (nothing on Windows),
// the mode a file made for it is created with, and those attributes given
// to a file made for it.
KeptAttributes attributesToKeep(const std::filesystem::path& destination);
int creationModeFor(const KeptAttributes& kept);
void giveAttributes(int fd, const KeptAttributes& kept);

// Marks fd, just created as the temporary file `temporary`, as a live
// writer's and checks that the name still leads to it. lockFd is the
// descriptor that holds the mark (-1 where the open file itself does).
// False when another save took the file meanwhile: then fd is still open
// and lockFd -1.
bool holdNewTemporary(int fd, int folderFd, const std::filesystem::path& temporary, int& lockFd);
// Once the bytes go to a working copy, the temporary file only marks the
// work as live: returns the descriptor that keeps that mark from now on.
int holdMarkerOnly(int temporaryFd, int lockFd);

} // namespace safefile::sys
