#include "cli/many_triggers.h"

#include "base/number_text.h"
#include "cli/console_text.h"

namespace cli {

void warnAboutManyTriggers(std::uint64_t mostForOneOwner) {
    if (mostForOneOwner > trigfile::kMostTriggersPerPlayer) {
        printError("warning: an owner would have " + base::withThousands(mostForOneOwner) +
                   " triggers. A player who owns more than " +
                   base::withThousands(trigfile::kMostTriggersPerPlayer) +
                   " triggers makes StarCraft crash when a game is saved.");
    }
}

} // namespace cli
