#pragma once

#include "base/outcome.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// What --unit names: a unit number, or why the text names none.
using UnitChoice = base::Outcome<std::uint16_t>;

// A unit by its number (0 to 232) or by its name in the unit list, without
// regard to case, blanks or punctuation ("zergling", "siege tank (siege
// mode)"). A text found in only one name picks that unit ("kazansky"); one
// found in several is ambiguous. Errors list the names that come closest.
UnitChoice findUnit(std::string_view text);

} // namespace cli
