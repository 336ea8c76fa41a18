#include "trigfile/unit_names.h"

#include "trigfile/unit_list_text.h"

#include <charconv>
#include <map>

namespace trigfile {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// The list's lines read "37 = Zergling"; a line without a number carries on
// the name above it ("16 = Alan", "Schezar").
std::map<std::uint32_t, std::string> parseUnitList(std::string_view text) {
    std::map<std::uint32_t, std::string> names;
    std::string* last = nullptr;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::uint32_t number = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), number);
        const std::string_view after(rest,
                                     static_cast<std::size_t>(line.data() + line.size() - rest));
        if (error == std::errc() && after.starts_with(" = ")) {
            last = &(names[number] = std::string(trimmed(after.substr(3))));
        } else if (last != nullptr && !line.empty()) {
            *last += ' ';
            *last += line;
        }
    }
    return names;
}

} // namespace

std::string unitName(std::uint32_t unitNumber) {
    static const std::map<std::uint32_t, std::string> names = parseUnitList(kUnitListText);
    const auto it = names.find(unitNumber);
    return it == names.end() ? std::string() : it->second;
}

std::string unitText(std::uint32_t unitNumber) {
    const std::string name = unitName(unitNumber);
    if (name.empty()) {
        return "unit " + std::to_string(unitNumber);
    }
    return name + " (" + std::to_string(unitNumber) + ")";
}

} // namespace trigfile
