#include "trigfile/kill_reward_settings.h"

#include "trigfile/leading_number.h"

namespace trigfile {

KillRewardSettings readSettings(const BoxTexts& texts) {
    KillRewardSettings settings;
    settings.killMax = leadingNumber(texts.killsUpTo);
    settings.killStep = leadingNumber(texts.killAmount);
    settings.amount = leadingNumber(texts.oreAmount);
    settings.gasAmount = leadingNumber(texts.gasAmount);
    settings.unitId = leadingNumber(texts.unitType);
    return settings;
}

KillRewardSettings normalise(KillRewardSettings settings) {
    if (settings.actionKind == ActionKind::Switch) {
        settings.amount -= 1;
    }
    if (settings.unitId > kHighestUnitNumber) {
        settings.unitId = kUnitReplacingTooHigh;
    }
    return settings;
}

} // namespace trigfile
