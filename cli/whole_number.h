#pragma once

#include <optional>
#include <string_view>

namespace cli {

// A number given on the command line: decimal digits and nothing else, the
// whole argument ("12abc", "1e3", " 5" and "-1" are not numbers). Large
// values are kept as they are, so that the range checks can name them;
// beyond a double's range the result is infinity.
std::optional<double> wholeNumber(std::string_view text);

} // namespace cli
