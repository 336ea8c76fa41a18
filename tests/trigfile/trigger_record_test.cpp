#include "test_support.h"
#include "trigfile/trigger_record.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testsupport::bytes;
using testsupport::planOrFail;
using testsupport::slice;
using testsupport::typed;
using trigfile::ActionKind;
using trigfile::CheckValue;

constexpr std::size_t kSlot0Fields = 320 + 16; // action slot 0, bytes 16..28
constexpr std::size_t kSlot1 = 320 + 32;

bool allZero(const trigfile::TriggerRecord& r, std::size_t from, std::size_t to) {
    return std::all_of(r.begin() + static_cast<std::ptrdiff_t>(from),
                       r.begin() + static_cast<std::ptrdiff_t>(to), [](auto b) { return b == 0; });
}

trigfile::TriggerRecord firstRecord(const trigfile::KillRewardSettings& s) {
    const auto series = planOrFail(s);
    return trigfile::encodeRecord(series.fields, series.threshold(0));
}

TEST(Preamble, IsTheSignatureTheValue24AndAnEmptyTrigger) {
    const auto p = trigfile::encodePreamble();
    ASSERT_EQ(p.size(), 2408u);
    EXPECT_EQ(slice(p, 0, 8), bytes({0x71, 0x77, 0x98, 0x36, 0x18, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(p.begin() + 8, p.end(), [](auto b) { return b == 0; }));
}

TEST(TriggerRecord, MoneyWithOreOnlyMatchesTheKnownLayout) {
    const auto series = planOrFail(typed("5", "12", "0", "100", "0"));
    ASSERT_EQ(series.recordCount, 2u);
    for (std::uint32_t k = 0; k < 2; ++k) {
        const auto r = trigfile::encodeRecord(series.fields, series.threshold(k));
        // Current Player kills at least 5*(k+1) of unit 0.
        EXPECT_EQ(slice(r, 0, 20),
                  bytes({0, 0, 0, 0, 13, 0,    0, 0, static_cast<int>(5 * (k + 1)), 0, 0, 0,
                         0, 0, 0, 5, 0,  0x10, 0, 0}));
        EXPECT_EQ(slice(r, 336, 13), bytes({0x0D, 0, 0, 0, 0x64, 0, 0, 0, 0, 0, 0x1A, 0x08, 0x04}));
        EXPECT_TRUE(allZero(r, 20, 336)) << "other conditions and slot 0 head must be zero";
        EXPECT_TRUE(allZero(r, 349, 2372)) << "slot 1 onwards must be zero with no gas";
        EXPECT_EQ(slice(r, 2372, 28), bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(TriggerRecord, MoneyWithoutOreGivesTheGasInTheFirstAction) {
    const auto r = firstRecord(typed("1", "1", "0", "0", "300"));
    EXPECT_EQ(slice(r, kSlot0Fields, 13),
              bytes({0x0D, 0, 0, 0, 0x2C, 0x01, 0, 0, 1, 0, 0x1A, 0x08, 0x04}));
    EXPECT_TRUE(allZero(r, kSlot1, kSlot1 + 32));
}

TEST(TriggerRecord, MoneyWithOreAndGasUsesTwoActions) {
    const auto r = firstRecord(typed("1", "1", "0", "70000", "50"));
    EXPECT_EQ(slice(r, kSlot0Fields + 4, 4), bytes({0x70, 0x11, 0x01, 0x00}));
    EXPECT_EQ(slice(r, kSlot0Fields + 8, 2), bytes({0, 0}));
    EXPECT_TRUE(allZero(r, kSlot1, kSlot1 + 16));
    EXPECT_EQ(slice(r, kSlot1 + 16, 13),
              bytes({0x0D, 0, 0, 0, 0x32, 0, 0, 0, 1, 0, 0x1A, 0x08, 0x04}));
    EXPECT_TRUE(allZero(r, kSlot1 + 29, 2372));
}

TEST(TriggerRecord, MoneyWithOreAndGasZeroBothAddsZeroGas) {
    const auto r = firstRecord(typed("1", "1", "0", "0", "0"));
    EXPECT_EQ(slice(r, kSlot0Fields, 13),
              bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x1A, 0x08, 0x04}));
    EXPECT_TRUE(allZero(r, kSlot1, 2372));
}

TEST(TriggerRecord, AmountsAreLittleEndian) {
    EXPECT_EQ(slice(firstRecord(typed("1", "1", "0", "65536")), kSlot0Fields + 4, 4),
              bytes({0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(slice(firstRecord(typed("1", "1", "0", "16777215")), kSlot0Fields + 4, 4),
              bytes({0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(TriggerRecord, ScoreCarriesPointsAndScoreKind) {
    auto s = typed("1", "1", "0", "1000", "", ActionKind::Score);
    s.players[0] = CheckValue::Cleared;
    s.forces[1] = CheckValue::Ticked;
    s.scoreKind = 5; // Razings
    const auto r = firstRecord(s);
    EXPECT_EQ(slice(r, kSlot0Fields, 13),
              bytes({0x0D, 0, 0, 0, 0xE8, 0x03, 0, 0, 5, 0, 0x1B, 0x08, 0x04}));
    std::vector<std::uint8_t> table(28, 0);
    table[19] = 1;
    EXPECT_EQ(slice(r, 2372, 28), table);
}

TEST(TriggerRecord, ScoreIgnoresTheGasBox) {
    const auto r = firstRecord(typed("1", "1", "0", "5", "99", ActionKind::Score));
    EXPECT_TRUE(allZero(r, kSlot1, 2372));
}

TEST(TriggerRecord, SwitchNumbersBecomeIndexesFromZero) {
    const std::pair<const char*, int> cases[] = {{"1", 0x00}, {"2", 0x01}, {"256", 0xFF}};
    for (const auto& [number, index] : cases) {
        const auto r = firstRecord(typed("1", "1", "0", number, "40", ActionKind::Switch));
        EXPECT_EQ(slice(r, kSlot0Fields, 13),
                  bytes({0, 0, 0, 0, index, 0, 0, 0, 0, 0, 0x0D, 0x04, 0x04}))
            << "switch " << number;
        EXPECT_TRUE(allZero(r, kSlot1, 2372));
    }
}

TEST(TriggerRecord, ExecutionTableCountsOnlyTickedBoxes) {
    auto s = typed("1", "1", "230", "1");
    s.players = {CheckValue::Ticked,  CheckValue::Greyed,  CheckValue::Cleared, CheckValue::Ticked,
                 CheckValue::Cleared, CheckValue::Cleared, CheckValue::Cleared, CheckValue::Ticked};
    s.allPlayers = CheckValue::Ticked;
    s.forces = {CheckValue::Greyed, CheckValue::Cleared, CheckValue::Ticked, CheckValue::Ticked};
    const auto r = firstRecord(s);
    EXPECT_EQ(slice(r, 2372, 28), bytes({1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(slice(r, 12, 2), bytes({0xE6, 0x00})) << "unit 230";
}

TEST(TriggerRecord, AllPlayersAloneSetsOnlyItsByte) {
    auto s = typed("1", "1", "0", "1");
    s.players[0] = CheckValue::Cleared;
    s.allPlayers = CheckValue::Ticked;
    const auto r = firstRecord(s);
    for (std::size_t i = 0; i < 28; ++i) {
        EXPECT_EQ(r[2372 + i], i == 17 ? 1 : 0) << "table byte " << i;
    }
}

} // namespace
