#pragma once

// Trigger files as the map editors' trigger compilers write them (PyMS's
// PyTRG among them): the header, records without the empty first one, and
// after each record a 2,048-byte text block for every action in use that
// names a string and a 20-byte unit-properties block for every one that
// uses them, in slot order. Built here byte by byte from the layout, not
// with the reader's code.

#include "trigfile/trigger_record.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using EditorBytes = std::vector<std::uint8_t>;

// One action slot, field by field.
struct EditorAction {
    std::size_t slot = 0;
    std::uint8_t type = 0;
    std::uint32_t text = 0; // string number
    std::uint8_t flags = 0;
    std::uint32_t location = 0;
    std::uint32_t player = 0;
    std::uint32_t number = 0; // amount, switch, or unit-properties index
    std::uint16_t unit = 0;   // unit, resource or score kind
    std::uint8_t modifier = 0;
};

inline void putLittle(EditorBytes& b, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A record with an Always condition, owned by Player 1, with these actions.
inline EditorBytes editorRecord(const std::vector<EditorAction>& actions) {
    EditorBytes r(2400, 0);
    r[15] = 22; // condition slot 0: Always
    for (const EditorAction& a : actions) {
        const std::size_t at = 320 + 32 * a.slot;
        putLittle(r, at + 0, a.location, 4);
        putLittle(r, at + 4, a.text, 4);
        putLittle(r, at + 16, a.player, 4);
        putLittle(r, at + 20, a.number, 4);
        putLittle(r, at + 24, a.unit, 2);
        r[at + 26] = a.type;
        r[at + 27] = a.modifier;
        r[at + 28] = a.flags;
    }
    r[2372] = 1; // Player 1
    return r;
}

// A text block: the bytes, then zeros to 2,048.
inline EditorBytes textBlock(std::string_view text) {
    EditorBytes b(text.begin(), text.end());
    b.resize(2048, 0);
    return b;
}

// A unit-properties block: hit points, shields and resources in use, the
// unit cloaked (states used left 0, as PyTRG writes it).
inline EditorBytes propertiesBlock(std::uint8_t hitPoints, std::uint8_t shields,
                                   std::uint32_t resources, std::uint16_t states) {
    EditorBytes b(20, 0);
    putLittle(b, 2, 0x16, 2); // hit points, shields, resources
    b[5] = hitPoints;
    b[6] = shields;
    putLittle(b, 8, resources, 4);
    putLittle(b, 14, states, 2);
    return b;
}

inline EditorBytes trgHeader() {
    return {0x71, 0x77, 0x98, 0x36, 24, 0, 0, 0};
}

inline EditorBytes joined(std::initializer_list<EditorBytes> parts) {
    EditorBytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// The file PyTRG compiles from:
//   String(1): Reinforcements are on their way
//   UnitProperties(1): Health(50) Shields(100) Resources(5000) Cloaked()
//   Trigger(Player 1): Conditions: Always()
//     Actions: DisplayTextMessage(String 1, Always Display)
//              CreateUnitWithProperties(Player 1, 1, 0, Location 1, Properties 1)
//              Comment(String 2)
// (other texts may be given): no empty first record, and after the record
// the text of slot 0, the properties of slot 1, the text of slot 2.
inline EditorBytes editorMessageFile(std::string_view comment = "Wave 1",
                                     std::string_view message = "Reinforcements are on their way") {
    const EditorBytes record = editorRecord({
        {0, 9, 1, 0x04},
        {1, 11, 0, 0x1C, 2, 0, 0, 0, 1},
        {2, 47, 2, 0x00},
    });
    return joined({trgHeader(), record, textBlock(message), propertiesBlock(50, 100, 5000, 0x01),
                   textBlock(comment)});
}

} // namespace testsupport
