// Faults a map author meets when saving: a disk that fills up, a folder or a
// stick that cannot be written, a folder that vanishes, a name that cannot be
// used, a disk that fails while the file is finished. Each one must end with
// a reason for the user, the old file exactly as it was and no temporary file
// left beside it.
//
// Where the operating system can produce the fault for real, it does: a
// small tmpfs fills up, a read-only mount refuses, a file-size limit cuts a
// write short, a folder is made immutable. Tests needing rights that the
// machine does not give are skipped with the reason.

#include "safefile/map_edit.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/add_series.h"
#include "trigfile/trigger_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#ifdef __linux__
#include "syscall_faults.h"

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::FileState;
using testsupport::namesIn;
using testsupport::stateOf;
using Kind = base::Problem::Kind;

constexpr std::uint64_t kChunkBytes = trigfile::kRecordsPerChunk * trigfile::kRecordSize;

// Three chunks and a part: 1000 records, 2,402,408 bytes.
const trigfile::TriggerSeries& longSeries() {
    static const trigfile::TriggerSeries series =
        testsupport::planOrFail(testsupport::typed("1", "1000", "0", "100", "25"));
    return series;
}

std::string systemText(int error) {
    return std::generic_category().message(error);
}

const std::string kOldContent = "the map author's old triggers\r\n\x1a\0 end";

#ifdef __linux__
int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}
#endif

class FaultTest : public testsupport::ScratchFolder {
  protected:
    // The folder the user chose, holding an old file of the chosen name.
    void SetUp() override {
        ScratchFolder::SetUp();
        maps_ = folder_ / "maps";
        fs::create_directory(maps_);
    }
    void placeOldFile(const fs::path& folder) {
        target_ = folder / "old.trg";
        testsupport::writeBytes(target_, kOldContent);
        oldState_ = stateOf(target_);
        oldNames_ = namesIn(folder);
    }
    void rememberCurrentState(const fs::path& folder) {
        oldState_ = stateOf(target_);
        oldNames_ = namesIn(folder);
    }
    // The same, taken while the writer's temporary file is there.
    void rememberStateDuringWrite() {
        oldState_ = fs::is_regular_file(target_) ? stateOf(target_) : FileState{};
        oldNames_ = {target_.filename().string()};
    }

    base::Outcome<base::Done> write(const trigfile::SinkWrapper& wrap = {}) {
#ifdef __linux__
        descriptorsBefore_ = openDescriptors();
#endif
        return trigfile::writeTriggerFile(target_, longSeries(), nullptr, wrap);
    }

    // The outcome the user must see after any fault: a failure with the
    // given words, the old file and the folder as they were, and no
    // descriptor left open on a temporary file.
    void expectCleanFailure(const base::Outcome<base::Done>& outcome, const std::string& mentions,
                            const fs::path& folder) {
        EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed));
        EXPECT_FALSE(outcome.reason().empty());
        EXPECT_NE(outcome.reason().find(mentions), std::string::npos)
            << "reason \"" << outcome.reason() << "\" should say \"" << mentions << "\"";
        EXPECT_EQ(namesIn(folder), oldNames_) << "a temporary file was left behind";
        if (!oldState_.bytes.empty()) {
            EXPECT_TRUE(stateOf(target_) == oldState_) << "the old file was changed";
        }
#ifdef __linux__
        EXPECT_EQ(openDescriptors(), descriptorsBefore_) << "a file was left open";
#endif
    }

    fs::path maps_;
    fs::path target_;
    FileState oldState_;
    std::vector<std::string> oldNames_;
    int descriptorsBefore_ = 0;
};

// ---------------------------------------------------------------------------
// The disk fills part-way, after a budget of bytes has reached the file.

using testsupport::FullDiskSink;

struct Budget {
    const char* where;
    std::uint64_t bytes;
    friend void PrintTo(const Budget& b, std::ostream* os) { *os << b.where; }
};

class DiskFillsAfter : public FaultTest, public testing::WithParamInterface<Budget> {};

TEST_P(DiskFillsAfter, KeepsTheOldFileAndLeavesNoTemporaryFile) {
    placeOldFile(maps_);
    std::uint64_t passed = 0;
    const auto outcome = write([&](trigfile::ByteSink& file) {
        return std::make_unique<FullDiskSink>(file, GetParam().bytes, passed);
    });
    EXPECT_EQ(passed, GetParam().bytes) << "the fault struck somewhere else";
    expectCleanFailure(outcome, systemText(ENOSPC), maps_);
}

constexpr std::uint64_t kPreamble = trigfile::kPreambleSize;
constexpr std::uint64_t kWholeFile = 2'402'408;

INSTANTIATE_TEST_SUITE_P(
    ChunkBoundaries, DiskFillsAfter,
    testing::Values(Budget{"nothing", 0}, Budget{"part of the header", 5},
                    Budget{"all but the preamble's last byte", kPreamble - 1},
                    Budget{"exactly the preamble", kPreamble},
                    Budget{"one byte of the first chunk", kPreamble + 1},
                    Budget{"all but the first chunk's last byte", kPreamble + kChunkBytes - 1},
                    Budget{"exactly the first chunk", kPreamble + kChunkBytes},
                    Budget{"one byte of the second chunk", kPreamble + kChunkBytes + 1},
                    Budget{"exactly two chunks", kPreamble + 2 * kChunkBytes},
                    Budget{"all but the file's last byte", kWholeFile - 1}));

TEST_F(FaultTest, ABudgetOfTheWholeFileWritesIt) {
    ASSERT_EQ(longSeries().fileSize(), kWholeFile);
    placeOldFile(maps_);
    std::uint64_t passed = 0;
    const auto outcome = write([&](trigfile::ByteSink& file) {
        return std::make_unique<FullDiskSink>(file, kWholeFile, passed);
    });
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    EXPECT_EQ(fs::file_size(target_), kWholeFile);
    EXPECT_EQ(namesIn(maps_), oldNames_);
}

// ---------------------------------------------------------------------------
// Folders and names that go away, change or cannot be used.

// The folder goes away after the name was chosen: deleted, replaced by a
// file, or deleted while the file is being written (a stick pulled out).
TEST_F(FaultTest, AFolderDeletedBeforeTheWriteIsNotRecreated) {
    placeOldFile(maps_);
    fs::remove_all(maps_);
    oldNames_ = namesIn(folder_);
    oldState_ = {};
    expectCleanFailure(write(), systemText(ENOENT), folder_);
    EXPECT_FALSE(fs::exists(maps_));
}

#ifndef _WIN32
// Windows reports a missing folder here; POSIX says the path is not a folder.
TEST_F(FaultTest, AFolderReplacedByAFileIsLeftAlone) {
    placeOldFile(maps_);
    fs::remove_all(maps_);
    testsupport::writeBytes(maps_, "not a folder");
    const FileState file = stateOf(maps_);
    oldNames_ = namesIn(folder_);
    oldState_ = {};
    expectCleanFailure(write(), systemText(ENOTDIR), folder_);
    EXPECT_TRUE(stateOf(maps_) == file);
}
#endif

// Calls a function once, when the first chunk has reached the file.
class AfterFirstChunk : public trigfile::ByteSink {
  public:
    AfterFirstChunk(trigfile::ByteSink& file, std::function<void()> then)
        : file_(file), then_(std::move(then)) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        file_.write(data, size);
        written_ += size;
        if (then_ && written_ >= kPreamble + kChunkBytes) {
            std::exchange(then_, nullptr)();
        }
    }

  private:
    trigfile::ByteSink& file_;
    std::function<void()> then_;
    std::uint64_t written_ = 0;
};

#ifndef _WIN32
// Windows does not let a folder go while a file in it is open.
TEST_F(FaultTest, AFolderDeletedDuringTheWriteIsNotRecreated) {
    placeOldFile(maps_);
    const auto outcome = write([&](trigfile::ByteSink& file) {
        return std::make_unique<AfterFirstChunk>(file, [&] { fs::remove_all(maps_); });
    });
    oldNames_ = {}; // the folder and the old file went with it
    oldState_ = {};
    expectCleanFailure(outcome, systemText(ENOENT), folder_);
    EXPECT_FALSE(fs::exists(maps_));
}
#endif

// The target changes under the writer: the check made before the rename
// sees it and the old state stays.
TEST_F(FaultTest, ATargetMadeReadOnlyDuringTheWriteIsNotReplaced) {
    placeOldFile(maps_);
    const auto outcome = write([&](trigfile::ByteSink& file) {
        return std::make_unique<AfterFirstChunk>(file, [&] {
            fs::permissions(target_,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
            rememberStateDuringWrite();
        });
    });
    expectCleanFailure(outcome, "read-only", maps_);
}

TEST_F(FaultTest, ATargetTurnedIntoAFolderDuringTheWriteIsNotReplaced) {
    target_ = maps_ / "new.trg";
    oldNames_ = {};
    const auto outcome = write([&](trigfile::ByteSink& file) {
        return std::make_unique<AfterFirstChunk>(file, [&] {
            fs::create_directory(target_);
            testsupport::writeBytes(target_ / "inside.txt", "kept");
            rememberStateDuringWrite();
        });
    });
    expectCleanFailure(outcome, "folder", maps_);
    EXPECT_EQ(testsupport::readBytes(target_ / "inside.txt").size(), 4u);
}

// Names the file system cannot take.
TEST_F(FaultTest, AChosenNameThatIsAFolderIsLeftAlone) {
    target_ = maps_ / "campaign.trg";
    fs::create_directory(target_);
    testsupport::writeBytes(target_ / "mission1.trg", kOldContent);
    const FileState inside = stateOf(target_ / "mission1.trg");
    oldNames_ = namesIn(maps_);
    expectCleanFailure(write(), "folder", maps_);
    EXPECT_EQ(namesIn(target_), std::vector<std::string>{"mission1.trg"});
    EXPECT_TRUE(stateOf(target_ / "mission1.trg") == inside);
}

// POSIX says the name is too long; Windows says it cannot find such a file.
#ifdef _WIN32
const std::string kNameTooLong = "Could not";
#else
const std::string kNameTooLong = systemText(ENAMETOOLONG);
#endif

// Only the extension makes the name too long: the temporary name (which is
// shortened) would fit, so only a check of the final name finds it before
// the whole file is written.
TEST_F(FaultTest, ANameLongerThanTheFileSystemTakesIsRefusedBeforeTheFirstByte) {
    target_ = maps_ / (std::string(252, 'n') + ".trg"); // 256 bytes, one more than allowed
    oldNames_ = namesIn(maps_);
    bool reachedTheFile = false;
    const auto outcome = write([&](trigfile::ByteSink& file) {
        reachedTheFile = true;
        return std::make_unique<AfterFirstChunk>(file, nullptr);
    });
    expectCleanFailure(outcome, kNameTooLong, maps_);
    EXPECT_NE(outcome.reason().find("nnnn.trg"), std::string::npos) << "the reason names the file";
    EXPECT_FALSE(reachedTheFile) << "the name was only refused after the file was written";
}

TEST_F(FaultTest, APathLongerThanTheSystemTakesIsRefused) {
    fs::path deep = maps_;
    while (deep.string().size() < 4200) {
        deep /= std::string(200, 'd');
    }
    target_ = deep / "a.trg";
    oldNames_ = namesIn(maps_);
    expectCleanFailure(write(), kNameTooLong, maps_);
}

// ---------------------------------------------------------------------------
// Faults the operating system produces for real.

#ifdef __linux__

// Mounts made by a test stay inside this test process: it moves to a mount
// namespace of its own, whose changes do not reach the machine's.
std::string ownMountNamespace() {
    static const std::string failure = []() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0) {
            return "unshare(CLONE_NEWNS): " + systemText(errno);
        }
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return "making mounts private: " + systemText(errno);
        }
        return {};
    }();
    return failure;
}

// A tmpfs of a given size over a folder, taken away at the end of the test.
class Tmpfs {
  public:
    Tmpfs(const fs::path& at, const std::string& options) : at_(at) {
        failure_ = ownMountNamespace();
        if (failure_.empty() && ::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            failure_ = "mount tmpfs: " + systemText(errno);
        }
    }
    ~Tmpfs() {
        if (failure_.empty()) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    const std::string& failure() const { return failure_; }
    bool remountReadOnly() {
        return ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    std::uint64_t freeBytes() const {
        struct statvfs st {};
        ::statvfs(at_.c_str(), &st);
        return static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
    }

  private:
    fs::path at_;
    std::string failure_;
};

// Sets or clears the immutable attribute: not even root may then change,
// replace or add to it.
bool setImmutable(const fs::path& p, bool on) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

class ImmutableGuard {
  public:
    explicit ImmutableGuard(fs::path p) : path_(std::move(p)) { ok_ = setImmutable(path_, true); }
    ~ImmutableGuard() {
        if (ok_) {
            setImmutable(path_, false);
        }
    }
    ImmutableGuard(const ImmutableGuard&) = delete;
    ImmutableGuard& operator=(const ImmutableGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    fs::path path_;
    bool ok_ = false;
};

// Root ignores permission bits; the program's users do not. Runs as the
// unprivileged user "nobody" until the end of the scope, when run as root.
class AsOrdinaryUser {
  public:
    AsOrdinaryUser() {
        if (::geteuid() == 0) {
            dropped_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        }
    }
    ~AsOrdinaryUser() {
        if (dropped_) {
            [[maybe_unused]] const int u = ::seteuid(0);
            [[maybe_unused]] const int g = ::setegid(0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

  private:
    bool dropped_ = false;
};

// A real full disk: a small tmpfs holding the old file.
class TmpfsFillsUp : public FaultTest, public testing::WithParamInterface<const char*> {};

TEST_P(TmpfsFillsUp, KeepsTheOldFileAndFreesTheSpace) {
    Tmpfs disk(maps_, std::string("size=") + GetParam());
    if (!disk.failure().empty()) {
        GTEST_SKIP() << "cannot mount a small file system here: " << disk.failure();
    }
    placeOldFile(maps_);
    const std::uint64_t freeBefore = disk.freeBytes();
    ASSERT_LT(freeBefore, kWholeFile);
    expectCleanFailure(write(), systemText(ENOSPC), maps_);
    EXPECT_EQ(disk.freeBytes(), freeBefore) << "the temporary file still takes up space";
}

// From full at once to full two chunks in.
INSTANTIATE_TEST_SUITE_P(Sizes, TmpfsFillsUp, testing::Values("8k", "1m", "1536k", "2200k"));

// A file-size limit (ulimit -f). The kernel would cut the write short and
// then send SIGXFSZ, which kills a process that does not ignore it; the
// library leaves signals to the program, so a series beyond the limit must
// be refused before its first byte. While the limit is set, SIGXFSZ has its
// default action: a byte written beyond the limit ends it.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        savedSignal_ = std::signal(SIGXFSZ, SIG_DFL); // whatever the test runner left
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*savedSignal_)(int) = SIG_DFL;
};

// Counts the bytes that reach the file.
class CountingSink : public trigfile::ByteSink {
  public:
    CountingSink(trigfile::ByteSink& file, std::uint64_t& passed) : file_(file), passed_(passed) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        file_.write(data, size);
        passed_ += size;
    }

  private:
    trigfile::ByteSink& file_;
    std::uint64_t& passed_;
};

class FileSizeLimitBelow : public FaultTest, public testing::WithParamInterface<Budget> {};

TEST_P(FileSizeLimitBelow, TheFileIsRefusedBeforeTheFirstByte) {
    placeOldFile(maps_);
    std::uint64_t passed = 0;
    const auto outcome = [&] {
        FileSizeLimit limit(GetParam().bytes);
        return write(
            [&](trigfile::ByteSink& file) { return std::make_unique<CountingSink>(file, passed); });
    }();
    expectCleanFailure(outcome, systemText(EFBIG), maps_);
    EXPECT_EQ(passed, 0u);
}

INSTANTIATE_TEST_SUITE_P(FileSizeLimits, FileSizeLimitBelow,
                         testing::Values(Budget{"nothing", 0}, Budget{"part of the preamble", 1000},
                                         Budget{"part of the first chunk", kPreamble + 5000},
                                         Budget{"all but the last byte", kWholeFile - 1}));

TEST_F(FaultTest, AFileThatFitsTheFileSizeLimitExactlyIsWritten) {
    placeOldFile(maps_);
    const auto outcome = [&] {
        FileSizeLimit limit(kWholeFile);
        return write();
    }();
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    EXPECT_EQ(fs::file_size(target_), kWholeFile);
}

// A folder the user cannot write to, in the ways it happens.
struct ReadOnlyFolder {
    const char* how;
    int error; // what the system says
    friend void PrintTo(const ReadOnlyFolder& r, std::ostream* os) { *os << r.how; }
};

class ReadOnlyFolderTest : public FaultTest, public testing::WithParamInterface<ReadOnlyFolder> {
  protected:
    // Puts `content` in the folder as `name` and makes the folder read-only
    // in the way of the parameter; false (with the test skipped) where the
    // machine does not allow it.
    bool placeInReadOnlyFolder(const std::string& name, const std::string& content) {
        const std::string how = GetParam().how;
        const auto place = [&] {
            target_ = maps_ / name;
            testsupport::writeBytes(target_, content);
            rememberCurrentState(maps_);
        };
        if (how == "write-protected stick") {
            stick_.emplace(maps_, "size=1m");
            if (!stick_->failure().empty()) {
                skipped_ = "cannot mount a file system here: " + stick_->failure();
                return false;
            }
            place();
            if (!stick_->remountReadOnly()) {
                ADD_FAILURE() << "could not make the stick read-only: " << systemText(errno);
                return false;
            }
        } else if (how == "immutable folder") {
            place();
            immutable_.emplace(maps_);
            if (!immutable_->ok()) {
                skipped_ = "this file system or user cannot make a folder immutable";
                return false;
            }
        } else {
            place();
            fs::permissions(maps_, fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
            rememberCurrentState(maps_);
            asUser_ = true;
        }
        return true;
    }
    // Runs what a user does in the folder, as an ordinary user where the
    // folder's permissions are what keeps it read-only.
    template <typename Work> auto asTheUser(Work work) {
        std::optional<AsOrdinaryUser> user;
        if (asUser_) {
            user.emplace();
        }
        return work();
    }

    std::optional<Tmpfs> stick_;
    std::optional<ImmutableGuard> immutable_;
    bool asUser_ = false;
    std::string skipped_;
};

TEST_P(ReadOnlyFolderTest, RefusesWithTheSystemsReason) {
    if (!placeInReadOnlyFolder("old.trg", kOldContent)) {
        GTEST_SKIP() << skipped_;
    }
    const base::Outcome<base::Done> outcome = asTheUser([&] { return write(); });
    expectCleanFailure(outcome, systemText(GetParam().error), maps_);
    EXPECT_NE(outcome.reason().find("maps"), std::string::npos) << "the reason names the folder";
}

// An add to a map has its copy made beside the map: where it cannot be, the
// add fails with the system's reason, as a write does, and is not taken
// for Tallyforge refusing the map.
TEST_P(ReadOnlyFolderTest, AnAddToAMapFailsWithTheSystemsReasonToo) {
    const std::string chk("VER \x02\x00\x00\x00\xcd\x00", 10);
    if (!placeInReadOnlyFolder("old.chk", chk)) {
        GTEST_SKIP() << skipped_;
    }
    const auto outcome = asTheUser([&] {
        return trigfile::addToScenarioFile(
            target_, testsupport::planOrFail(testsupport::typed("1", "3", "0", "1")));
    });
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed)) << outcome.reason();
    EXPECT_NE(outcome.reason().find(systemText(GetParam().error)), std::string::npos)
        << outcome.reason();
    EXPECT_EQ(namesIn(maps_), oldNames_);
    EXPECT_TRUE(stateOf(target_) == oldState_) << "the map was changed";
}

INSTANTIATE_TEST_SUITE_P(Mechanisms, ReadOnlyFolderTest,
                         testing::Values(ReadOnlyFolder{"folder without write permission", EACCES},
                                         ReadOnlyFolder{"write-protected stick", EROFS},
                                         ReadOnlyFolder{"immutable folder", EPERM}));

TEST_F(FaultTest, AnImmutableTargetIsLeftAsItWas) {
    placeOldFile(maps_);
    ImmutableGuard immutable(target_);
    if (!immutable.ok()) {
        GTEST_SKIP() << "this file system or user cannot make a file immutable";
    }
    rememberCurrentState(maps_);
    expectCleanFailure(write(), systemText(EPERM), maps_);
}

// ---------------------------------------------------------------------------
// The disk fails while the finished file is flushed, closed or put in place
// (a network share reporting a late write error, a failing stick).

struct LateFault {
    syscallfaults::Call call;
    int error;
    const char* what;
    friend void PrintTo(const LateFault& f, std::ostream* os) { *os << f.what; }
};

class LateFaultTest : public FaultTest, public testing::WithParamInterface<LateFault> {
  protected:
    void TearDown() override {
        syscallfaults::disarmAll();
        FaultTest::TearDown();
    }
};

TEST_P(LateFaultTest, KeepsTheOldFileAndLeavesNoTemporaryFile) {
    placeOldFile(maps_);
    syscallfaults::arm(GetParam().call, GetParam().error);
    const auto outcome = write();
    EXPECT_EQ(syscallfaults::delivered(), 1) << "the fault was never injected";
    expectCleanFailure(outcome, systemText(GetParam().error), maps_);
}

INSTANTIATE_TEST_SUITE_P(
    CommitSteps, LateFaultTest,
    testing::Values(LateFault{syscallfaults::Call::Fsync, EIO, "flushing fails"},
                    LateFault{syscallfaults::Call::Fsync, ENOSPC, "flushing finds the disk full"},
                    LateFault{syscallfaults::Call::Close, EIO, "closing reports a write error"},
                    LateFault{syscallfaults::Call::Close, EDQUOT, "closing finds the quota full"},
                    LateFault{syscallfaults::Call::Rename, EIO, "putting in place fails"},
                    LateFault{syscallfaults::Call::Rename, ENOSPC,
                              "the folder has no room for the name"}));

// A map on a disk without hard links (a FAT stick) that is full: the backup
// cannot be kept, and the reason is the disk's, not the tidying up's.
class BackupFaultTest : public FaultTest {
  protected:
    void TearDown() override {
        syscallfaults::disarmAll();
        FaultTest::TearDown();
    }
};

TEST_F(BackupFaultTest, ABackupThatCannotBeKeptIsReportedWithTheDisksReason) {
    Tmpfs disk(maps_, "size=64k");
    if (!disk.failure().empty()) {
        GTEST_SKIP() << "cannot mount a small file system here: " << disk.failure();
    }
    target_ = maps_ / "Castle.scx";
    testsupport::writeBytes(target_, std::string(24 * 1024, 'm')); // room for a copy, not two
    rememberCurrentState(maps_);
    safefile::MapEdit edit(target_);
    edit.copyOriginal();
    syscallfaults::arm(syscallfaults::Call::Link, EPERM);
    try {
        edit.commit();
        ADD_FAILURE() << "the map was replaced without a backup";
    } catch (const safefile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find(systemText(ENOSPC)), std::string::npos) << e.what();
    }
    EXPECT_EQ(syscallfaults::delivered(), 1) << "the hard link was never refused";
    EXPECT_TRUE(stateOf(target_) == oldState_) << "the map was changed";
    EXPECT_EQ(namesIn(maps_), oldNames_);
}

// ---------------------------------------------------------------------------
// A writer killed outright (SIGKILL, a crash) leaves its temporary file; the
// next save into that folder removes it, but never the file of a writer
// that is still alive, nor a file of another program.

// A process that starts writing target and stops after the first chunk,
// holding its temporary file, until it is killed.
class WriterProcess {
  public:
    explicit WriterProcess(const fs::path& target) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            trigfile::writeTriggerFile(
                target, longSeries(), nullptr, [&](trigfile::ByteSink& file) {
                    return std::make_unique<AfterFirstChunk>(file, [&] {
                        [[maybe_unused]] const auto n = ::write(ready[1], "r", 1);
                        for (;;) {
                            ::pause();
                        }
                    });
                });
            ::_exit(1);
        }
        ::close(ready[1]);
        char c = 0;
        started_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~WriterProcess() { kill(); }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;
    bool started() const { return started_; }
    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    bool started_ = false;
};

TEST_F(FaultTest, ALeftoverOfAKilledWriterIsRemovedByTheNextSave) {
    placeOldFile(maps_);
    const fs::path other = maps_ / "other.trg";
    WriterProcess killed(target_);
    WriterProcess alive(other);
    ASSERT_TRUE(killed.started() && alive.started());
    killed.kill();
    const std::vector<std::string> leftAndLive = namesIn(maps_);
    ASSERT_EQ(leftAndLive.size(), oldNames_.size() + 2) << "two temporary files while writing";
    // Names like ours, of files that are not ours.
    testsupport::writeBytes(maps_ / ".notes.txt.0123abcd.tmp", "another program's");
    testsupport::writeBytes(maps_ / ".old.trg.0123abcd.tallyforge.tmp.keep", "a user's copy");

    target_ = maps_ / "third.trg";
    const auto outcome = write();
    ASSERT_TRUE(outcome.ok()) << outcome.reason();

    const std::vector<std::string> now = namesIn(maps_);
    std::vector<std::string> gone;
    std::set_difference(leftAndLive.begin(), leftAndLive.end(), now.begin(), now.end(),
                        std::back_inserter(gone));
    ASSERT_EQ(gone.size(), 1u) << "only the killed writer's temporary file goes";
    EXPECT_NE(gone[0].find(".old.trg."), std::string::npos) << gone[0];
    EXPECT_EQ(now.size(), leftAndLive.size() + 2) << "the new file and the two others' files";
}

#endif // __linux__

} // namespace
