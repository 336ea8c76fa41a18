// Adding to a trigger file when the disk fails or the user cancels: the old
// file stays whole, and nothing is left beside it; a file longer than one
// read is copied whole. Scenario data that would outgrow what can be read
// back is refused before anything is written.

#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/add_series.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using Kind = base::Problem::Kind;
using testsupport::namesIn;
using testsupport::planOrFail;
using testsupport::readBytes;
using testsupport::typed;
using testsupport::operator+;

class AddToTriggerFile : public testsupport::ScratchFolder {
  protected:
    fs::path oldFile() {
        const fs::path p = folder_ / "Old.trg";
        const auto bytes = testsupport::expectedFile(planOrFail(typed("5", "50", "37", "100")));
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }
};

TEST_F(AddToTriggerFile, AFullDiskAnywhereKeepsTheOldFileWhole) {
    const fs::path file = oldFile();
    const auto before = readBytes(file);
    const auto series = planOrFail(typed("1", "2000", "0", "100", "25"));
    // In the header, in the old records, at the seam, in the new records.
    for (const std::size_t budget :
         {std::size_t{4}, std::size_t{9000}, before.size(), before.size() + 1'500'000}) {
        const auto outcome =
            trigfile::addToTriggerFile(file, series, nullptr, [budget](trigfile::ByteSink& out) {
                return std::make_unique<testsupport::FullDiskSink>(out, budget);
            });
        EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed)) << "budget " << budget;
        EXPECT_NE(outcome.reason().find("No space left"), std::string::npos) << outcome.reason();
        EXPECT_EQ(readBytes(file), before) << "budget " << budget;
        EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Old.trg"}) << "budget " << budget;
    }
}

TEST_F(AddToTriggerFile, CancelKeepsTheOldFileWhole) {
    const fs::path file = oldFile();
    const auto before = readBytes(file);
    trigfile::WriteProgress progress;
    progress.cancelRequested = true;
    const auto outcome =
        trigfile::addToTriggerFile(file, planOrFail(typed("1", "50", "0", "1")), &progress);
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Cancelled));
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Old.trg"});
}

// The old file is copied a megabyte at a time: a file longer than one such
// read, ending part-way into the second, must come out whole and in order.
TEST_F(AddToTriggerFile, AFileOfSeveralReadsIsCopiedWholeBeforeTheNewRecords) {
    const fs::path file = folder_ / "Long.trg";
    const auto old = testsupport::expectedFile(planOrFail(typed("1", "500", "37", "100")));
    ASSERT_GT(old.size(), std::size_t{1} << 20);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    const auto series = planOrFail(typed("1", "3", "0", "1"));
    const auto outcome = trigfile::addToTriggerFile(file, series);
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    auto expected = old;
    const auto added = testsupport::expectedFile(series);
    expected.insert(expected.end(), added.begin() + trigfile::kPreambleSize, added.end());
    EXPECT_TRUE(readBytes(file) == expected) << "the old file whole, then the new records";
    EXPECT_TRUE(readBytes(outcome->backup) == old);
}

TEST(ScenarioAddition, RefusesScenarioDataThatWouldOutgrowWhatIsReadBack) {
    std::vector<std::uint8_t> chk = {'V', 'E', 'R', ' ', 2, 0, 0, 0, 205, 0};
    // 120,000 records are 288 MB, more than a reader takes in.
    const auto big = planOrFail(typed("1", "120000", "0", "1"));
    const auto plan = trigfile::planScenarioAddition(chk, big);
    ASSERT_TRUE(!plan.ok());
    EXPECT_NE(plan.reason().find("120,000 more triggers"), std::string::npos) << plan.reason();
    const auto small = planOrFail(typed("1", "100000", "0", "1"));
    EXPECT_TRUE((trigfile::planScenarioAddition(chk, small)).ok());
}

// A TRIG section added to scenario data that already has as many sections
// as the reader takes would make data that Tallyforge itself refuses to read.
TEST(ScenarioAddition, RefusesASectionBeyondTheMostTheReaderTakes) {
    const std::uint8_t empty[8] = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    std::vector<std::uint8_t> chk;
    for (std::size_t i = 0; i < trigfile::kMaxSections; ++i) {
        chk.insert(chk.end(), std::begin(empty), std::end(empty));
    }
    ASSERT_TRUE((trigfile::readScenarioTriggers(chk)).ok());
    const auto series = planOrFail(typed("1", "3", "0", "1"));
    const auto plan = trigfile::planScenarioAddition(chk, series);
    ASSERT_TRUE(!plan.ok()) << "data of one section more than the reader takes would be written";
    EXPECT_NE(plan.reason().find("65,536 sections"), std::string::npos) << plan.reason();
}

// The owners of a series: "p1" to "p8", "f1" to "f4", "all".
trigfile::TriggerSeries ownedBy(const std::string& max, const std::string& owner) {
    auto s = typed("1", max, "0", "100");
    s.players = {};
    const auto index = static_cast<std::size_t>(owner.back() - '1');
    if (owner == "all") {
        s.allPlayers = trigfile::CheckValue::Ticked;
    } else if (owner.front() == 'p') {
        s.players[index] = trigfile::CheckValue::Ticked;
    } else {
        s.forces[index] = trigfile::CheckValue::Ticked;
    }
    return planOrFail(s);
}

// The game gives every member player its own copy of a trigger of All
// Players or of a force, so the warning counts triggers per player: force
// membership from the map's FORC section, and without one (a trigger file),
// each force for every player.
struct PlayerCountCase {
    const char* what;
    std::vector<std::uint8_t> forc; // empty: no FORC section
    const char* oldOwner;           // of the 3 triggers already there
    const char* newOwner;           // of the 10 added
    std::uint64_t most;
    friend void PrintTo(const PlayerCountCase& c, std::ostream* os) { *os << c.what; }
};

class PlayerCount : public testing::TestWithParam<PlayerCountCase> {};

TEST_P(PlayerCount, CountsTheCopiesEachPlayerGets) {
    const PlayerCountCase& c = GetParam();
    const auto old = testsupport::expectedFile(ownedBy("3", c.oldOwner));
    auto chk = testsupport::section("VER ", testsupport::bytes({205, 0}));
    if (!c.forc.empty()) {
        chk = chk + testsupport::section("FORC", c.forc);
    }
    chk = chk + testsupport::section("TRIG", testsupport::slice(old, 2408, 3 * 2400));
    const trigfile::Inspection inspection = trigfile::inspectScenarioData(chk);
    ASSERT_TRUE(inspection.ok()) << inspection.reason();
    const trigfile::OwnerCounts& counts = *inspection;
    EXPECT_EQ(counts.forces.known, !c.forc.empty());
    EXPECT_EQ(trigfile::mostTriggersForOnePlayer(counts, ownedBy("10", c.newOwner)), c.most);
}

// Player 1 in Force 1, the others in Force 2; and a section cut short after
// Player 2, which leaves the rest in Force 1.
const std::vector<std::uint8_t> kPlayer1Alone{0, 1, 1, 1, 1, 1, 1, 1, 0, 0,
                                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kShortForc{1, 1};

INSTANTIATE_TEST_SUITE_P(
    Owners, PlayerCount,
    testing::Values(
        PlayerCountCase{"a player and its own triggers", kPlayer1Alone, "p1", "p1", 13},
        PlayerCountCase{"two players never add up", kPlayer1Alone, "p1", "p2", 10},
        PlayerCountCase{"a force the player is not in", kPlayer1Alone, "p1", "f2", 10},
        PlayerCountCase{"the player's own force", kPlayer1Alone, "p1", "f1", 13},
        PlayerCountCase{"All Players already there count for each", kPlayer1Alone, "all", "p5", 13},
        PlayerCountCase{"a force already there counts for its members", kPlayer1Alone, "f2", "p3",
                        13},
        PlayerCountCase{"a force already there, another player", kPlayer1Alone, "f2", "p1", 10},
        PlayerCountCase{"a short FORC leaves the rest in Force 1", kShortForc, "f1", "p3", 13},
        PlayerCountCase{"a short FORC, a player it names", kShortForc, "f1", "p2", 10},
        PlayerCountCase{"no FORC: a force counts for every player", {}, "p1", "f2", 13},
        PlayerCountCase{"no FORC: old force triggers too", {}, "f4", "p8", 13}));

#ifndef _WIN32
// Another program saves the trigger file while the add writes: as a new
// file renamed over it, of the same size, with the old time put back.
TEST_F(AddToTriggerFile, AFileSavedMeanwhileWithItsSizeAndTimeIsLeftAsSaved) {
    const fs::path file = oldFile();
    const auto time = fs::last_write_time(file);
    auto theirs = readBytes(file);
    theirs[100] ^= 1;
    const auto outcome = trigfile::addToTriggerFile(
        file, planOrFail(typed("1", "3", "0", "1")), nullptr, [&](trigfile::ByteSink& out) {
            const fs::path saving = folder_ / "saving.trg";
            std::ofstream(saving, std::ios::binary)
                .write(reinterpret_cast<const char*>(theirs.data()),
                       static_cast<std::streamsize>(theirs.size()));
            fs::last_write_time(saving, time);
            fs::rename(saving, file);
            return std::make_unique<testsupport::FullDiskSink>(out, ~std::uint64_t{0});
        });
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed));
    EXPECT_NE(outcome.reason().find("another program changed it"), std::string::npos)
        << outcome.reason();
    EXPECT_EQ(readBytes(file), theirs);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Old.trg"});
}
#endif

} // namespace
