#include "trigfile/unit_properties.h"

#include "trigfile/trigger_record.h" // getU16, getU32

namespace trigfile {

UnitProperties decodeUnitProperties(std::span<const std::uint8_t, unitprops::kSize> block) {
    const std::uint8_t* p = block.data();
    UnitProperties u;
    u.statesUsed = getU16(p + unitprops::kStatesUsed);
    u.fieldsUsed = getU16(p + unitprops::kFieldsUsed);
    u.owner = p[unitprops::kOwner];
    u.hitPoints = p[unitprops::kHitPoints];
    u.shields = p[unitprops::kShields];
    u.energy = p[unitprops::kEnergy];
    u.resources = getU32(p + unitprops::kResources);
    u.hangar = getU16(p + unitprops::kHangar);
    u.states = getU16(p + unitprops::kStates);
    u.unused = getU32(p + unitprops::kUnused);
    return u;
}

} // namespace trigfile
