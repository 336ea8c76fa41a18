#pragma once

#include "refusal.h"
#include "trigger_record.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <variant>
#include <vector>

namespace trigfile {

// Whole trigger records, as a trigger file or a map's TRIG section holds
// them, in file order.
struct TriggerRecords {
    std::vector<std::uint8_t> bytes; // a whole number of records

    std::size_t count() const { return bytes.size() / kRecordSize; }
    std::span<const std::uint8_t, kRecordSize> record(std::size_t index) const {
        return std::span<const std::uint8_t, kRecordSize>(bytes.data() + index * kRecordSize,
                                                          kRecordSize);
    }
};

using TriggerFileRead = std::variant<TriggerRecords, Refusal>;

// A trigger file's records after its 8-byte header, the leading empty
// trigger included. A wrong header, an empty file or a size that is not
// 8 + n x 2400 is refused: the reader never guesses at a damaged file.
TriggerFileRead parseTriggerFileBytes(std::span<const std::uint8_t> bytes);

// The same for a file on disk, read whole but never more than kMaxReadBytes.
TriggerFileRead readTriggerFile(const std::filesystem::path& path);

} // namespace trigfile
