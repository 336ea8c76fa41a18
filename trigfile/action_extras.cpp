#include "trigfile/action_extras.h"

namespace trigfile {

ActionExtras extrasOf(const TriggerRecords& records, std::size_t record, std::size_t slot,
                      const DecodedAction& action) {
    ActionExtras extras;
    if (const ActionBlocks* blocks = records.blocksOf(record, slot)) {
        if (blocks->text) {
            extras.text = decodeGameText(*blocks->text);
        }
        extras.unitProperties = blocks->unitProperties;
    } else if (action.text != 0 && records.strings) {
        if (const auto bytes = records.strings->bytes(action.text)) {
            extras.text = decodeGameText(*bytes);
        }
    }
    return extras;
}

} // namespace trigfile
