#pragma once

#include <string>

namespace trigfile {

// Why something cannot be done, in words for the user.
struct Refusal {
    std::string reason;
};

} // namespace trigfile
