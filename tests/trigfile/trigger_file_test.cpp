#include "atomic_file.h"
#include "test_support.h"
#include "trigger_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

using testsupport::planOrFail;
using testsupport::typed;
using trigfile::ActionKind;
using Status = trigfile::WriteOutcome::Status;
using testsupport::expectedFile;

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

class TriggerFileTest : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        folder_ = fs::temp_directory_path() / ("tallyforge-test-" + std::to_string(rd()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_, ec);
    }
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
    fs::path folder_;
};

using testsupport::FullDiskSink;

TEST_F(TriggerFileTest, TypicalMoneySeriesIsTheKnownSizeAndLayout) {
    const auto series = planOrFail(typed("5", "50", "0", "100"));
    const fs::path target = folder_ / "Triggers.trg";
    const auto outcome = trigfile::writeTriggerFile(target, series);
    ASSERT_EQ(outcome.status, Status::Written) << outcome.reason;
    const auto file = readFile(target);
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
        ASSERT_EQ(trigfile::writeTriggerFile(target, series).status, Status::Written);
        EXPECT_EQ(readFile(target), expectedFile(series)) << count << " records";
    }
}

TEST_F(TriggerFileTest, ReplacesAnExistingFileWhole) {
    const fs::path target = folder_ / "old.trg";
    writeText(target, std::string(100000, 'x'));
    const auto series = planOrFail(typed("5", "12", "0", "100"));
    ASSERT_EQ(trigfile::writeTriggerFile(target, series).status, Status::Written);
    EXPECT_EQ(readFile(target), expectedFile(series));
}

TEST_F(TriggerFileTest, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
    const fs::path target = folder_ / "old.trg";
    writeText(target, "the map author's old triggers");
    const auto series = planOrFail(typed("1", "5000", "0", "100"));
    for (std::size_t budget :
         {std::size_t{0}, std::size_t{100}, std::size_t{2408}, std::size_t{3000000}}) {
        const auto outcome =
            trigfile::writeTriggerFile(target, series, nullptr, [budget](trigfile::ByteSink& file) {
                return std::make_unique<FullDiskSink>(file, budget);
            });
        EXPECT_EQ(outcome.status, Status::Failed) << "budget " << budget;
        EXPECT_NE(outcome.reason.find("No space left"), std::string::npos) << outcome.reason;
        std::ifstream in(target);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "the map author's old triggers") << "budget " << budget;
        EXPECT_TRUE(strayFiles({"old.trg"}).empty()) << "budget " << budget;
    }
}

TEST_F(TriggerFileTest, CancelLeavesTheOldFileAndNoTemporaryFile) {
    const fs::path target = folder_ / "old.trg";
    writeText(target, "keep me");
    trigfile::WriteProgress progress;
    progress.cancelRequested = true;
    const auto outcome =
        trigfile::writeTriggerFile(target, planOrFail(typed("1", "100000", "0", "1")), &progress);
    EXPECT_EQ(outcome.status, Status::Cancelled);
    EXPECT_EQ(readFile(target), testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
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
    writeText(target, "keep me");
    const auto series = planOrFail(typed("1", "1000", "0", "1"));
    trigfile::WriteProgress progress;
    const auto outcome =
        trigfile::writeTriggerFile(target, series, &progress, [&](trigfile::ByteSink& file) {
            return std::make_unique<CancelAtTheEndSink>(file, progress, series.fileSize());
        });
    EXPECT_EQ(progress.recordsWritten.load(), 1000u) << "every record was written first";
    EXPECT_EQ(outcome.status, Status::Cancelled);
    EXPECT_EQ(readFile(target), testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
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
    writeText(folder_ / "maps" / "old.trg", "keep me");
    const auto outcome = trigfile::writeTriggerFile(
        folder_ / "maps" / "old.trg", planOrFail(typed("1", "2000", "0", "1")), nullptr,
        [this](trigfile::ByteSink& file) {
            return std::make_unique<FolderMovedSink>(file, folder_ / "maps", folder_ / "moved");
        });
    EXPECT_EQ(outcome.status, Status::Failed) << "the chosen path no longer exists";
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_ / "moved")) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"old.trg"});
    EXPECT_EQ(readFile(folder_ / "moved" / "old.trg"),
              testsupport::bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}
#endif

TEST_F(TriggerFileTest, ProgressCountsEveryRecord) {
    trigfile::WriteProgress progress;
    const auto series = planOrFail(typed("1", "1000", "0", "1"));
    ASSERT_EQ(trigfile::writeTriggerFile(folder_ / "p.trg", series, &progress).status,
              Status::Written);
    EXPECT_EQ(progress.recordsWritten.load(), 1000u);
}

TEST_F(TriggerFileTest, RefusesAFolderAndAMissingFolderWithAReason) {
    const auto series = planOrFail(typed("1", "1", "0", "1"));
    fs::create_directory(folder_ / "maps.trg");
    const auto intoFolder = trigfile::writeTriggerFile(folder_ / "maps.trg", series);
    EXPECT_EQ(intoFolder.status, Status::Failed);
    EXPECT_NE(intoFolder.reason.find("folder"), std::string::npos) << intoFolder.reason;
    EXPECT_TRUE(fs::is_directory(folder_ / "maps.trg"));

    const auto missing = trigfile::writeTriggerFile(folder_ / "gone" / "a.trg", series);
    EXPECT_EQ(missing.status, Status::Failed);
    EXPECT_NE(missing.reason.find("No such file or directory"), std::string::npos)
        << missing.reason;
}

TEST_F(TriggerFileTest, LeavesAReadOnlyFileAlone) {
    const fs::path target = folder_ / "locked.trg";
    writeText(target, "locked");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto outcome = trigfile::writeTriggerFile(target, planOrFail(typed("1", "1", "0", "1")));
    EXPECT_EQ(outcome.status, Status::Failed);
    EXPECT_NE(outcome.reason.find("read-only"), std::string::npos) << outcome.reason;
    EXPECT_EQ(readFile(target).size(), 6u);
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
        trigfile::AtomicFile file(folder_ / fs::path(name + u8".trg"));
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
