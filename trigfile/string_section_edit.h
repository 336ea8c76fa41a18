#pragma once

#include "base/outcome.h"
#include "trigfile/reward_message.h"
#include "trigfile/scenario_sections.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace trigfile {

// The most bytes a map's string section may hold: STR's offsets are 16-bit,
// and Tallyforge keeps STRx within the same bound, which every version of
// the game reads.
inline constexpr std::size_t kStringSectionBudget = 65'536;

// A map's string section with the texts of a series' message in it: a text
// the section already holds is named where it is, the others are added
// after its last string. The strings already there keep their numbers and
// their texts.
struct StringSectionEdit {
    std::array<char, 4> name{};              // "STRx" where the map has it, else "STR "
    std::optional<ScenarioSection> replaces; // none: a STR section is made at the end
    std::vector<std::uint8_t> bytes;         // the section's new data
    TextNumbers numbers;                     // what each trigger's action names

    // How many bytes the scenario data grows by.
    std::int64_t growth() const;
};

// The edit for this series' message, or why the map cannot take it: a
// section over its budget (saying how much room is left), several string
// sections laid over one another, a string section whose table does not
// fit it.
base::Outcome<StringSectionEdit>
planStringSection(std::span<const std::uint8_t> data, std::span<const ScenarioSection> sections,
                  const MessagePlan& message, std::uint32_t recordCount, std::uint32_t killStep);

} // namespace trigfile
