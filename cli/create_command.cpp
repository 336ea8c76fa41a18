#include "cli/create_command.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "cli/console_text.h"
#include "cli/console_write.h"
#include "cli/exit_status.h"
#include "cli/many_triggers.h"
#include "cli/problem_report.h"
#include "trigfile/trigger_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace cli {
namespace {

// Whether -o can only mean a folder: a name that ends in a separator, "."
// or "..", or an existing folder's. Adding ".trg" would make a hidden file
// inside it ("out/.trg", "..trg") that nobody asked for.
bool namesAFolder(const std::string& output) {
    if (output.empty() || output.back() == '/') {
        return true;
    }
#ifdef _WIN32
    if (output.back() == '\\' || output.back() == ':') {
        return true;
    }
#endif
    const std::filesystem::path path = pathFromArgument(output);
    std::error_code error;
    return path.filename() == "." || path.filename() == ".." ||
           std::filesystem::is_directory(path, error);
}

} // namespace

int runCreate(const CreateOptions& options) {
    const trigfile::SeriesPlan plan = planFromOptions(options.series);
    if (!plan.ok()) {
        return reportProblem(plan.problem(), kValueProblem);
    }
    const trigfile::TriggerSeries& series = *plan;

    if (namesAFolder(options.output)) {
        return reportProblem(
            base::Problem::refused("-o takes the name of a file to write, not " +
                                   (options.output.empty()
                                        ? std::string("an empty name")
                                        : "the folder \"" + options.output + "\"") +
                                   ". Nothing was written."),
            kValueProblem);
    }
    const std::filesystem::path target =
        pathFromArgument(trigfile::withTrgExtension(options.output));
    std::error_code error;
    if (std::filesystem::exists(target, error) && !options.replace) {
        return reportProblem(
            base::Problem::refused(base::displayName(target) +
                                   " exists. Give --replace to replace it; nothing was written."),
            kValueProblem);
    }
    warnAboutManyTriggers(series.recordCount);

    const base::Outcome<base::Done> outcome =
        runConsoleWrite(series.recordCount, [&](trigfile::WriteProgress& progress) {
            return trigfile::writeTriggerFile(target, series, &progress);
        });
    if (!outcome.ok()) {
        return reportProblem(
            outcome.problem(),
            {kExitFileFailed,
             {},
             " The file was not created. Any file of that name was left as it was.",
             "Interrupted: " + base::displayName(target) +
                 " was not written. Any file of that name was left as it was."});
    }
    if (options.verbose) {
        std::printf(
            "Wrote %s %s to %s, a file of %s.\n", base::withThousands(series.recordCount).c_str(),
            series.recordCount == 1 ? "trigger" : "triggers", base::displayName(target).c_str(),
            base::fileSizeText(series.fileSize()).c_str());
    }
    return kExitOk;
}

} // namespace cli
