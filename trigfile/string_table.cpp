#include "trigfile/string_table.h"

#include "trigfile/scenario_sections.h"
#include "trigfile/trigger_record.h" // getU16, getU32

#include <algorithm>

namespace trigfile {

std::uint32_t StringTable::field(std::size_t at) const {
    return width_ == Width::Strx ? getU32(section_.data() + at) : getU16(section_.data() + at);
}

std::uint32_t StringTable::count() const {
    const auto size = static_cast<std::size_t>(width_);
    return section_.size() < size ? 0 : field(0);
}

std::uint32_t StringTable::offsetsHeld() const {
    const auto size = static_cast<std::size_t>(width_);
    const std::size_t fields = section_.size() / size; // the count's among them
    return fields < 2 ? 0 : static_cast<std::uint32_t>(std::min<std::size_t>(count(), fields - 1));
}

std::optional<std::string_view> StringTable::bytes(std::uint32_t number) const {
    if (number == 0 || number > count()) {
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(width_);
    const std::size_t at = size * number; // the count, then offsets for strings 1, 2, ...
    if (at > section_.size() - size) {
        return std::nullopt;
    }
    const std::size_t offset = field(at);
    if (offset >= section_.size()) {
        return std::nullopt;
    }
    const auto* begin = reinterpret_cast<const char*>(section_.data()) + offset;
    const auto* end = reinterpret_cast<const char*>(section_.data()) + section_.size();
    return std::string_view(begin, static_cast<std::size_t>(std::find(begin, end, '\0') - begin));
}

std::optional<StringTable> readStringTable(std::span<const std::uint8_t> data,
                                           std::span<const ScenarioSection> sections) {
    if (auto strx = overlaidSections(data, sections, "STRx")) {
        return StringTable(std::move(*strx), StringTable::Width::Strx);
    }
    if (auto str = overlaidSections(data, sections, "STR ")) {
        return StringTable(std::move(*str), StringTable::Width::Str);
    }
    return std::nullopt;
}

TextEncoding encodingShownBy(const StringTable& strings) {
    bool olderCodePage = false;
    for (std::uint32_t n = 1; n <= strings.offsetsHeld(); ++n) {
        const auto bytes = strings.bytes(n);
        if (!bytes) {
            continue;
        }
        switch (decodeGameText(*bytes).encoding) {
        case TextEncoding::Utf8:
            break;
        case TextEncoding::Korean:
            olderCodePage = true;
            break;
        case TextEncoding::Western:
        case TextEncoding::Unknown:
            return TextEncoding::Western;
        }
    }
    return olderCodePage ? TextEncoding::Korean : TextEncoding::Utf8;
}

} // namespace trigfile
