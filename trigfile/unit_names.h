#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace trigfile {

// One line of the unit reference list the window shows: a unit number and
// the name the list gives it.
struct UnitName {
    std::uint16_t number;
    std::string_view name;
};

// The unit list, in its own order (which is not always by number). Names that
// the list breaks over two lines are joined with a blank ("Alan Schezar").
std::span<const UnitName> unitList();

// The name the unit list gives a number; empty for a number it does not list.
std::string_view unitName(std::uint16_t number);

} // namespace trigfile
