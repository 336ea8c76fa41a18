// Any bytes as a trigger file. The reader must accept exactly the files made
// of the 8-byte header and whole 2400-byte records, each followed by a
// 2048-byte text block for every action in use that names a string and a
// 20-byte unit-properties block for every one whose flags have bit 3 (a
// walk written here, apart from the reader, says which), say why it refuses
// the rest, and decode every record and block it accepts so that each field
// holds the little-endian bytes at its place (checked by a plain byte walk
// that does not use the named offsets).

#include "trigfile/decoded_trigger.h"
#include "trigfile/trigger_file_reader.h"

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

struct Block {
    std::size_t record;
    std::size_t slot;
    std::size_t offset;
    bool properties;
};

struct Walked {
    bool wellFormed = false;
    std::vector<std::size_t> records; // offsets
    std::vector<Block> blocks;
};

Walked walk(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kHeader[8] = {0x71, 0x77, 0x98, 0x36, 24, 0, 0, 0};
    Walked w;
    if (size < 8 || std::memcmp(data, kHeader, 8) != 0) {
        return w;
    }
    std::size_t at = 8;
    while (at < size) {
        if (size - at < 2400) {
            return w;
        }
        const std::uint8_t* r = data + at;
        w.records.push_back(at);
        at += 2400;
        for (std::size_t slot = 0; slot < 64; ++slot) {
            const std::uint8_t* a = r + 320 + 32 * slot;
            if (a[26] == 0) {
                continue;
            }
            if (le(a + 4, 4) != 0) {
                if (size - at < 2048) {
                    return w;
                }
                w.blocks.push_back({w.records.size() - 1, slot, at, false});
                at += 2048;
            }
            if (a[28] & 8) {
                if (size - at < 20) {
                    return w;
                }
                w.blocks.push_back({w.records.size() - 1, slot, at, true});
                at += 20;
            }
        }
    }
    w.wellFormed = true;
    return w;
}

void checkBlock(const std::uint8_t* b, const Block& block, const trigfile::ActionBlocks* read) {
    check(read != nullptr, "a block was not read");
    if (block.properties) {
        check(read->unitProperties.has_value(), "unit properties missing");
        const auto& u = *read->unitProperties;
        check(u.statesUsed == le(b, 2) && u.fieldsUsed == le(b + 2, 2) && u.owner == b[4] &&
                  u.hitPoints == b[5] && u.shields == b[6] && u.energy == b[7] &&
                  u.resources == le(b + 8, 4) && u.hangar == le(b + 12, 2) &&
                  u.states == le(b + 14, 2) && u.unused == le(b + 16, 4),
              "unit properties fields");
        return;
    }
    check(read->text.has_value(), "text missing");
    const void* nul = std::memchr(b, 0, 2048);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - b) : 2048;
    check(read->text->size() == length && std::memcmp(read->text->data(), b, length) == 0,
          "text bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Walked w = walk(data, size);
    const auto read = trigfile::parseTriggerFileBytes({data, size});
    if (!read.ok()) {
        check(!w.wellFormed, "a well-formed file was refused");
        check(!read.reason().empty(), "a refusal without a reason");
        return 0;
    }
    check(w.wellFormed, "a malformed file was accepted");
    const auto& records = read.value();
    check(records.count() == w.records.size(), "record count");
    for (std::size_t i = 0; i < records.count(); ++i) {
        checkRecord(data + w.records[i], trigfile::decodeTrigger(records.record(i)));
    }
    std::size_t actionsWithBlocks = 0;
    for (std::size_t i = 0; i < w.blocks.size(); ++i) {
        const Block& b = w.blocks[i];
        const bool sameAction =
            i > 0 && w.blocks[i - 1].record == b.record && w.blocks[i - 1].slot == b.slot;
        actionsWithBlocks += sameAction ? 0 : 1;
        checkBlock(data + b.offset, b, records.blocksOf(b.record, b.slot));
    }
    check(records.blocks.size() == actionsWithBlocks, "blocks read that the file does not hold");
    return 0;
}
