#include "many_triggers.h"

#include "console_text.h"
#include "number_text.h"

namespace cli {

void warnAboutManyTriggers(std::uint64_t mostForOnePlayer, const std::string& note) {
    if (mostForOnePlayer > trigfile::kMostTriggersPerPlayer) {
        printError("warning: a player would have " + trigfile::withThousands(mostForOnePlayer) +
                   " triggers. A player who owns more than " +
                   trigfile::withThousands(trigfile::kMostTriggersPerPlayer) +
                   " triggers makes StarCraft crash when a game is saved." +
                   (note.empty() ? "" : " " + note));
    }
}

} // namespace cli
