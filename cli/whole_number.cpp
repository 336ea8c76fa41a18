#include "cli/whole_number.h"

#include "trigfile/leading_number.h"

#include <algorithm>

namespace cli {

std::optional<double> wholeNumber(std::string_view text) {
    const bool digitsOnly = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (!digitsOnly) {
        return std::nullopt;
    }
    // Plain digits read the same by the window's rule as by any other.
    return trigfile::leadingNumber(text);
}

} // namespace cli
