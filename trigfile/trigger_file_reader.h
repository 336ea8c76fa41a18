#pragma once

#include "base/outcome.h"
#include "safefile/streamed_file.h"
#include "trigfile/string_table.h"
#include "trigfile/trigger_record.h"
#include "trigfile/unit_properties.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trigfile {

// After each record of a trigger file come blocks for its actions in use
// (action type not 0), in slot order: for an action that names a string
// (text string number not 0), 2,048 bytes holding that text up to a NUL;
// then, for an action whose flags have the unit-properties bit, the 20
// bytes of its unit properties. The map editors write files this way;
// Create's actions name no string and use no properties, so its files are
// records alone.
inline constexpr std::size_t kTextBlockSize = 2048;

// The blocks a trigger file carries for one action.
struct ActionBlocks {
    std::size_t record = 0;          // index among the records read
    std::size_t slot = 0;            // action slot
    std::optional<std::string> text; // the text block's bytes before its first NUL
    std::optional<UnitProperties> unitProperties;
};

// Whole trigger records, as a trigger file or a map's TRIG section holds
// them, in file order, with what their actions name outside the records.
struct TriggerRecords {
    std::vector<std::uint8_t> bytes; // a whole number of records, back to back

    std::vector<ActionBlocks> blocks;   // a trigger file's blocks, in file order
    std::optional<StringTable> strings; // scenario data's strings, when it has any
    std::size_t trigSections = 0;       // scenario data: TRIG sections the records came from

    std::size_t count() const { return bytes.size() / kRecordSize; }
    std::span<const std::uint8_t, kRecordSize> record(std::size_t index) const {
        return std::span<const std::uint8_t, kRecordSize>(bytes.data() + index * kRecordSize,
                                                          kRecordSize);
    }
    // The blocks of one action, or nothing when the file carries none for it.
    const ActionBlocks* blocksOf(std::size_t record, std::size_t slot) const;
};

// The records read, or why they cannot be.
using TriggerFileRead = base::Outcome<TriggerRecords>;

// Where a trigger file's records and blocks lie, from the start of the file.
struct TriggerFileLayout {
    struct Block {
        std::size_t record = 0;
        std::size_t slot = 0;
        std::size_t offset = 0;
        bool unitProperties = false; // else a text block
    };
    std::vector<std::size_t> recordOffsets;
    std::vector<Block> blocks; // in file order
};
using TriggerFileLayoutRead = base::Outcome<TriggerFileLayout>;

// Walks a trigger file: the 8-byte header, then records each followed by
// its blocks, the leading empty trigger included where the file has one.
// A wrong header, an empty file, a record or block cut short, or bytes
// after the last record that make no whole record are refused: the reader
// never guesses at a damaged file.
TriggerFileLayoutRead layOutTriggerFile(std::span<const std::uint8_t> bytes);

// One trigger as a walk through a trigger file meets it: the record and
// its blocks, back to back, readable only during the call.
struct WalkedTrigger {
    std::size_t index = 0;
    std::uint64_t offset = 0;                         // of the record, from the start of the file
    const std::uint8_t* bytes = nullptr;              // the record, then its blocks
    std::span<const TriggerFileLayout::Block> blocks; // offsets from the record's start
    std::size_t size = 0;                             // of the record and its blocks
};
using TriggerWalkVisitor = std::function<void(const WalkedTrigger&)>;

// The walk layOutTriggerFile makes, trigger by trigger, with the same
// refusals: the number of triggers, or why the file is refused (or could
// not be read) once the walk reaches the fault. Only one trigger is held at
// a time, so a file of any size is read in the window's fixed buffer.
base::Outcome<std::size_t> walkTriggerFile(safefile::ByteWindow& in,
                                           const TriggerWalkVisitor& visit);

// The blocks of a walked trigger, as the listing reads them.
void appendActionBlocks(std::vector<ActionBlocks>& blocks, const WalkedTrigger& trigger);

// A trigger file's records and blocks.
TriggerFileRead parseTriggerFileBytes(std::span<const std::uint8_t> bytes);

// The same for a file on disk, read whole but never more than kMaxReadBytes.
TriggerFileRead readTriggerFile(const std::filesystem::path& path);

} // namespace trigfile
