#include "cli/many_triggers.h"

#include "base/number_text.h"
#include "cli/console_text.h"

namespace cli {

void warnAboutManyTriggers(std::uint64_t mostForOnePlayer, const std::string& note) {
    if (mostForOnePlayer > trigfile::kMostTriggersPerPlayer) {
        printError("warning: a player would have " + base::withThousands(mostForOnePlayer) +
                   " triggers. A player who owns more than " +
                   base::withThousands(trigfile::kMostTriggersPerPlayer) +
                   " triggers makes StarCraft crash when a game is saved." +
                   (note.empty() ? "" : " " + note));
    }
}

} // namespace cli
