#pragma once

#include <cstdint>
#include <string>

namespace trigfile {

// A unit's name as the program's unit list gives it, or an empty text for a
// number the list does not have.
std::string unitName(std::uint32_t unitNumber);

// "Zergling (37)"; "unit 240" for a number the list does not have.
std::string unitText(std::uint32_t unitNumber);

} // namespace trigfile
