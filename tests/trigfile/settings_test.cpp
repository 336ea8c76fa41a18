#include "trigfile/kill_reward_settings.h"

#include <gtest/gtest.h>

namespace {

using trigfile::ActionKind;
using trigfile::KillRewardSettings;

TEST(ReadSettings, ReadsEachBoxIntoItsOwnField) {
    const KillRewardSettings s =
        trigfile::readSettings(trigfile::BoxTexts{"50", "5", "100", "20", "12\r\n"});
    EXPECT_EQ(s.killMax, 50);
    EXPECT_EQ(s.killStep, 5);
    EXPECT_EQ(s.amount, 100);
    EXPECT_EQ(s.gasAmount, 20);
    EXPECT_EQ(s.unitId, 12);
}

TEST(Normalise, SwitchNumbersAreStoredFromZero) {
    KillRewardSettings s;
    s.actionKind = ActionKind::Switch;
    s.amount = 1;
    EXPECT_EQ(trigfile::normalise(s).amount, 0);
    s.amount = 256;
    EXPECT_EQ(trigfile::normalise(s).amount, 255);
}

TEST(Normalise, OtherKindsKeepTheirAmount) {
    for (ActionKind kind : {ActionKind::Money, ActionKind::Score}) {
        KillRewardSettings s;
        s.actionKind = kind;
        s.amount = 1;
        s.gasAmount = 7;
        EXPECT_EQ(trigfile::normalise(s).amount, 1);
        EXPECT_EQ(trigfile::normalise(s).gasAmount, 7);
    }
}

TEST(Normalise, UnitsAboveTheListBecomeMen) {
    const std::pair<double, double> cases[] = {{233, 230}, {240, 230}, {232.5, 230}, {232, 232},
                                               {231, 231}, {0, 0},     {-5, -5}};
    for (const auto& [typedUnit, stored] : cases) {
        KillRewardSettings s;
        s.unitId = typedUnit;
        EXPECT_EQ(trigfile::normalise(s).unitId, stored) << "unit " << typedUnit;
    }
}

} // namespace
