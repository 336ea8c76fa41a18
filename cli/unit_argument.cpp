#include "cli/unit_argument.h"

#include "base/ascii.h"
#include "cli/whole_number.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/unit_names.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace cli {
namespace {

// Letters and digits only, in lower case: "Siege Tank(Siege mode)" and
// "siege tank (siege mode)" both become "siegetanksiegemode".
std::string folded(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out.push_back(base::lowerAscii(static_cast<char>(c)));
        }
    }
    return out;
}

// Levenshtein distance, for suggestions.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0u : 1u)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

struct Unit {
    std::uint16_t number;
    std::string name;
};

// The units of the unit list, by number.
const std::vector<Unit>& units() {
    static const std::vector<Unit> list = [] {
        std::vector<Unit> out;
        for (std::uint16_t n = 0; n <= trigfile::kHighestUnitNumber; ++n) {
            if (std::string name = trigfile::unitName(n); !name.empty()) {
                out.push_back(Unit{n, std::move(name)});
            }
        }
        return out;
    }();
    return list;
}

std::string listed(const std::vector<const Unit*>& found) {
    std::string out;
    for (const Unit* unit : found) {
        out += out.empty() ? "" : ", ";
        out += trigfile::unitText(unit->number);
    }
    return out;
}

// The names closest to the text: those within a few edits of it, or of a
// word of it, best first.
std::vector<const Unit*> nearest(const std::string& key) {
    constexpr std::size_t kMostSuggestions = 5;
    std::vector<std::pair<std::size_t, const Unit*>> scored;
    for (const Unit& unit : units()) {
        const std::string name = folded(unit.name);
        std::size_t best = editDistance(key, name);
        // A name that starts or ends like the text is as good as its prefix.
        if (name.size() > key.size()) {
            best = std::min(best, editDistance(key, name.substr(0, key.size())) + 1);
        }
        if (best <= std::max<std::size_t>(2, key.size() / 3)) {
            scored.emplace_back(best, &unit);
        }
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const Unit*> out;
    for (std::size_t i = 0; i < scored.size() && i < kMostSuggestions; ++i) {
        out.push_back(scored[i].second);
    }
    return out;
}

// "-1", "+5", "2.5": a number with a sign or a fraction is no unit number,
// and never a part of a name to look for ("1" is in "Mineral Cluster Type 1").
bool looksLikeNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::string unitRangeText() {
    return "--unit must be a unit number from 0 to " +
           std::to_string(trigfile::kHighestUnitNumber) + " or a name from the unit list";
}

} // namespace

UnitChoice findUnit(std::string_view text) {
    const auto number = wholeNumber(text);
    if (number && *number <= trigfile::kHighestUnitNumber) {
        return static_cast<std::uint16_t>(*number);
    }
    if (number || looksLikeNumber(text)) {
        return base::Problem::refused(unitRangeText() + ", not " + std::string(text) + ".");
    }
    const std::string key = folded(text);
    if (key.empty()) {
        return base::Problem::refused(unitRangeText() + ".");
    }
    std::vector<const Unit*> containing;
    for (const Unit& unit : units()) {
        const std::string name = folded(unit.name);
        if (name == key) {
            return unit.number;
        }
        if (name.find(key) != std::string::npos) {
            containing.push_back(&unit);
        }
    }
    if (containing.size() == 1) {
        return containing.front()->number;
    }
    // Appended rather than "\"" + ...: optimised GCC 12 builds warn falsely about that.
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    if (containing.size() > 1) {
        return base::Problem::refused("--unit " + quoted +
                                      " is in the names of several units: " + listed(containing) +
                                      ". Please give the whole name or the number.");
    }
    const auto near = nearest(key);
    std::string message = "--unit " + quoted + " is no unit of the unit list.";
    if (!near.empty()) {
        message += " Near matches: " + listed(near) + ".";
    }
    return base::Problem::refused(message);
}

} // namespace cli
