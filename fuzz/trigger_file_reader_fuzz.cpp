// Any bytes as a trigger file. The reader must accept exactly the files made
// of the 8-byte header and whole 2400-byte records, say why it refuses the
// rest, and decode every record it accepts so that each field holds the
// little-endian bytes at its place in the record (checked here by a plain
// byte walk that does not use the named offsets).

#include "decoded_trigger.h"
#include "trigger_file_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <variant>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

std::uint32_t le(const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

void checkRecord(const std::uint8_t* r, const trigfile::DecodedTrigger& t) {
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* s = r + 20 * i;
        const auto& c = t.conditions[static_cast<std::size_t>(i)];
        check(c.location == le(s, 4) && c.playerGroup == le(s + 4, 4) &&
                  c.quantity == le(s + 8, 4) && c.unitType == le(s + 12, 2) &&
                  c.comparison == s[14] && c.type == s[15] && c.resourceType == s[16] &&
                  c.flags == s[17] && c.reserved == le(s + 18, 2),
              "condition fields");
    }
    for (int i = 0; i < 64; ++i) {
        const std::uint8_t* s = r + 320 + 32 * i;
        const auto& a = t.actions[static_cast<std::size_t>(i)];
        check(a.location == le(s, 4) && a.text == le(s + 4, 4) && a.sound == le(s + 8, 4) &&
                  a.time == le(s + 12, 4) && a.playerGroup == le(s + 16, 4) &&
                  a.amountOrSwitch == le(s + 20, 4) && a.resourceOrScore == le(s + 24, 2) &&
                  a.type == s[26] && a.modifierOrState == s[27] && a.flags == s[28] &&
                  a.padding[0] == s[29] && a.padding[1] == s[30] && a.padding[2] == s[31],
              "action fields");
    }
    check(t.executionFlags == le(r + 2368, 4), "execution flags");
    for (int i = 0; i < 28; ++i) {
        check(t.executionTable[static_cast<std::size_t>(i)] == r[2372 + i], "execution table");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kHeader[8] = {0x71, 0x77, 0x98, 0x36, 24, 0, 0, 0};
    bool wellFormed = size >= 8 && (size - 8) % 2400 == 0;
    for (std::size_t i = 0; wellFormed && i < 8; ++i) {
        wellFormed = data[i] == kHeader[i];
    }
    const auto read = trigfile::parseTriggerFileBytes({data, size});
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&read)) {
        check(!wellFormed, "a well-formed file was refused");
        check(!refusal->reason.empty(), "a refusal without a reason");
        return 0;
    }
    check(wellFormed, "a malformed file was accepted");
    const auto& records = std::get<trigfile::TriggerRecords>(read);
    check(records.count() == (size - 8) / 2400, "record count");
    for (std::size_t i = 0; i < records.count(); ++i) {
        checkRecord(data + 8 + 2400 * i, trigfile::decodeTrigger(records.record(i)));
    }
    return 0;
}
