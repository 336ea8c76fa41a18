#pragma once

// What an edit says when it stops, the same on every system (inside the
// library only).

#include "base/display_name.h"
#include "safefile/write_error.h"

#include <filesystem>
#include <string>

namespace safefile {

// The map is not one the edit may touch: before anything is written,
// Tallyforge refuses it.
[[noreturn]] inline void refuseEdit(const std::filesystem::path& map, const std::string& why) {
    throw WriteError("Could not change " + base::displayName(map) + ": " + why + ".",
                     base::Problem::Kind::Refused);
}

// The system stopped the edit once it had begun.
[[noreturn]] inline void failEdit(const std::filesystem::path& map, const std::string& why) {
    throw WriteError("Could not change " + base::displayName(map) + ": " + why + ".");
}

inline constexpr char kHeldOpen[] =
    "another program has it open. Close it there (in the map editor) and try again";

} // namespace safefile
