#pragma once

#include <string>

namespace cli {

struct ShowOptions {
    std::string file;
    bool json = false;
};

// tallyforge-cli show: the listing the window's Open... shows, or the same
// as one JSON document (its shape is in the README). Returns the exit status.
int runShow(const ShowOptions& options);

} // namespace cli
