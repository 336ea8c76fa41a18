// Any bytes as scenario data. A walk of the sections written here, apart from
// the reader, says whether the data may be read: every section's size fits in
// what is left, no partial header at the end, every TRIG section whole
// records. The reader must agree, list the same sections in order, give the
// records of every TRIG section one after another, and find each string
// where a plain walk of the STRx (else STR) sections, laid over one another,
// finds it.

#include "trigfile/scenario_sections.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
    std::vector<std::uint8_t> trig; // every TRIG section's data, in order
    std::vector<std::uint8_t> str;  // STR sections laid over one another
    std::vector<std::uint8_t> strx; // the same for STRx
    bool hasStr = false;
    bool hasStrx = false;
};

void layOver(std::vector<std::uint8_t>& into, const std::uint8_t* from, std::size_t size) {
    if (into.size() < size) {
        into.resize(size);
    }
    if (size > 0) {
        std::memcpy(into.data(), from, size);
    }
}

// String n of a table whose count and offsets are `width` bytes wide: the
// bytes before its NUL, or false when the table does not have it.
bool stringAt(const std::vector<std::uint8_t>& t, std::size_t width, std::uint64_t n,
              std::string& out) {
    const auto field = [&](std::uint64_t at) {
        std::uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;) {
            v = v << 8 | t[at + i];
        }
        return v;
    };
    if (n == 0 || t.size() < width || n > field(0) || (n + 1) * width > t.size()) {
        return false;
    }
    const std::uint64_t offset = field(n * width);
    if (offset >= t.size()) {
        return false;
    }
    out.clear();
    for (std::uint64_t i = offset; i < t.size() && t[i] != 0; ++i) {
        out.push_back(static_cast<char>(t[i]));
    }
    return true;
}

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
            w.trig.insert(w.trig.end(), h + 8, h + 8 + length);
        }
        if (std::memcmp(h, "STR ", 4) == 0) {
            layOver(w.str, h + 8, static_cast<std::size_t>(length));
            w.hasStr = true;
        }
        if (std::memcmp(h, "STRx", 4) == 0) {
            layOver(w.strx, h + 8, static_cast<std::size_t>(length));
            w.hasStrx = true;
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
        check(!parsed.ok(), "unreadable data was accepted");
        check(!parsed.reason().empty(), "a refusal without a reason");
        check(!triggers.ok(), "triggers of unreadable data");
        return 0;
    }
    check(parsed.ok(), "readable data was refused");
    const auto& sections = parsed.value();
    check(sections.size() == w.offsets.size(), "section count");
    for (std::size_t i = 0; i < sections.size(); ++i) {
        check(sections[i].offset == w.offsets[i], "section offset");
    }
    check(triggers.ok(), "TRIG refused");
    const auto& records = triggers.value();
    check(records.trigSections == w.trigCount, "TRIG section count");
    check(records.bytes == w.trig, "TRIG bytes");
    check(records.strings.has_value() == (w.hasStr || w.hasStrx), "string table");
    if (records.strings) {
        const auto& table = w.hasStrx ? w.strx : w.str;
        const std::size_t width = w.hasStrx ? 4 : 2;
        for (std::uint64_t n = 0; n < 300; ++n) {
            std::string expected;
            const bool there = stringAt(table, width, n, expected);
            const auto got = records.strings->bytes(static_cast<std::uint32_t>(n));
            check(got.has_value() == there, "whether a string is there");
            check(!there || *got == expected, "string bytes");
        }
    }
    return 0;
}
