#include "unit_names.h"

namespace trigfile {
namespace {

constexpr UnitName kUnits[] = {
#include "unit_table.inc"
};

} // namespace

std::span<const UnitName> unitList() {
    return kUnits;
}

std::string_view unitName(std::uint16_t number) {
    for (const UnitName& unit : kUnits) {
        if (unit.number == number) {
            return unit.name;
        }
    }
    return {};
}

} // namespace trigfile
