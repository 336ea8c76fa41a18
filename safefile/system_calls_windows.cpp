#include "safefile/system_calls.h"

#include "base/display_name.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <share.h> // _SH_DENYRW
#include <sys/stat.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace safefile::sys {
namespace {

int openExclusive(const fs::path& p, int) {
    int fd = -1;
    _wsopen_s(&fd, p.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
              _S_IREAD | _S_IWRITE);
    return fd;
}

} // namespace

const bool kOpenFileBlocksRemoval = true;

std::string systemErrorText(int error) {
    return std::system_category().message(error);
}

long long writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    const unsigned int n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    return _write(fd, data, n);
}
long long readSome(int fd, std::uint8_t* data, std::size_t size) {
    const unsigned int n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    return _read(fd, data, n);
}
bool seekTo(int fd, std::uint64_t offset) {
    return _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) == static_cast<__int64>(offset);
}

int flushToDisk(int fd) {
    return _commit(fd);
}
int openForFlush(const fs::path& p) {
    int fd = -1;
    _wsopen_s(&fd, p.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT, _SH_DENYRW, 0);
    return fd;
}
int closeFile(int fd) {
    return _close(fd);
}
std::string lastSystemError() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}
bool replaceTarget(const fs::path& from, const fs::path& to) {
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void flushFolder(const fs::path&) {} // MOVEFILE_WRITE_THROUGH already waits for the rename
int openFolder(const fs::path&) {
    return -1; // Windows will not move a folder that holds an open file
}
int openExclusiveIn(int, const fs::path& p, int mode) {
    return openExclusive(p, mode);
}
void removeIn(int, const fs::path& p) {
    std::error_code ignored;
    fs::remove(p, ignored);
}
void closeFolder(int) {}

// Windows starts no writeback early: the whole file waits for commit()'s flush.
int startWriteback(int, std::uint64_t, std::uint64_t) {
    return ENOSYS;
}
int finishWriteback(int, std::uint64_t, std::uint64_t) {
    return ENOSYS;
}

// Windows: a link (or any other reparse point) is opened through, and the
// system names the file it reaches. A link to nothing is refused: which
// name a new file would get there is for the link's own kind to say.
fs::path linkDestination(const fs::path& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return target;
    }
    const HANDLE h = CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail("Could not write " + base::displayName(target),
             "that name is a link, and what it links to cannot be opened (" + lastSystemError() +
                 ")");
    }
    std::wstring name(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const std::string why = lastSystemError();
    CloseHandle(h);
    if (n == 0 || n >= name.size()) {
        fail("Could not write " + base::displayName(target), why);
    }
    name.resize(n);
    return fs::path(name);
}

// Everything else about the final name shows when the temporary file is
// made beside it, except a name too long for the file system, which the
// shortened temporary name would not notice.
void checkFinalName(const fs::path& destination, const fs::path& target) {
    if (destination.filename().native().size() > 255) { // NTFS, exFAT and FAT32 alike
        fail("Could not write " + base::displayName(target), errnoText(ENAMETOOLONG));
    }
}

void checkSizeLimit(std::uint64_t, const fs::path&) {} // Windows sets no file-size limit

bool nameTooLong(const fs::path& name) {
    return name.filename().native().size() > 255; // NTFS, exFAT and FAT32 alike
}

// Windows files have no mode bits: a new file there takes the folder's
// inherited permissions.
KeptAttributes attributesToKeep(const fs::path&) {
    return {};
}
int creationModeFor(const KeptAttributes&) {
    return 0;
}
void giveAttributes(int, const KeptAttributes&) {}

// The file is open without sharing: nobody else can remove it meanwhile.
bool holdNewTemporary(int, int, const fs::path&, int& lockFd) {
    lockFd = -1;
    return true;
}

// Kept open without sharing: nobody can remove it meanwhile.
int holdMarkerOnly(int temporaryFd, int) {
    return temporaryFd;
}

} // namespace safefile::sys
