#include "editor_trigger_file.h"
#include "test_support.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/series_recognition.h"
#include "trigfile/trigger_listing.h"
#include "trigfile/unit_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::expectedFile;
using testsupport::planOrFail;
using testsupport::typed;
using trigfile::ActionKind;
using trigfile::CheckValue;
using trigfile::KillRewardSettings;

constexpr std::uint8_t kActionWait = 4; // the action type Wait

trigfile::TriggerRecords recordsOf(const std::vector<std::uint8_t>& file) {
    auto read = trigfile::parseTriggerFileBytes(file);
    EXPECT_TRUE(read.ok());
    return read.ok() ? std::move(read.value()) : trigfile::TriggerRecords{};
}

// The records of several series one after another, behind the usual header
// and empty trigger.
trigfile::TriggerRecords seriesFile(const std::vector<KillRewardSettings>& all) {
    std::vector<std::uint8_t> file;
    for (const auto& s : all) {
        const auto one = expectedFile(planOrFail(s));
        file.insert(file.end(), one.begin() + (file.empty() ? 0 : trigfile::kPreambleSize),
                    one.end());
    }
    return recordsOf(file);
}

KillRewardSettings withOwners(KillRewardSettings s, std::vector<int> players,
                              std::vector<int> forces, bool all = false) {
    s.players.fill(CheckValue::Cleared);
    for (int p : players) {
        s.players[static_cast<std::size_t>(p - 1)] = CheckValue::Ticked;
    }
    for (int f : forces) {
        s.forces[static_cast<std::size_t>(f - 1)] = CheckValue::Ticked;
    }
    s.allPlayers = all ? CheckValue::Ticked : CheckValue::Cleared;
    return s;
}

KillRewardSettings score(const char* points, int kind) {
    auto s = typed("10", "95", "0", points, "", ActionKind::Score);
    s.scoreKind = kind;
    return s;
}

// Whatever Create writes, the reader finds as one series and gives back
// settings from which Create writes the very same series.
TEST(SeriesRecognition, SettingsReadBackFromAFileWriteItAgain) {
    const KillRewardSettings cases[] = {
        withOwners(typed("5", "50", "37", "100"), {1}, {2}),
        typed("5", "52", "37", "70000", "50"),
        typed("1", "1", "230", "0", "300"),
        withOwners(score("1000", 5), {}, {}, true),
        score("0", 7),
        withOwners(typed("3", "9", "232", "256", "", ActionKind::Switch), {2, 8}, {1, 4}),
        typed("7", "7", "0", "1", "", ActionKind::Switch),
    };
    for (const auto& original : cases) {
        const auto written = planOrFail(original);
        const auto got = trigfile::settingsOfOnlySeries(seriesFile({original}));
        ASSERT_TRUE(got.has_value()) << trigfile::seriesSummary(written);
        const auto again = planOrFail(*got);
        EXPECT_EQ(again.killStep, written.killStep);
        EXPECT_EQ(again.recordCount, written.recordCount);
        EXPECT_EQ(again.fields, written.fields) << trigfile::seriesSummary(written);
    }
}

TEST(SeriesRecognition, SplitsRunsAndOffersOnlyALoneSeries) {
    const auto a = withOwners(typed("5", "50", "37", "100"), {1}, {});
    const auto b = withOwners(typed("5", "50", "37", "100"), {2}, {});
    const auto c = typed("5", "15", "37", "100"); // a continues into c: thresholds restart
    const struct {
        const char* name;
        trigfile::TriggerRecords records;
        std::vector<std::uint32_t> counts;
        bool offered;
    } cases[] = {
        {"one series", seriesFile({a}), {10}, true},
        {"other owners", seriesFile({a, b}), {10, 10}, false},
        {"thresholds restart", seriesFile({a, c}), {10, 3}, false},
        {"the empty trigger alone",
         [] {
             const auto preamble = trigfile::encodePreamble(); // the header and empty trigger
             return recordsOf(std::vector<std::uint8_t>(preamble.begin(), preamble.end()));
         }(),
         {},
         false},
    };
    for (const auto& t : cases) {
        const auto found = trigfile::findSeries(t.records);
        std::vector<std::uint32_t> counts;
        for (const auto& s : found) {
            counts.push_back(s.series.recordCount);
        }
        EXPECT_EQ(counts, t.counts) << t.name;
        EXPECT_EQ(trigfile::settingsOfOnlySeries(t.records).has_value(), t.offered) << t.name;
    }
}

TEST(SeriesRecognition, ARecordChangedAnywhereLeavesTheSeries) {
    auto records = seriesFile({typed("5", "50", "37", "100")});
    // Record 6 (the fifth of the series) gets a second condition slot type.
    records.bytes[5 * trigfile::kRecordSize + trigfile::record::kConditions +
                  trigfile::condition::kSize + trigfile::condition::kType] = 22;
    std::vector<std::pair<std::size_t, std::uint32_t>> runs;
    for (const auto& s : trigfile::findSeries(records)) {
        runs.emplace_back(s.firstRecord, s.series.recordCount);
    }
    // The changed record is no longer of Tallyforge's shape; the records after
    // it wait for 30, 35, ... kills, which is no run of k, 2k, 3k: each stands alone.
    const std::vector<std::pair<std::size_t, std::uint32_t>> expected{{1, 4}, {6, 1}, {7, 1},
                                                                      {8, 1}, {9, 1}, {10, 1}};
    EXPECT_EQ(runs, expected);
}

TEST(TriggerListing, SummarisesASeriesInOneLine) {
    const auto series = planOrFail(withOwners(typed("5", "50", "37", "100"), {1}, {2}));
    EXPECT_EQ(trigfile::seriesSummary(series),
              "Money: every 5 kills of Zergling (37) up to 50, 100 ore, Player 1 and Force 2, 10 "
              "triggers");
    const std::string listing = trigfile::listTriggers(recordsOf(expectedFile(series)));
    EXPECT_NE(listing.find("Triggers 2 to 11: Money: every 5 kills"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Current Player kills at least 5 of Zergling (37)."), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("Triggers 3 to 11 are the same but for the kills they wait for: 10, 15, "
                           "..., 50."),
              std::string::npos)
        << listing;
    const std::string two =
        trigfile::listTriggers(recordsOf(expectedFile(planOrFail(typed("3", "6", "37", "100")))));
    EXPECT_NE(two.find("  Trigger 3 is the same but for the kills it waits for: 6.\n"),
              std::string::npos)
        << two;
}

// A file an editor's compiler wrote: each text in words, whole in the
// details and cut in the summary, and the unit properties in words.
TEST(TriggerListing, ShowsTheTextsAndUnitPropertiesOfAnEditorsFile) {
    const std::string message = "\x03"
                                "Attack wave\r\nAll forces, hold the bridge until dawn comes";
    const std::string listing =
        trigfile::listTriggers(recordsOf(testsupport::editorMessageFile("Wave \"1\"", message)));
    const std::string whole =
        "\"\\x03Attack wave\\r\\nAll forces, hold the bridge until dawn comes\"";
    const std::string cut = "\"\\x03Attack wave\\r\\nAll forces, hold the bridg...\"";
    const char* expected[] = {
        "1 trigger, 0 series of kill rewards.\n",
        "Trigger 1, for Player 1: 1 condition, 3 actions: ",
        "    Always.\n",
        "    Create 1 Marine (0) at location 2 for Player 1 with properties: hit points 50%, "
        "shields 100%, resources 5,000, cloaked.\n",
        "    Comment: \"Wave \\\"1\\\"\".\n",
    };
    for (const char* line : expected) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    }
    EXPECT_NE(listing.find("actions: " + cut + ".\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("    Display text message: " + whole + ".\n"), std::string::npos)
        << listing;
}

TEST(TriggerListing, SaysThatAMapIsStackedAndListsItsSectionsInOrder) {
    const auto first = expectedFile(planOrFail(typed("5", "10", "37", "100")));
    using testsupport::operator+;
    const auto chk =
        testsupport::section("TRIG", std::vector<std::uint8_t>(
                                         first.begin() + trigfile::kPreambleSize, first.end())) +
        testsupport::section("TRIG", testsupport::editorRecord({{0, kActionWait, 0, 0x04}}));
    const auto read = trigfile::readScenarioTriggers(chk);
    ASSERT_TRUE(read.ok());
    const std::string listing = trigfile::listTriggers(read.value());
    EXPECT_NE(
        listing.find("3 triggers, 1 series of kill rewards.\nThe map is stacked: its triggers "
                     "come from 2 TRIG sections"),
        std::string::npos)
        << listing;
    EXPECT_NE(listing.find("Triggers 1 to 2: Money"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Trigger 3, for Player 1: 1 condition, 1 action.\n"), std::string::npos)
        << listing;
}

TEST(TriggerListing, WordsKnownValuesAndGivesUnknownOnesByNumber) {
    using C = trigfile::DecodedCondition;
    using A = trigfile::DecodedAction;
    const std::pair<C, const char*> conditions[] = {
        {C{}, ""},
        {C{0, 13, 5, 37, 0, 5, 0, 0x10, 0}, "Current Player kills at least 5 of Zergling (37)."},
        {C{0, 17, 3, 240, 10, 15, 0, 0x12, 0},
         "All Players has suffered exactly 3 deaths of unit 240. (disabled)"},
        {C{0, 0, 0, 0, 3, 11, 255, 0, 0}, "Switch 256 is cleared."},
        {C{0, 4, 9, 0, 7, 4, 5, 0, 0}, "Player 5 accumulates comparison 7 9 resource type 5."},
        {C{2, 1, 1, 1, 1, 99, 1, 0, 0},
         "Condition type 99: player group 1, quantity 1, unit 1, comparison 1, resource type 1, "
         "location 2."},
        // Fields the words leave out are shown where they are not the editors' values.
        {C{3, 13, 5, 37, 0, 5, 1, 0x10, 0},
         "Current Player kills at least 5 of Zergling (37). (location 3, resource type 1)"},
        {C{0, 13, 5, 37, 0, 5, 0, 0x00, 0},
         "Current Player kills at least 5 of Zergling (37). (flags 0)"},
        {C{0, 0, 0, 0, 0, 22, 0, 0x10, 0x4353}, "Always. (flags 16, reserved 17235)"},
    };
    for (const auto& [c, text] : conditions) {
        EXPECT_EQ(trigfile::describeCondition(c), text);
    }
    const std::pair<A, const char*> actions[] = {
        {A{}, ""},
        {A{0, 0, 0, 0, 13, 100, 1, 26, 9, 4, {}},
         "Modify resources for Current Player: subtract 100 gas."},
        {A{0, 0, 0, 0, 30, 1000, 5, 27, 8, 4, {}},
         "Modify score for player group 30: add 1000 Razings points."},
        {A{0, 0, 0, 0, 0, 255, 0, 13, 11, 4, {}}, "Switch 256: randomize."},
        {A{0, 0, 0, 0, 0, 0, 9, 27, 8, 6, {}},
         "Modify score for Player 1: add 0 score kind 9 points. (disabled)"},
        {A{1, 2, 3, 4, 5, 6, 7, 200, 9, 0, {}},
         "Action type 200: player group 5, number 6, type 7, modifier 9, location 1, text 2 (no "
         "such string), sound 3, time 4 ms."},
        // Create's reward with flags 0 instead of 4: why it is no series record.
        {A{0, 0, 0, 0, 13, 100, 0, 26, 8, 0, {}},
         "Modify resources for Current Player: add 100 ore. (flags 0)"},
        {A{0, 0, 7, 1000, 0, 0, 0, 4, 0, 4, {0, 0, 1}},
         "Wait for 1000 milliseconds. (sound 7, padding 0 0 1)"},
        {A{0, 9, 0, 0, 0, 0, 0, 9, 0, 4, {}}, "Display text message: string 9 (no such string)."},
        {A{0, 0, 0, 0, 0, 0, 0, 9, 0, 0, {}}, "Display text message: no string. (flags 0)"},
        {A{2, 0, 0, 0, 0, 0, 0, 44, 1, 0x14, {}},
         "Create 1 Marine (0) at location 2 for Player 1."},
    };
    for (const auto& [a, text] : actions) {
        EXPECT_EQ(trigfile::describeAction(a), text);
    }
}

TEST(TriggerListing, WordsWhatAnActionNamesOutsideItsSlot) {
    using A = trigfile::DecodedAction;
    using trigfile::ActionExtras;
    using trigfile::GameText;
    trigfile::UnitProperties props;
    props.fieldsUsed =
        trigfile::kUnitFieldOwner | trigfile::kUnitFieldEnergy | trigfile::kUnitFieldHangar;
    props.owner = 3;
    props.energy = 25;
    props.hangar = 4;
    props.hitPoints = 9; // not in use
    props.states = trigfile::kUnitBurrowed | trigfile::kUnitInvincible;
    const struct {
        A action;
        ActionExtras extras;
        const char* text;
    } cases[] = {
        {A{0, 1, 0, 0, 0, 0, 0, 9, 0, 4, {}},
         ActionExtras{GameText{"\x03Go\r\n", trigfile::TextEncoding::Utf8}, {}},
         "Display text message: \"\\x03Go\\r\\n\"."},
        {A{0, 3, 0, 0, 0, 0, 0, 12, 0, 0, {}},
         ActionExtras{GameText{"\xec\x95\x88", trigfile::TextEncoding::Korean}, {}},
         "Set mission objectives: \"\xec\x95\x88\"."},
        {A{0, 4, 0, 0, 0, 0, 3, 21, 0, 0, {}},
         ActionExtras{GameText{"Points", trigfile::TextEncoding::Utf8}, {}},
         "Leader Board (Points): player group 0, number 0, type 3, modifier 0, location 0, text 4 "
         "\"Points\", sound 0, time 0 ms."},
        {A{5, 0, 0, 0, 1, 0, 37, 11, 2, 0x1C, {}}, ActionExtras{{}, props},
         "Create 2 Zergling (37) at location 5 for Player 2 with properties: owner Player 4, "
         "energy "
         "25%, hangar 4, burrowed, invincible."},
        {A{5, 0, 0, 0, 1, 7, 37, 11, 2, 0x14, {}}, ActionExtras{},
         "Create 2 Zergling (37) at location 5 for Player 2 with properties: slot 7."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trigfile::describeAction(c.action, c.extras), c.text);
    }
}

TEST(UnitNames, ComeFromTheUnitListIncludingWrappedNames) {
    EXPECT_EQ(trigfile::unitText(0), "Marine (0)");
    EXPECT_EQ(trigfile::unitText(17), "Alan Schezar (17)") << "a name wrapped onto a second line";
    EXPECT_EQ(trigfile::unitText(232), "Factories (232)");
    EXPECT_EQ(trigfile::unitText(233), "unit 233");
}

} // namespace
