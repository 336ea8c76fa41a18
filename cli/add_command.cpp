#include "cli/add_command.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "cli/console_text.h"
#include "cli/console_write.h"
#include "cli/exit_status.h"
#include "cli/many_triggers.h"
#include "cli/problem_report.h"
#include "maparchive/add_to_map.h"

#include <cstdio>

namespace cli {

int runAdd(const AddOptions& options) {
    const trigfile::SeriesPlan plan = planFromOptions(options.series);
    if (!plan.ok()) {
        return reportProblem(plan.problem(), kValueProblem);
    }
    const trigfile::TriggerSeries& series = *plan;

    const std::filesystem::path target = pathFromArgument(options.target);
    if (maparchive::targetOf(target) == maparchive::Target::Unknown) {
        return reportProblem(base::Problem::refused("--to takes a trigger file (.trg), a scenario "
                                                    "file (.chk) or a map (.scm, .scx), not " +
                                                    base::displayName(target) + "."),
                             kValueProblem);
    }
    // A problem with the file: it is left as it was. What stops the first
    // read says so; what stops the add itself says it in its reason.
    const std::string interrupted =
        "Interrupted: nothing was added; " + base::displayName(target) + " was left as it was.";
    const ProblemEnding readProblem{kExitFileFailed, " Nothing was changed.",
                                    " Nothing was changed.", interrupted};
    const ProblemEnding addProblem{kExitFileFailed, {}, {}, interrupted};
    // Read first, as the window does, for the count of triggers per player.
    const base::Outcome<maparchive::BeforeAdd> before = maparchive::checkBeforeAdd(target, series);
    if (!before.ok()) {
        return reportProblem(before.problem(), readProblem);
    }
    // A series longer than the target can take is a value that cannot be used.
    if (before->tooLong) {
        return reportProblem(*before->tooLong,
                             ProblemEnding{kExitRefused, " Nothing was changed.", {}, {}});
    }
    warnAboutManyTriggers(before->mostForOnePlayer, before->manyTriggersNote);

    const trigfile::AddOutcome outcome =
        runConsoleWrite(series.recordCount, [&](trigfile::WriteProgress& progress) {
            return maparchive::addSeries(target, series, &progress);
        });
    if (!outcome.ok()) {
        return reportProblem(outcome.problem(), addProblem);
    }
    if (options.verbose) {
        std::printf("Added %s %s to %s, which now holds %s.\n",
                    base::withThousands(series.recordCount).c_str(),
                    series.recordCount == 1 ? "trigger" : "triggers",
                    base::displayName(target).c_str(),
                    base::withThousands(outcome->triggersAfter).c_str());
        if (!outcome->backup.empty()) {
            std::printf("The %s as it was is kept as %s.\n",
                        maparchive::targetOf(target) == maparchive::Target::TriggerFile
                            ? "trigger file"
                            : "map",
                        base::displayName(outcome->backup).c_str());
        }
        if (!outcome->note.empty()) {
            std::printf("%s\n", outcome->note.c_str());
        }
    }
    return kExitOk;
}

} // namespace cli
