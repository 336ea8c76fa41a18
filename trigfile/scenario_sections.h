#pragma once

#include "base/outcome.h"
#include "trigfile/trigger_file_reader.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace trigfile {

// Scenario data (a map's scenario.chk) is a sequence of sections, each a
// 4-byte name, a 32-bit little-endian size and that many bytes of data.
inline constexpr std::size_t kSectionHeaderSize = 8;

// More sections than any map needs; a file made of empty sections is refused
// at this count rather than listed.
inline constexpr std::size_t kMaxSections = 65'536;

struct ScenarioSection {
    std::array<char, 4> name{};
    std::size_t offset = 0; // of the section's header, from the start of the data
    std::uint32_t size = 0; // of its data, which follows the header

    std::size_t dataOffset() const { return offset + kSectionHeaderSize; }
    std::size_t end() const { return dataOffset() + size; }
    bool isNamed(const char (&four)[5]) const { return std::equal(name.begin(), name.end(), four); }
};

// Every section in file order: together they cover the data exactly, so an
// editor can replace one and copy the others byte for byte.
using ScenarioSectionsRead = base::Outcome<std::vector<ScenarioSection>>;

// Refuses a section whose size runs past the end, data that ends inside a
// section header, a TRIG section that is not whole trigger records, and more
// than kMaxSections sections. Maps protected by such tricks are not half-read.
ScenarioSectionsRead parseScenarioSections(std::span<const std::uint8_t> data);

// The same for data of dataSize bytes read elsewhere (a file a part at a
// time): header(at) gives the 8 bytes of the section header at `at`.
using SectionHeaderReader =
    std::function<base::Outcome<std::array<std::uint8_t, kSectionHeaderSize>>(std::size_t at)>;
ScenarioSectionsRead parseScenarioSections(std::uint64_t dataSize,
                                           const SectionHeaderReader& header);

// The section headers of scenario data that passes by a part at a time
// (read from a map front to back, never held whole), kept so that
// parseScenarioSections checks them, once all the data has passed, as it
// checks data held whole.
class SectionHeaderCollector {
  public:
    void add(std::span<const std::uint8_t> bytes);
    ScenarioSectionsRead sections() const;

  private:
    std::uint64_t seen_ = 0; // the bytes that passed
    std::uint64_t next_ = 0; // where the next header starts
    std::array<std::uint8_t, kSectionHeaderSize> partial_{};
    std::size_t partialGot_ = 0;
    std::vector<std::pair<std::uint64_t, std::array<std::uint8_t, kSectionHeaderSize>>> headers_;
};

// The triggers of scenario data as the game reads them: the records of its
// TRIG sections one after another (a map with several is "stacked", a trick
// of map protectors; trigSections says how many), none without a TRIG
// section; and the strings its actions name (string_table.h).
TriggerFileRead readScenarioTriggers(std::span<const std::uint8_t> data);

// The data of the sections named `name` laid over one another, each later
// one from the start of those before it, as the game reads a section that
// comes more than once; nothing without one.
std::optional<std::vector<std::uint8_t>> overlaidSections(std::span<const std::uint8_t> data,
                                                          std::span<const ScenarioSection> sections,
                                                          const char (&name)[5]);

// A section name for messages: printable letters as they are, others as \xNN.
std::string sectionNameText(const std::array<char, 4>& name);

} // namespace trigfile
