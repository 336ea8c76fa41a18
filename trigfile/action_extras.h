#pragma once

#include "trigfile/decoded_trigger.h"
#include "trigfile/game_text.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_stream.h"
#include "trigfile/unit_properties.h"

#include <cstddef>
#include <optional>

namespace trigfile {

// What an action names outside its own 32 bytes, found where the file
// keeps it: a trigger file in the blocks after the record, scenario data in
// its string table.
struct ActionExtras {
    std::optional<GameText> text; // the text of its string, when there is one to find
    std::optional<UnitProperties> unitProperties; // trigger files: when it uses them
};

ActionExtras extrasOf(const TriggerRecords& records, std::size_t record, std::size_t slot,
                      const DecodedAction& action);
// The same for a trigger as a streaming read meets it.
ActionExtras extrasOf(const TriggerView& trigger, std::size_t slot, const DecodedAction& action);

} // namespace trigfile
