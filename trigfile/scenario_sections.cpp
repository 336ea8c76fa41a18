#include "trigfile/scenario_sections.h"

#include "base/number_text.h"
#include "trigfile/string_table.h"

#include <algorithm>

namespace trigfile {

std::string sectionNameText(const std::array<char, 4>& name) {
    return base::printableBytes(std::string_view(name.data(), name.size()));
}

ScenarioSectionsRead parseScenarioSections(std::uint64_t dataSize,
                                           const SectionHeaderReader& header) {
    std::vector<ScenarioSection> sections;
    std::size_t at = 0;
    const auto size = static_cast<std::size_t>(dataSize);
    while (at < size) {
        if (size - at < kSectionHeaderSize) {
            return base::Problem::refused(
                "The scenario data ends inside a section header, at byte " +
                base::withThousands(at) + ".");
        }
        if (sections.size() == kMaxSections) {
            return base::Problem::refused("The scenario data has more than " +
                                          base::withThousands(kMaxSections) + " sections.");
        }
        auto bytes = header(at);
        if (!bytes.ok()) {
            return std::move(bytes.problem());
        }
        ScenarioSection section;
        const std::size_t nameSize = section.name.size(); // the size follows the name
        std::copy_n(bytes->begin(), nameSize, section.name.begin());
        section.offset = at;
        section.size = getU32(bytes->data() + nameSize);
        const std::string name = sectionNameText(section.name);
        if (section.size > size - section.dataOffset()) {
            return base::Problem::refused(
                "The section " + name + " at byte " + base::withThousands(at) + " claims " +
                base::withThousands(section.size) + " bytes, more than the " +
                base::withThousands(size - section.dataOffset()) + " left in the scenario data.");
        }
        if (section.isNamed("TRIG") && section.size % kRecordSize != 0) {
            return base::Problem::refused("The TRIG section at byte " + base::withThousands(at) +
                                          " is " + base::withThousands(section.size) +
                                          " bytes long, not whole triggers of " +
                                          base::withThousands(kRecordSize) + " bytes.");
        }
        sections.push_back(section);
        at = section.end();
    }
    return sections;
}

ScenarioSectionsRead parseScenarioSections(std::span<const std::uint8_t> data) {
    return parseScenarioSections(data.size(),
                                 [&](std::size_t at) -> base::Outcome<std::array<std::uint8_t, 8>> {
                                     std::array<std::uint8_t, kSectionHeaderSize> header{};
                                     std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at),
                                                 header.size(), header.begin());
                                     return header;
                                 });
}

TriggerFileRead readScenarioTriggers(std::span<const std::uint8_t> data) {
    auto parsed = parseScenarioSections(data);
    if (!parsed.ok()) {
        return std::move(parsed.problem());
    }
    const std::vector<ScenarioSection>& sections = *parsed;
    TriggerRecords records;
    std::size_t size = 0;
    for (const ScenarioSection& s : sections) {
        if (s.isNamed("TRIG")) {
            size += s.size;
            ++records.trigSections;
        }
    }
    records.bytes.reserve(size);
    for (const ScenarioSection& s : sections) {
        if (s.isNamed("TRIG")) {
            const auto from = data.begin() + static_cast<std::ptrdiff_t>(s.dataOffset());
            records.bytes.insert(records.bytes.end(), from, from + s.size);
        }
    }
    records.strings = readStringTable(data, sections);
    return records;
}

std::optional<std::vector<std::uint8_t>> overlaidSections(std::span<const std::uint8_t> data,
                                                          std::span<const ScenarioSection> sections,
                                                          const char (&name)[5]) {
    std::optional<std::vector<std::uint8_t>> bytes;
    for (const ScenarioSection& s : sections) {
        if (!s.isNamed(name)) {
            continue;
        }
        const auto from = data.subspan(s.dataOffset(), s.size);
        if (!bytes) {
            bytes.emplace(from.begin(), from.end());
            continue;
        }
        if (bytes->size() < from.size()) {
            bytes->resize(from.size());
        }
        std::copy(from.begin(), from.end(), bytes->begin());
    }
    return bytes;
}

} // namespace trigfile
