// Any bytes as scenario data. A walk of the sections written here, apart from
// the reader, says whether the data may be read: every section's size fits in
// what is left, no partial header at the end, every TRIG section whole
// records. The reader must agree, list the same sections in order, and give
// the TRIG records only when there is at most one TRIG section.

#include "scenario_sections.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <variant>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

struct Walked {
    bool readable = true;
    std::vector<std::size_t> offsets;
    std::size_t trigCount = 0;
    std::size_t trigOffset = 0;
    std::uint64_t trigSize = 0;
};

Walked walk(const std::uint8_t* data, std::size_t size) {
    Walked w;
    std::uint64_t at = 0;
    while (at < size) {
        if (size - at < 8 || w.offsets.size() == trigfile::kMaxSections) {
            w.readable = false;
            return w;
        }
        const std::uint8_t* h = data + at;
        const std::uint64_t length = h[4] | h[5] << 8 | h[6] << 16 | std::uint64_t(h[7]) << 24;
        const bool trig = std::memcmp(h, "TRIG", 4) == 0;
        if (at + 8 + length > size || (trig && length % 2400 != 0)) {
            w.readable = false;
            return w;
        }
        w.offsets.push_back(static_cast<std::size_t>(at));
        if (trig) {
            ++w.trigCount;
            w.trigOffset = static_cast<std::size_t>(at + 8);
            w.trigSize = length;
        }
        at += 8 + length;
    }
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Walked w = walk(data, size);
    const auto parsed = trigfile::parseScenarioSections({data, size});
    const auto triggers = trigfile::readScenarioTriggers({data, size});
    if (!w.readable) {
        check(std::holds_alternative<trigfile::Refusal>(parsed), "unreadable data was accepted");
        check(!std::get<trigfile::Refusal>(parsed).reason.empty(), "a refusal without a reason");
        check(std::holds_alternative<trigfile::Refusal>(triggers), "triggers of unreadable data");
        return 0;
    }
    check(std::holds_alternative<std::vector<trigfile::ScenarioSection>>(parsed),
          "readable data was refused");
    const auto& sections = std::get<std::vector<trigfile::ScenarioSection>>(parsed);
    check(sections.size() == w.offsets.size(), "section count");
    for (std::size_t i = 0; i < sections.size(); ++i) {
        check(sections[i].offset == w.offsets[i], "section offset");
    }
    if (w.trigCount > 1) {
        check(std::holds_alternative<trigfile::Refusal>(triggers), "several TRIG sections read");
        return 0;
    }
    check(std::holds_alternative<trigfile::TriggerRecords>(triggers), "TRIG refused");
    const auto& records = std::get<trigfile::TriggerRecords>(triggers);
    check(records.bytes.size() == w.trigSize, "TRIG size");
    check(w.trigSize == 0 ||
              std::memcmp(records.bytes.data(), data + w.trigOffset, records.bytes.size()) == 0,
          "TRIG bytes");
    return 0;
}
