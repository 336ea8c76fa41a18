#pragma once

#include "trigfile/game_text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace trigfile {

struct ScenarioSection;

// A map's strings, which its actions name by number (from 1). The STR
// section holds a 16-bit count, that many 16-bit offsets and the texts; the
// STRx section of StarCraft: Remastered maps the same with 32-bit count and
// offsets. An offset counts from the start of the section; a text runs to
// its NUL or to the section's end.
class StringTable {
  public:
    enum class Width { Str = 2, Strx = 4 }; // bytes of the count and of each offset

    StringTable() = default;
    StringTable(std::vector<std::uint8_t> section, Width width)
        : section_(std::move(section)), width_(width) {}

    // The bytes of string `number` without its NUL; nothing for 0, for a
    // number beyond the count or whose offset the section does not hold,
    // and for an offset outside the section.
    std::optional<std::string_view> bytes(std::uint32_t number) const;

    // The count the section gives (its offsets may not all be there).
    std::uint32_t count() const;
    // How many of the counted strings have their offset in the section.
    std::uint32_t offsetsHeld() const;
    Width width() const { return width_; }

  private:
    std::uint32_t field(std::size_t at) const; // a count or offset at `at`
    std::vector<std::uint8_t> section_;
    Width width_ = Width::Str;
};

// The strings of scenario data: from its STRx section where it has one,
// else from its STR section; nothing when it has neither. Where a map has
// several sections of the kind, each later one is laid over the one before
// from its start, as the game reads them.
std::optional<StringTable> readStringTable(std::span<const std::uint8_t> data,
                                           std::span<const ScenarioSection> sections);

// The encoding a map's strings show, for texts added to them. Each string
// is read as decodeGameText reads it: one that reads as UTF-8 (plain ASCII
// does) says nothing of an older code page, since the game reads it the
// same way beside strings of any other. So CP949 when every other string
// reads as CP949, CP1252 when one does not, and UTF-8 when no string needs
// an older code page.
TextEncoding encodingShownBy(const StringTable& strings);

} // namespace trigfile
