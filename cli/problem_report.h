#pragma once

#include "base/outcome.h"
#include "cli/exit_status.h"

#include <string>

namespace cli {

// How a command words a problem's end and the status it ends with.
struct ProblemEnding {
    // A refusal of a value (kExitRefused) or of a file (kExitFileFailed).
    ExitStatus refusedStatus;
    std::string afterRefusal;  // said after a refusal's reason
    std::string afterFailure;  // said after a failure's reason
    std::string whenCancelled; // said when the user interrupted, instead of the reason
};

// A value or a usage refused: nothing was read or written.
inline const ProblemEnding kValueProblem{kExitRefused, {}, {}, {}};
// A file that could not be read, or was refused as unsafe to read.
inline const ProblemEnding kReadProblem{kExitFileFailed, {}, {}, {}};

// The command line's one way of telling a problem: a line on standard error
// and the exit status, by the problem's kind.
int reportProblem(const base::Problem& problem, const ProblemEnding& ending);

} // namespace cli
