#include "scenario_sections.h"

#include "number_text.h"
#include "string_table.h"

#include <algorithm>

namespace trigfile {

std::string sectionNameText(const std::array<char, 4>& name) {
    return printableBytes(std::string_view(name.data(), name.size()));
}

ScenarioSectionsRead parseScenarioSections(std::span<const std::uint8_t> data) {
    std::vector<ScenarioSection> sections;
    std::size_t at = 0;
    while (at < data.size()) {
        if (data.size() - at < kSectionHeaderSize) {
            return Refusal{"The scenario data ends inside a section header, at byte " +
                           withThousands(at) + "."};
        }
        if (sections.size() == kMaxSections) {
            return Refusal{"The scenario data has more than " + withThousands(kMaxSections) +
                           " sections."};
        }
        ScenarioSection section;
        const std::size_t nameSize = section.name.size(); // the size follows the name
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), nameSize, section.name.begin());
        section.offset = at;
        section.size = getU32(data.data() + at + nameSize);
        const std::string name = sectionNameText(section.name);
        if (section.size > data.size() - section.dataOffset()) {
            return Refusal{"The section " + name + " at byte " + withThousands(at) + " claims " +
                           withThousands(section.size) + " bytes, more than the " +
                           withThousands(data.size() - section.dataOffset()) +
                           " left in the scenario data."};
        }
        if (section.isNamed("TRIG") && section.size % kRecordSize != 0) {
            return Refusal{"The TRIG section at byte " + withThousands(at) + " is " +
                           withThousands(section.size) + " bytes long, not whole triggers of " +
                           withThousands(kRecordSize) + " bytes."};
        }
        sections.push_back(section);
        at = section.end();
    }
    return sections;
}

TriggerFileRead readScenarioTriggers(std::span<const std::uint8_t> data) {
    auto parsed = parseScenarioSections(data);
    if (auto* refusal = std::get_if<Refusal>(&parsed)) {
        return std::move(*refusal);
    }
    const auto& sections = std::get<std::vector<ScenarioSection>>(parsed);
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
