#pragma once

#include "series_writer.h"
#include "trigger_file.h"

#include <cstdint>
#include <functional>

namespace cli {

// How long a write may take before a progress line appears, as in the window.
inline constexpr int kProgressDelayMs = 500;

// Runs a write the way the window does, on the console: the work goes on in
// a thread of its own; Ctrl+C asks it to stop (the window's Cancel), which
// leaves any old file as it was; once it has taken half a second, a progress
// line counts the triggers on standard error, if that is a terminal. The
// line is gone when the write ends.
trigfile::WriteOutcome
runConsoleWrite(std::uint64_t totalRecords,
                const std::function<trigfile::WriteOutcome(trigfile::WriteProgress&)>& work);

// Whether standard error is a terminal (a console window on Windows).
bool stderrIsTerminal();

} // namespace cli
