#include "trigfile/action_extras.h"

#include <algorithm>

namespace trigfile {
namespace {

ActionExtras extrasFrom(const ActionBlocks* blocks, const StringTable* strings,
                        const DecodedAction& action) {
    ActionExtras extras;
    if (blocks != nullptr) {
        if (blocks->text) {
            extras.text = decodeGameText(*blocks->text);
        }
        extras.unitProperties = blocks->unitProperties;
    } else if (action.text != 0 && strings != nullptr) {
        if (const auto bytes = strings->bytes(action.text)) {
            extras.text = decodeGameText(*bytes);
        }
    }
    return extras;
}

} // namespace

ActionExtras extrasOf(const TriggerRecords& records, std::size_t record, std::size_t slot,
                      const DecodedAction& action) {
    return extrasFrom(records.blocksOf(record, slot), records.strings ? &*records.strings : nullptr,
                      action);
}

ActionExtras extrasOf(const TriggerView& trigger, std::size_t slot, const DecodedAction& action) {
    const auto found = std::find_if(trigger.blocks.begin(), trigger.blocks.end(),
                                    [&](const ActionBlocks& b) { return b.slot == slot; });
    return extrasFrom(found != trigger.blocks.end() ? &*found : nullptr, trigger.strings, action);
}

} // namespace trigfile
