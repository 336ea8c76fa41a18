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

void SectionHeaderCollector::add(std::span<const std::uint8_t> bytes) {
    const std::uint64_t end = seen_ + bytes.size();
    // The headers follow one another as the parser walks them: each starts
    // where the section before it ends. No more are kept than it reads.
    while (headers_.size() < kMaxSections && next_ + partialGot_ < end) {
        const std::uint64_t at = next_ + partialGot_;
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(kSectionHeaderSize - partialGot_, end - at));
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at - seen_), take,
                    partial_.begin() + static_cast<std::ptrdiff_t>(partialGot_));
        partialGot_ += take;
        if (partialGot_ == kSectionHeaderSize) {
            headers_.emplace_back(next_, partial_);
            next_ += kSectionHeaderSize + getU32(partial_.data() + 4);
            partialGot_ = 0;
        }
    }
    seen_ = end;
}

ScenarioSectionsRead SectionHeaderCollector::sections() const {
    return parseScenarioSections(
        seen_, [&](std::size_t at) -> base::Outcome<std::array<std::uint8_t, kSectionHeaderSize>> {
            const auto found = std::lower_bound(
                headers_.begin(), headers_.end(), at,
                [](const auto& header, std::uint64_t where) { return header.first < where; });
            if (found == headers_.end() || found->first != at) {
                // Not reached: the parser asks only for headers the data holds whole,
                // and those are the ones kept.
                return base::Problem::failed("The section header at byte " +
                                             base::withThousands(at) + " was not kept.");
            }
            return found->second;
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
