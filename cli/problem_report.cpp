#include "cli/problem_report.h"

#include "cli/console_text.h"

namespace cli {

int reportProblem(const base::Problem& problem, const ProblemEnding& ending) {
    switch (problem.kind) {
    case base::Problem::Kind::Refused:
        printError(problem.reason + ending.afterRefusal);
        return ending.refusedStatus;
    case base::Problem::Kind::Failed:
        printError(problem.reason + ending.afterFailure);
        return kExitFileFailed;
    case base::Problem::Kind::Cancelled:
        break;
    }
    printError(ending.whenCancelled.empty() ? problem.reason : ending.whenCancelled);
    return kExitInterrupted;
}

} // namespace cli
