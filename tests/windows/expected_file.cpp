// Writes, with the core built for this machine, the trigger file a Money
// Create makes from the given box texts and ticked players: the bytes the
// Windows program must write when scripts/windows_app.sh drives it with the
// same input.
//
//   expected_file KILL_STEP KILLS_UP_TO UNIT ORE GAS PLAYERS OUT
//
// PLAYERS lists the ticked players' numbers, e.g. "13" for Players 1 and 3.
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_series.h"

#include <cstdio>
#include <string>
#include <variant>

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s KILL_STEP KILLS_UP_TO UNIT ORE GAS PLAYERS OUT\n", argv[0]);
        return 2;
    }
    trigfile::KillRewardSettings settings =
        trigfile::readSettings(trigfile::BoxTexts{argv[2], argv[1], argv[4], argv[5], argv[3]});
    settings.actionKind = trigfile::ActionKind::Money;
    for (const char digit : std::string(argv[6])) {
        const int player = digit - '1';
        if (player < 0 || player >= 8) {
            std::fprintf(stderr, "players are 1 to 8: %s\n", argv[6]);
            return 2;
        }
        settings.players[static_cast<std::size_t>(player)] = trigfile::CheckValue::Ticked;
    }
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(settings));
    if (!plan.ok()) {
        std::fprintf(stderr, "refused: %s\n", plan.reason().c_str());
        return 1;
    }
    const base::Outcome<base::Done> outcome = trigfile::writeTriggerFile(argv[7], plan.value());
    if (!outcome.ok()) {
        std::fprintf(stderr, "not written: %s\n", outcome.reason().c_str());
        return 1;
    }
    return 0;
}
