#pragma once

#include "cli/series_options.h"

#include <string>

namespace cli {

struct CreateOptions {
    SeriesOptions series;
    std::string output; // -o
    bool replace = false;
    bool verbose = false;
};

// tallyforge-cli create: what the window's Create does, with the file named
// on the command line. Returns the exit status.
int runCreate(const CreateOptions& options);

} // namespace cli
