#include "trigfile/string_section_edit.h"

#include "base/number_text.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace trigfile {

std::int64_t StringSectionEdit::growth() const {
    const std::int64_t before = replaces ? static_cast<std::int64_t>(replaces->size)
                                         : -static_cast<std::int64_t>(kSectionHeaderSize);
    return static_cast<std::int64_t>(bytes.size()) - before;
}

namespace {

std::uint32_t fieldAt(const std::vector<std::uint8_t>& s, std::size_t at, std::size_t width) {
    return width == 4 ? getU32(s.data() + at) : getU16(s.data() + at);
}

void putField(std::vector<std::uint8_t>& s, std::size_t at, std::size_t width, std::uint32_t v) {
    for (std::size_t i = 0; i < width; ++i) {
        s[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

base::Problem refusedMap(const std::string& why) {
    return base::Problem::refused(why + " Tallyforge does not add a message's texts to it.");
}

} // namespace

base::Outcome<StringSectionEdit>
planStringSection(std::span<const std::uint8_t> data, std::span<const ScenarioSection> sections,
                  const MessagePlan& message, std::uint32_t recordCount, std::uint32_t killStep) {
    StringSectionEdit edit;
    const auto named = [&](const char(&four)[5]) {
        return static_cast<std::size_t>(
            std::count_if(sections.begin(), sections.end(),
                          [&](const ScenarioSection& s) { return s.isNamed(four); }));
    };
    const bool strx = named("STRx") > 0;
    const char(&kind)[5] = strx ? "STRx" : "STR ";
    std::copy_n(kind, 4, edit.name.begin());
    const std::string kindText = strx ? "STRx" : "STR";
    if (named(kind) > 1) {
        return refusedMap("The map has " + base::withThousands(named(kind)) + " " + kindText +
                          " sections, laid over one another as the game reads them.");
    }
    const std::size_t width = strx ? 4 : 2;
    std::vector<std::uint8_t> old(width, 0); // a section made new holds no strings
    for (const ScenarioSection& s : sections) {
        if (s.isNamed(kind)) {
            edit.replaces = s;
            const auto from = data.subspan(s.dataOffset(), s.size);
            old.assign(from.begin(), from.end());
        }
    }
    if (old.size() < width) {
        return refusedMap("The map's " + kindText + " section is too short to hold its count.");
    }
    const std::uint32_t count = fieldAt(old, 0, width);
    const std::uint64_t tableEnd = static_cast<std::uint64_t>(width) * (1 + std::uint64_t{count});
    if (tableEnd > old.size()) {
        return refusedMap("The map's " + kindText + " section lists " + base::withThousands(count) +
                          " strings but has no room for their " + "offsets.");
    }
    const std::size_t room =
        old.size() < kStringSectionBudget ? kStringSectionBudget - old.size() : 0;
    const std::string roomText = "The map's " + kindText + " section has room for " +
                                 base::withThousands(room) + " more bytes (of " +
                                 base::withThousands(kStringSectionBudget) + ")";

    // The strings the section holds, by their text, each first number kept.
    std::unordered_map<std::string, std::uint32_t> known;
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::size_t offset = fieldAt(old, width * n, width);
        if (offset >= old.size()) {
            continue; // no such string; it stays past the end below
        }
        const auto begin = old.begin() + static_cast<std::ptrdiff_t>(offset);
        known.emplace(std::string(begin, std::find(begin, old.end(), std::uint8_t{0})), n);
    }

    // The texts of the series, named where they are or added in order.
    const bool eachOwn = message.eachTriggerOwnText();
    const std::uint32_t texts = eachOwn ? recordCount : 1;
    // Each added text costs its offset and at least one byte and its NUL:
    // a series far past the room is refused before its texts are made.
    if (texts > known.size() + room / (width + 2)) {
        return base::Problem::refused(roomText + ", too little for " + base::withThousands(texts) +
                                      " texts. Please shorten the series and try again.");
    }
    std::vector<std::string> added;
    std::unordered_map<std::string, std::uint32_t> addedNumbers;
    std::uint64_t addedBytes = 0;
    std::string text;
    edit.numbers.listed.reserve(texts);
    for (std::uint32_t i = 0; i < texts; ++i) {
        message.textFor((i + 1) * killStep, text);
        if (const auto found = known.find(text); found != known.end()) {
            edit.numbers.listed.push_back(found->second);
            continue;
        }
        auto [at, isNew] =
            addedNumbers.emplace(text, count + 1 + static_cast<std::uint32_t>(added.size()));
        if (isNew) {
            addedBytes += width + text.size() + 1;
            if (addedBytes > room) {
                break; // refused below, with the whole need
            }
            added.push_back(text);
        }
        edit.numbers.listed.push_back(at->second);
    }
    const std::uint64_t newCount = count + std::uint64_t{added.size()};
    if (addedBytes > room || (!strx && newCount > 0xFFFF)) {
        std::uint64_t need = 0;
        for (std::uint32_t i = 0; i < texts && need <= 2 * kStringSectionBudget; ++i) {
            message.textFor((i + 1) * killStep, text);
            need += known.count(text) ? 0 : width + text.size() + 1;
        }
        return base::Problem::refused(
            roomText + ", but the message's texts need " +
            (need > 2 * kStringSectionBudget ? "far more" : base::withThousands(need)) +
            ". Please shorten the message or the series and try again.");
    }

    if (added.empty()) {
        edit.bytes = std::move(old); // every text is there already: the section stays as it is
        return edit;
    }
    // The new section: the count, the old offsets moved past the longer
    // table, the new offsets, the old texts, the new texts.
    const std::size_t growth = width * added.size();
    const std::size_t newTableEnd = static_cast<std::size_t>(tableEnd) + growth;
    std::vector<std::uint8_t>& out = edit.bytes;
    out.reserve(old.size() + static_cast<std::size_t>(addedBytes));
    out.assign(newTableEnd, 0);
    out.insert(out.end(), old.begin() + static_cast<std::ptrdiff_t>(tableEnd), old.end());
    putField(out, 0, width, static_cast<std::uint32_t>(newCount));
    for (std::size_t k = 0; k < added.size(); ++k) {
        putField(out, width * (count + 1 + k), width, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), added[k].begin(), added[k].end());
        out.push_back(0);
    }
    std::vector<std::uint32_t> emptyInTable; // strings whose offset lies in the old table
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::uint32_t offset = fieldAt(old, width * n, width);
        if (offset < tableEnd) {
            // The bytes of the table change, so the string would too; one
            // that reads as empty (unused strings often point at a 0 there)
            // is pointed at an empty string instead.
            if (old[offset] != 0) {
                return refusedMap("String " + base::withThousands(n) +
                                  " of the map starts inside " + "the " + kindText +
                                  " section's table of offsets.");
            }
            emptyInTable.push_back(n);
            continue;
        }
        // A string past the end of the section stays past it.
        const std::uint64_t moved =
            std::uint64_t{offset} + (offset < old.size() ? growth : out.size() - old.size());
        if (!strx && moved > 0xFFFF) {
            return refusedMap("String " + base::withThousands(n) +
                              " of the map lies past the end " +
                              "of its STR section, where a longer table cannot follow it.");
        }
        putField(out, width * n, width, static_cast<std::uint32_t>(moved));
    }
    for (const std::uint32_t n : emptyInTable) {
        putField(out, width * n, width, static_cast<std::uint32_t>(out.size() - 1)); // a NUL
    }
    if (out.size() > kStringSectionBudget) {
        return base::Problem::refused(roomText + ", but the message's texts need " +
                                      base::withThousands(out.size() - old.size()) +
                                      ". Please shorten the message or the series and try again.");
    }
    return edit;
}

} // namespace trigfile
