#include "safefile/atomic_file.h"

#include "base/display_name.h"
#include "safefile/regular_file.h"
#include "safefile/system_calls.h"
#include "safefile/temporary_files.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace safefile {

namespace {

// The system cannot start writeback early for this file; commit() still
// flushes it all.
bool unsupported(int error) {
    return error == ENOSYS || error == EINVAL || error == ESPIPE || error == EOPNOTSUPP;
}

// Refuses targets that a replace must not touch: a folder, or a file the
// user has marked read-only (Windows refuses to replace those, and so do we
// everywhere, even when running with rights that could). target is the
// name the user chose, for the message.
void checkTargetReplaceable(const fs::path& destination, const fs::path& target) {
    std::error_code ec;
    const fs::file_status st = fs::status(destination, ec);
    if (ec || !fs::exists(st)) {
        return;
    }
    if (fs::is_directory(st)) {
        sys::fail("Could not write " + base::displayName(target), "that name belongs to a folder");
    }
    if (const auto notAFile = notARegularFile(st.type())) {
        sys::fail("Could not write " + base::displayName(target), *notAFile);
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        sys::fail("Could not replace " + base::displayName(target), "the file is read-only");
    }
}

} // namespace

fs::path followLinks(const fs::path& name) {
    return sys::linkDestination(name);
}

int copyWhole(int from, int to) {
    if (!sys::seekTo(from, 0)) {
        return errno;
    }
    std::vector<std::uint8_t> buffer(1u << 20);
    for (;;) {
        const long long n = sys::readSome(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : 0;
        }
        for (long long at = 0; at < n;) {
            const long long put =
                sys::writeSome(to, buffer.data() + at, static_cast<std::size_t>(n - at));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return put < 0 ? errno : ENOSPC;
            }
            at += put;
        }
    }
}

void flushFile(const fs::path& path) {
    const int fd = sys::openForFlush(path);
    if (fd < 0) {
        sys::fail("Could not write " + base::displayName(path), sys::errnoText(errno));
    }
    const int flushed = sys::flushToDisk(fd);
    const int error = errno;
    sys::closeFile(fd);
    if (flushed != 0) {
        sys::fail("Could not write " + base::displayName(path), sys::errnoText(error));
    }
}

AtomicFile::AtomicFile(fs::path target, std::uint64_t expectedSize, Work work)
    : target_(std::move(target)) {
    destination_ = followLinks(target_);
    if (sys::namesAFolder(destination_)) {
        sys::fail("Could not write " + base::displayName(target_), "that name belongs to a folder");
    }
    sys::checkFinalName(destination_, target_);
    checkTargetReplaceable(destination_, target_);
    sys::checkSizeLimit(expectedSize, target_);

    kept_ = sys::attributesToKeep(destination_);
    folderFd_ = sys::openFolder(destination_.parent_path());
    removeLeftoverTemporaryFiles(destination_.parent_path(), folderFd_);
    createTemporaryFile();
    working_ = temporary_;
    if (work == Work::ByAnotherLibrary) {
        createWorkingCopy();
    }
}

void AtomicFile::createTemporaryFile() {
    const int mode = sys::creationModeFor(kept_);
    std::random_device device;
    std::uint32_t salt = device();
    int error = 0;
    for (int attempt = 0; attempt < 16; ++attempt, salt = salt * 2654435761u + 1u) {
        temporary_ = temporaryNameFor(destination_, salt);
        fd_ = sys::openExclusiveIn(folderFd_, temporary_, mode);
        if (fd_ < 0) {
            error = errno;
            if (error != EEXIST) {
                break;
            }
            continue;
        }
        if (!sys::holdNewTemporary(fd_, folderFd_, temporary_, lockFd_)) {
            error = EEXIST;
            sys::closeFile(fd_);
            fd_ = -1;
            continue;
        }
        sys::giveAttributes(fd_, kept_);
        return;
    }
    sys::closeFolder(folderFd_);
    folderFd_ = -1;
    const fs::path folder =
        destination_.parent_path().empty() ? fs::path(".") : destination_.parent_path();
    sys::fail("Could not create a file in the folder " + base::displayName(folder),
              sys::errnoText(error));
}

AtomicFile::~AtomicFile() {
    discard();
    sys::closeFolder(folderFd_);
}

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    const std::size_t total = size;
    while (size > 0) {
        const long long n = sys::writeSome(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            sys::fail("Could not write " + base::displayName(target_), sys::errnoText(errno));
        }
        if (n == 0) {
            sys::fail("Could not write " + base::displayName(target_), sys::errnoText(ENOSPC));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    written_ += total;
    paceWriteback();
}

// Left alone, a large file piles up in the page cache at memory speed and
// commit()'s fsync then waits for all of it at once, while the progress
// already shows every record written. Sending each few MiB on to the disk
// as soon as they are written lets writing and flushing overlap, and
// dropping what the disk already holds keeps the file from pushing
// everything else out of the cache. commit() still fsyncs: this only
// changes when the bytes travel.
void AtomicFile::paceWriteback() {
    // Only whole aligned blocks: a partly written page or large folio sent
    // to the disk has to go again once the rest arrives, and it measurably
    // slowed the writes that followed it.
    const std::uint64_t edge = written_ / kWritebackAlign * kWritebackAlign;
    if (!pacing_ || edge < writebackStarted_ + kWritebackStep) {
        return;
    }
    int error = sys::startWriteback(fd_, writebackStarted_, edge);
    if (error == 0) {
        writebackStarted_ = edge;
        if (writebackStarted_ > writebackDone_ + kWritebackLag) {
            const std::uint64_t upTo = writebackStarted_ - kWritebackLag;
            error = sys::finishWriteback(fd_, writebackDone_, upTo);
            if (error == 0) {
                writebackDone_ = upTo;
            }
        }
    }
    if (error == 0) {
        return;
    }
    if (unsupported(error)) {
        pacing_ = false;
        return;
    }
    // A write error: waiting here consumed it, so the final fsync would not
    // see it again.
    sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
}

// The bytes go to a file of their own beside the temporary file, which
// then only marks the work as live.
void AtomicFile::createWorkingCopy() {
    const fs::path copy = workingCopyNameFor(temporary_);
    int fd = sys::openExclusiveIn(folderFd_, copy, sys::creationModeFor(kept_));
    if (fd < 0 && errno == EEXIST) {
        // Left by a killed writer of the same name: while we hold the
        // temporary file, nobody else's.
        sys::removeIn(folderFd_, copy);
        fd = sys::openExclusiveIn(folderFd_, copy, sys::creationModeFor(kept_));
    }
    if (fd < 0) {
        const int error = errno;
        discard();
        sys::closeFolder(folderFd_);
        folderFd_ = -1;
        sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
    }
    sys::giveAttributes(fd, kept_);
    lockFd_ = sys::holdMarkerOnly(fd_, lockFd_);
    fd_ = fd;
    working_ = copy;
}

void AtomicFile::release() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    released_ = true;
    if (sys::closeFile(fd) != 0) {
        const int error = errno;
        discard();
        sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
    }
}

bool AtomicFile::commit(const std::atomic<bool>* cancelled,
                        const std::function<void()>& beforeReplace) {
    if (released_ && fd_ < 0) {
        // Changed by another library since, perhaps replaced by a file of its
        // own making: flush what it wrote, with the attributes the target keeps.
        fd_ = sys::openForFlush(working_);
        if (fd_ < 0) {
            const int error = errno;
            discard();
            sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
        }
        sys::giveAttributes(fd_, kept_);
    }
    if (sys::flushToDisk(fd_) != 0) {
        const int error = errno;
        discard();
        sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
    }
    const int fd = fd_;
    fd_ = -1;
    if (sys::closeFile(fd) != 0) {
        const int error = errno;
        discard();
        sys::fail("Could not write " + base::displayName(target_), sys::errnoText(error));
    }
    if (cancelled && cancelled->load()) {
        discard();
        return false;
    }
    try {
        checkTargetReplaceable(destination_, target_); // it may have changed while we wrote
        if (beforeReplace) {
            beforeReplace();
        }
    } catch (...) {
        discard();
        throw;
    }
    if (!sys::replaceTarget(working_, destination_)) {
        const std::string why = sys::lastSystemError();
        discard();
        sys::fail("Could not put the new file in place of " + base::displayName(target_), why);
    }
    done_ = true;
    removeWriterFiles(); // the temporary file beside a working copy; anything left beside it
    releaseLock();
    sys::flushFolder(destination_.parent_path());
    return true;
}

void AtomicFile::discard() noexcept {
    if (done_) {
        return;
    }
    done_ = true;
    if (fd_ >= 0) {
        sys::closeFile(fd_);
        fd_ = -1;
    }
    removeWriterFiles();
    releaseLock(); // only once the files are gone, so nobody takes them for leftovers
}

// The working copy, what another library made beside it, and then the
// temporary file. Where an open file cannot be removed (Windows), the
// temporary file, open without sharing, goes only once it is closed; nothing else of ours is left
// by then for another save to take for a leftover.
void AtomicFile::removeWriterFiles() noexcept {
    for (const fs::path& name : namesOfWriter(temporary_)) {
        if (name == temporary_ && sys::kOpenFileBlocksRemoval) {
            releaseLock();
        }
        sys::removeIn(folderFd_, name);
    }
}

void AtomicFile::releaseLock() noexcept {
    if (lockFd_ >= 0) {
        sys::closeFile(lockFd_);
        lockFd_ = -1;
    }
}

} // namespace safefile
