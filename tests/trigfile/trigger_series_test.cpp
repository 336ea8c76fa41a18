#include "app/box_names.h"
#include "test_support.h"
#include "trigfile/trigger_series.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using testsupport::planOrFail;
using testsupport::typed;
using trigfile::ActionKind;

struct CountCase {
    const char* step;
    const char* max;
    std::uint32_t expectedStep;
    std::uint32_t expectedCount;
    friend void PrintTo(const CountCase& c, std::ostream* os) {
        *os << "step \"" << c.step << "\" max \"" << c.max << "\"";
    }
};

class SeriesCount : public testing::TestWithParam<CountCase> {};

TEST_P(SeriesCount, MakesOneTriggerPerThreshold) {
    const CountCase& c = GetParam();
    const auto series = planOrFail(typed(c.step, c.max, "0", "1"));
    EXPECT_EQ(series.killStep, c.expectedStep);
    EXPECT_EQ(series.recordCount, c.expectedCount);
    EXPECT_EQ(series.lastThreshold(), c.expectedStep * c.expectedCount);
    EXPECT_EQ(series.fileSize(), 2408ull + 2400ull * c.expectedCount);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, SeriesCount,
                         testing::Values(CountCase{"5", "12", 5, 2}, CountCase{"5", "10", 5, 2},
                                         CountCase{"5", "4", 5, 1}, CountCase{"5", "50", 5, 10},
                                         CountCase{"2.5", "10", 2, 5}, CountCase{"3.5", "12", 4, 3},
                                         CountCase{"5", "-3", 5, 1}, CountCase{"5", "", 5, 1},
                                         CountCase{"5", "14.99", 5, 2}, CountCase{"5", "15", 5, 3},
                                         CountCase{"1", "16777215", 1, 16777215},
                                         CountCase{"16777215", "0", 16777215, 1},
                                         CountCase{"3", "16777215", 3, 5592405}));

TEST(CountThresholds, AgreesWithStepByStepCounting) {
    for (std::uint32_t step : {1u, 2u, 3u, 7u, 1000u}) {
        for (double max : {-1.0, 0.0, 0.5, 1.0, 2.9999, 3.0, 14.0, 20.5, 999.0, 12345.678}) {
            std::uint64_t expected = 1;
            for (double t = step; t + step <= max; t += step) {
                ++expected;
            }
            EXPECT_EQ(trigfile::countThresholds(max, step), expected)
                << "step " << step << " max " << max;
        }
    }
}

struct RefusalCase {
    const char* what;
    trigfile::KillRewardSettings settings;
    const char* mentions;
    friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }
};

class SeriesRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(SeriesRefusal, RefusesWithAReasonNamingTheBox) {
    const RefusalCase& c = GetParam();
    const auto plan = trigfile::planSeries(trigfile::normalise(c.settings), boxnames::kBoxNames);
    ASSERT_FALSE(plan.ok()) << c.what << " must be refused";
    EXPECT_NE(plan.reason().find(c.mentions), std::string::npos)
        << c.what << ": \"" << plan.reason() << "\" should mention " << c.mentions;
}

trigfile::KillRewardSettings withScoreKind(trigfile::KillRewardSettings s, int kind) {
    s.scoreKind = kind;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, SeriesRefusal,
    testing::Values(
        RefusalCase{"a step that rounds to 0", typed("0.4", "10", "0", "1"),
                    "How often does it fire?"},
        RefusalCase{"an empty step", typed("", "10", "0", "1"), "How often does it fire?"},
        RefusalCase{"text as step", typed("abc", "10", "0", "1"), "How often does it fire?"},
        RefusalCase{"a negative step", typed("-5", "10", "0", "1"), "1 to 16,777,215"},
        RefusalCase{"a step beyond 32 bits", typed("1e10", "10", "0", "1"),
                    "How often does it fire?"},
        RefusalCase{"an infinite step", typed("1e999", "10", "0", "1"), "How often does it fire?"},
        RefusalCase{"a step no trigger can count to", typed("16777216", "1", "0", "1"),
                    "How often does it fire?\" must hold a number of kills from 1 to 16,777,215"},
        RefusalCase{"a maximum past the last threshold", typed("1", "16777216", "0", "1"),
                    "16,777,215"},
        RefusalCase{"an infinite maximum", typed("1", "1e999", "0", "1"),
                    "Up to what number of kills?"},
        RefusalCase{"minus infinity as maximum", typed("1", "-1e999", "0", "1"),
                    "Up to what number of kills?"},
        RefusalCase{"a huge maximum", typed("1", "1e300", "0", "1"), "Up to what number of kills?"},
        RefusalCase{"a negative unit", typed("1", "1", "-5", "1"),
                    "Number for unit needed to kill?"},
        RefusalCase{"minus infinity as unit", typed("1", "1", "-1e999", "1"), "0 to 232"},
        RefusalCase{"a negative ore amount", typed("1", "1", "0", "-1"), "How much ore per kill?"},
        RefusalCase{"too much ore", typed("1", "1", "0", "2e7"), "16,777,215"},
        RefusalCase{"infinite ore", typed("1", "1", "0", "1e999"), "How much ore per kill?"},
        RefusalCase{"too much extra gas", typed("1", "1", "0", "5", "16777216"),
                    "How much gas per kill?"},
        RefusalCase{"negative gas as the only reward", typed("1", "1", "0", "0", "-1"),
                    "How much gas per kill?"},
        RefusalCase{"too many points", typed("1", "1", "0", "1e8", "", ActionKind::Score),
                    "How many points per kill?"},
        RefusalCase{"negative points",
                    withScoreKind(typed("1", "1", "0", "-3", "", ActionKind::Score), 2),
                    "How many points per kill?"},
        RefusalCase{"switch 0", typed("1", "1", "0", "0", "", ActionKind::Switch), "1 to 256"},
        RefusalCase{"an empty switch box", typed("1", "1", "0", "", "5", ActionKind::Switch),
                    "Set what switch number?"},
        RefusalCase{"switch 257", typed("1", "1", "0", "257", "", ActionKind::Switch),
                    "Set what switch number?"}));

struct AcceptedCase {
    const char* what;
    trigfile::KillRewardSettings settings;
    friend void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.what; }
};

class SeriesAccepted : public testing::TestWithParam<AcceptedCase> {};

TEST_P(SeriesAccepted, AcceptsWhatCanBeWrittenInFull) {
    const auto plan = trigfile::planSeries(trigfile::normalise(GetParam().settings));
    EXPECT_TRUE(plan.ok()) << GetParam().what << ": " << plan.reason();
}

INSTANTIATE_TEST_SUITE_P(
    WithinRange, SeriesAccepted,
    testing::Values(
        AcceptedCase{"ore 0 and gas 0", typed("1", "1", "0", "0", "0")},
        AcceptedCase{"ore 0 and empty gas", typed("1", "1", "0", "", "")},
        AcceptedCase{"negative extra gas is not written", typed("1", "1", "0", "5", "-5")},
        AcceptedCase{"infinite negative extra gas is not written",
                     typed("1", "1", "0", "5", "-1e999")},
        AcceptedCase{"score ignores a huge gas box",
                     typed("1", "1", "0", "5", "1e999", ActionKind::Score)},
        AcceptedCase{"switch ignores the gas box",
                     typed("1", "1", "0", "256", "-7", ActionKind::Switch)},
        AcceptedCase{"the largest amount", typed("1", "1", "0", "16777215", "16777215")},
        AcceptedCase{"an amount rounding down into range", typed("1", "1", "0", "16777215.4")},
        AcceptedCase{"a small negative amount rounding to 0", typed("1", "1", "0", "-0.4")},
        AcceptedCase{"unit 232", typed("1", "1", "232", "1")},
        AcceptedCase{"unit 999 becomes 230", typed("1", "1", "999", "1")},
        AcceptedCase{"an infinite unit becomes 230", typed("1", "1", "1e999", "1")},
        AcceptedCase{"a negative maximum gives one trigger", typed("7", "-1e300", "0", "1")},
        AcceptedCase{"the largest step that fits a threshold", typed("16777215", "1", "0", "1")}));

TEST(SeriesPlan, ScoreKindOutsideTheEightButtonsFallsBackToTotal) {
    auto s = typed("1", "1", "0", "1", "", ActionKind::Score);
    s.scoreKind = 42;
    EXPECT_EQ(planOrFail(s).fields.reward.kindOrType, 0);
}

TEST(SeriesPlan, UnitAboveTheListIsWrittenAsMen) {
    EXPECT_EQ(planOrFail(typed("1", "1", "240", "1")).fields.unitId, 230);
}

} // namespace
