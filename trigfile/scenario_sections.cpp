#include "scenario_sections.h"

#include "number_text.h"

#include <algorithm>
#include <cstdio>

namespace trigfile {

std::string sectionNameText(const std::array<char, 4>& name) {
    std::string text;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            text += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            text += hex;
        }
    }
    return text;
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
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 4, section.name.begin());
        section.offset = at;
        section.size = getU32(data.data() + at + 4);
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
    const auto isTrig = [](const ScenarioSection& s) { return s.isNamed("TRIG"); };
    const auto trigCount = std::count_if(sections.begin(), sections.end(), isTrig);
    if (trigCount > 1) {
        return Refusal{"The scenario data has " +
                       withThousands(static_cast<std::uint64_t>(trigCount)) +
                       " TRIG sections. Which one the game runs is not certain, so Tallyforge "
                       "does not read any of them."};
    }
    const auto trig = std::find_if(sections.begin(), sections.end(), isTrig);
    if (trig == sections.end()) {
        return TriggerRecords{};
    }
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(trig->dataOffset());
    return TriggerRecords{std::vector<std::uint8_t>(from, from + trig->size)};
}

} // namespace trigfile
