#include "add_command.h"

#include "add_to_map.h"
#include "atomic_file.h"
#include "console_text.h"
#include "console_write.h"
#include "exit_status.h"
#include "many_triggers.h"
#include "number_text.h"

#include <cstdio>

namespace cli {

int runAdd(const AddOptions& options) {
    auto plan = planFromOptions(options.series);
    if (const auto* error = std::get_if<std::string>(&plan)) {
        printError(*error);
        return kExitRefused;
    }
    const auto& series = std::get<trigfile::TriggerSeries>(plan);

    const std::filesystem::path target = pathFromArgument(options.target);
    if (maparchive::targetOf(target) == maparchive::Target::Unknown) {
        printError("--to takes a trigger file (.trg), a scenario file (.chk) or a map (.scm, "
                   ".scx), not " +
                   trigfile::displayName(target) + ".");
        return kExitRefused;
    }
    // Read first, as the window does, for the count of triggers per owner.
    const trigfile::Inspection inspection = maparchive::inspectTarget(target);
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&inspection)) {
        printError(refusal->reason + " Nothing was changed.");
        return kExitFileFailed;
    }
    const auto& existing = std::get<trigfile::OwnerCounts>(inspection);
    if (const auto refusal = trigfile::tooLongToAdd(existing, series)) {
        printError(trigfile::displayName(target) + ": " + refusal->reason +
                   " Nothing was changed.");
        return kExitRefused;
    }
    warnAboutManyTriggers(trigfile::mostTriggersForOnePlayer(existing, series),
                          existing.forces.known ? "" : trigfile::kForcesCountedForEveryPlayer);

    const trigfile::AddOutcome outcome =
        runConsoleWrite(series.recordCount, [&](trigfile::WriteProgress& progress) {
            return maparchive::addSeries(target, series, &progress);
        });
    switch (outcome.status) {
    case trigfile::AddOutcome::Status::Added:
        if (options.verbose) {
            std::printf("Added %s %s to %s, which now holds %s.\n",
                        trigfile::withThousands(series.recordCount).c_str(),
                        series.recordCount == 1 ? "trigger" : "triggers",
                        trigfile::displayName(target).c_str(),
                        trigfile::withThousands(outcome.triggersAfter).c_str());
            if (!outcome.backup.empty()) {
                std::printf("The %s as it was is kept as %s.\n",
                            maparchive::targetOf(target) == maparchive::Target::TriggerFile
                                ? "trigger file"
                                : "map",
                            trigfile::displayName(outcome.backup).c_str());
            }
            if (!outcome.note.empty()) {
                std::printf("%s\n", outcome.note.c_str());
            }
        }
        return kExitOk;
    case trigfile::AddOutcome::Status::Cancelled:
        printError("Interrupted: nothing was added; " + trigfile::displayName(target) +
                   " was left as it was.");
        return kExitInterrupted;
    case trigfile::AddOutcome::Status::Refused:
    case trigfile::AddOutcome::Status::Failed:
        break;
    }
    printError(outcome.reason);
    return kExitFileFailed;
}

} // namespace cli
