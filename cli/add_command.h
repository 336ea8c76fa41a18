#pragma once

#include "cli/series_options.h"

#include <string>

namespace cli {

struct AddOptions {
    SeriesOptions series;
    std::string target; // --to
    bool verbose = false;
};

// tallyforge-cli add: what the window's "Add to trigger file..." and "Add to
// map..." do, through the same core functions: the same checks, the same
// backup of a map, the same refusals. Returns the exit status.
int runAdd(const AddOptions& options);

} // namespace cli
