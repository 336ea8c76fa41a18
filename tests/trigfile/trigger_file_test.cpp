#include "safefile/atomic_file.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/trigger_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using testsupport::planOrFail;
using testsupport::typed;
using trigfile::ActionKind;
using Kind = base::Problem::Kind;
using testsupport::expectedFile;
using testsupport::readBytes;
using testsupport::writeBytes;

class TriggerFileTest : public testsupport::ScratchFolder {
  protected:
    // Everything in the folder but the names given: leftovers of a write.
    std::vector<std::string> strayFiles(std::initializer_list<std::string> expected) const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
                stray.push_back(name);
            }
        }
        return stray;
    }
};

TEST_F(TriggerFileTest, TypicalMoneySeriesIsTheKnownSizeAndLayout) {
    const auto series = planOrFail(typed("5", "50", "0", "100"));
    const fs::path target = folder_ / "Triggers.trg";
    const auto outcome = trigfile::writeTriggerFile(target, series);
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    const auto file = readBytes(target);
    EXPECT_EQ(file.size(), 26408u);
    EXPECT_EQ(file, expectedFile(series));
    EXPECT_TRUE(strayFiles({"Triggers.trg"}).empty());
}

TEST_F(TriggerFileTest, WriterMatchesThePlainEncoderAcrossChunkBoundaries) {
    auto score = typed("3", "0", "17", "250", "", ActionKind::Score);
    score.scoreKind = 6;
    score.forces[3] = trigfile::CheckValue::Ticked;
    const std::pair<trigfile::KillRewardSettings, std::uint32_t> cases[] = {
        {typed("1", "1", "0", "1", "9"), 1},
        {typed("2", "894", "5", "0", "33"), 447},
        {typed("1", "448", "5", "70000", "50"), 448},
        {typed("1", "449", "5", "70000", "50"), 449},
        {typed("7", "7000", "232", "12", "", ActionKind::Switch), 1000},
        {score, 1}};
    for (auto [settings, count] : cases) {
        if (settings.actionKind == ActionKind::Score) {
            settings.killMax = 3.0 * 1345;
            count = 1345;
        }
        const auto series = planOrFail(settings);
        ASSERT_EQ(series.recordCount, count);
        const fs::path target = folder_ / "series.trg";
        ASSERT_TRUE(trigfile::writeTriggerFile(target, series).ok());
        EXPECT_EQ(readBytes(target), expectedFile(series)) << count << " records";
    }
}

TEST_F(TriggerFileTest, CancelLeavesTheOldFileAndNoTemporaryFile) {
    const fs::path target = folder_ / "old.trg";
    writeBytes(target, "keep me");
    trigfile::WriteProgress progress;
    progress.cancelRequested = true;
    const auto outcome =
        trigfile::writeTriggerFile(target, planOrFail(typed("1", "100000", "0", "1")), &progress);
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Cancelled));
    EXPECT_EQ(readBytes(target), testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_TRUE(strayFiles({"old.trg"}).empty());
}

// Presses Cancel as the last bytes go out, while the disk is still taking
// the file in: the moment a user of a big series is most likely to.
class CancelAtTheEndSink : public trigfile::ByteSink {
  public:
    CancelAtTheEndSink(trigfile::ByteSink& inner, trigfile::WriteProgress& progress,
                       std::uint64_t total)
        : inner_(inner), progress_(progress), left_(total) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        inner_.write(data, size);
        left_ -= size;
        if (left_ == 0) {
            progress_.cancelRequested = true;
        }
    }

  private:
    trigfile::ByteSink& inner_;
    trigfile::WriteProgress& progress_;
    std::uint64_t left_;
};

TEST_F(TriggerFileTest, CancelAfterTheLastRecordStillKeepsTheOldFile) {
    const fs::path target = folder_ / "old.trg";
    writeBytes(target, "keep me");
    const auto series = planOrFail(typed("1", "1000", "0", "1"));
    trigfile::WriteProgress progress;
    const auto outcome =
        trigfile::writeTriggerFile(target, series, &progress, [&](trigfile::ByteSink& file) {
            return std::make_unique<CancelAtTheEndSink>(file, progress, series.fileSize());
        });
    EXPECT_EQ(progress.recordsWritten.load(), 1000u) << "every record was written first";
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Cancelled));
    EXPECT_EQ(readBytes(target), testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_TRUE(strayFiles({"old.trg"}).empty());
}

#ifndef _WIN32
// Moves the target's folder away after the first bytes, as a user tidying up
// their maps folder during a long write might (Windows refuses the move).
class FolderMovedSink : public trigfile::ByteSink {
  public:
    FolderMovedSink(trigfile::ByteSink& inner, fs::path from, fs::path to)
        : inner_(inner), from_(std::move(from)), to_(std::move(to)) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        inner_.write(data, size);
        if (!moved_) {
            fs::rename(from_, to_);
            moved_ = true;
        }
    }

  private:
    trigfile::ByteSink& inner_;
    fs::path from_, to_;
    bool moved_ = false;
};

TEST_F(TriggerFileTest, AFolderMovedDuringTheWriteKeepsNoTemporaryFile) {
    fs::create_directory(folder_ / "maps");
    writeBytes(folder_ / "maps" / "old.trg", "keep me");
    const auto outcome = trigfile::writeTriggerFile(
        folder_ / "maps" / "old.trg", planOrFail(typed("1", "2000", "0", "1")), nullptr,
        [this](trigfile::ByteSink& file) {
            return std::make_unique<FolderMovedSink>(file, folder_ / "maps", folder_ / "moved");
        });
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed)) << "the chosen path no longer exists";
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_ / "moved")) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"old.trg"});
    EXPECT_EQ(readBytes(folder_ / "moved" / "old.trg"),
              testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

// A target that is a symbolic link: the new bytes go to the file it names,
// in that file's folder, and the link stays a link.
struct LinkedTarget {
    const char* what;
    const char* link;    // the name chosen, a link
    const char* linksTo; // as stored in the link
    const char* real;    // the file the bytes must reach
    bool realExists;
};

TEST_F(TriggerFileTest, ALinkedTargetGetsTheNewBytesAndStaysALink) {
    const LinkedTarget cases[] = {
        {"link beside its file", "link.trg", "real.trg", "real.trg", true},
        {"link into another folder", "link.trg", "other/real.trg", "other/real.trg", true},
        {"link to a link", "link.trg", "link2.trg", "real.trg", true},
        {"dangling link", "link.trg", "other/new.trg", "other/new.trg", false},
    };
    const auto series = planOrFail(typed("5", "50", "0", "100"));
    for (const auto& c : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "other");
        if (c.realExists) {
            writeBytes(folder_ / c.real, "old bytes");
        }
        fs::create_symlink(c.linksTo, folder_ / c.link);
        if (std::string(c.linksTo) == "link2.trg") {
            fs::create_symlink(c.real, folder_ / "link2.trg");
        }
        const auto outcome = trigfile::writeTriggerFile(folder_ / c.link, series);
        ASSERT_TRUE(outcome.ok()) << c.what << ": " << outcome.reason();
        EXPECT_TRUE(fs::is_symlink(folder_ / c.link)) << c.what;
        EXPECT_EQ(fs::read_symlink(folder_ / c.link), fs::path(c.linksTo)) << c.what;
        EXPECT_EQ(readBytes(folder_ / c.real), expectedFile(series)) << c.what;
        const fs::path realFolder = (folder_ / c.real).parent_path();
        for (const auto& entry : fs::directory_iterator(realFolder)) {
            EXPECT_FALSE(entry.path().extension() == ".tmp") << c.what << ": a temporary file";
        }
    }
}

TEST_F(TriggerFileTest, ALinkThatLoopsIsRefusedWithTheSystemsReason) {
    fs::create_symlink("b.trg", folder_ / "a.trg");
    fs::create_symlink("a.trg", folder_ / "b.trg");
    const auto outcome =
        trigfile::writeTriggerFile(folder_ / "a.trg", planOrFail(typed("1", "1", "0", "1")));
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed));
    EXPECT_NE(outcome.reason().find(std::generic_category().message(ELOOP)), std::string::npos)
        << outcome.reason();
    EXPECT_TRUE(fs::is_symlink(folder_ / "a.trg"));
    EXPECT_TRUE(strayFiles({"a.trg", "b.trg"}).empty());
}

// A replace keeps the old file's mode, owner and group (a map shared with a
// group, or kept private), and a new file gets the usual mode under the
// umask. The old file's other names (hard links) keep the old bytes: the
// new file is a new file.
TEST_F(TriggerFileTest, AReplacedFileKeepsItsModeOwnerAndGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the old file another owner needs root";
    }
    const auto series = planOrFail(typed("5", "12", "0", "100"));
    const fs::path target = folder_ / "shared.trg";
    for (const mode_t mode : {0600, 0660, 0604, 0640, 02660}) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        writeBytes(target, "old bytes");
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0); // nobody:nogroup
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        fs::create_hard_link(target, folder_ / "other-name.trg");
        ASSERT_TRUE(trigfile::writeTriggerFile(target, series).ok());
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(st.st_uid, 65534u) << std::oct << mode;
        EXPECT_EQ(st.st_gid, 65534u) << std::oct << mode;
        EXPECT_EQ(readBytes(target), expectedFile(series));
        EXPECT_EQ(readBytes(folder_ / "other-name.trg").size(), 9u) << "the other name's bytes";
    }
    const mode_t saved = ::umask(027);
    const auto outcome = trigfile::writeTriggerFile(folder_ / "new.trg", series);
    ::umask(saved);
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(fs::status(folder_ / "new.trg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

#endif

TEST_F(TriggerFileTest, ProgressCountsEveryRecord) {
    trigfile::WriteProgress progress;
    const auto series = planOrFail(typed("1", "1000", "0", "1"));
    ASSERT_TRUE(trigfile::writeTriggerFile(folder_ / "p.trg", series, &progress).ok());
    EXPECT_EQ(progress.recordsWritten.load(), 1000u);
}

TEST_F(TriggerFileTest, RefusesAFolderAndAMissingFolderWithAReason) {
    const auto series = planOrFail(typed("1", "1", "0", "1"));
    fs::create_directory(folder_ / "maps.trg");
    const auto intoFolder = trigfile::writeTriggerFile(folder_ / "maps.trg", series);
    EXPECT_TRUE(intoFolder.is(base::Problem::Kind::Failed));
    EXPECT_NE(intoFolder.reason().find("folder"), std::string::npos) << intoFolder.reason();
    EXPECT_TRUE(fs::is_directory(folder_ / "maps.trg"));

    const auto missing = trigfile::writeTriggerFile(folder_ / "gone" / "a.trg", series);
    EXPECT_TRUE(missing.is(base::Problem::Kind::Failed));
    EXPECT_NE(missing.reason().find("No such file or directory"), std::string::npos)
        << missing.reason();
}

TEST_F(TriggerFileTest, LeavesAReadOnlyFileAlone) {
    const fs::path target = folder_ / "locked.trg";
    writeBytes(target, "locked");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto outcome = trigfile::writeTriggerFile(target, planOrFail(typed("1", "1", "0", "1")));
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed));
    EXPECT_NE(outcome.reason().find("read-only"), std::string::npos) << outcome.reason();
    EXPECT_EQ(readBytes(target).size(), 6u);
    EXPECT_TRUE(strayFiles({"locked.trg"}).empty());
}

// Every lead byte followed by as many continuation bytes as it announces.
bool isValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

TEST_F(TriggerFileTest, TheTemporaryNameOfALongNameNeverSplitsACharacter) {
    for (const std::u8string character : {u8"\u00E9", u8"\u65E5", u8"\U0001F3AE"}) {
        std::u8string name;
        while (name.size() < 120) {
            name += character;
        }
        safefile::AtomicFile file(folder_ / fs::path(name + u8".trg"));
        const std::u8string temporary = file.temporaryPath().filename().u8string();
        EXPECT_TRUE(isValidUtf8(std::string(temporary.begin(), temporary.end())))
            << "temporary name for a name of " << character.size() << "-byte characters";
        // Names are limited in the system's own units: bytes here, UTF-16 on Windows.
        EXPECT_LE(file.temporaryPath().filename().native().size(), 100u);
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
    }
    EXPECT_TRUE(strayFiles({}).empty()) << "each temporary file goes with its AtomicFile";
}

TEST(TrgExtension, IsAddedUnlessTheNameEndsWithIt) {
    const std::pair<const char*, const char*> cases[] = {{"Map1", "Map1.trg"},
                                                         {"MAP1.TRG", "MAP1.TRG"},
                                                         {"a.trg.txt", "a.trg.txt.trg"},
                                                         {"/home/me/x.Trg", "/home/me/x.Trg"},
                                                         {"trg", "trg.trg"},
                                                         {".trg", ".trg"},
                                                         {"", ".trg"},
                                                         {"C:/maps/b.trgx", "C:/maps/b.trgx.trg"}};
    for (const auto& [chosen, written] : cases) {
        EXPECT_EQ(trigfile::withTrgExtension(chosen), written) << "chosen name " << chosen;
    }
}

} // namespace
