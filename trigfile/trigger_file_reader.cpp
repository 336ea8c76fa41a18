#include "trigfile/trigger_file_reader.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "trigfile/bounded_read.h"

#include <algorithm>
#include <cstring>

namespace trigfile {

const ActionBlocks* TriggerRecords::blocksOf(std::size_t recordIndex, std::size_t slot) const {
    const auto found = std::lower_bound(blocks.begin(), blocks.end(), std::pair{recordIndex, slot},
                                        [](const ActionBlocks& b, const auto& key) {
                                            return std::pair{b.record, b.slot} < key;
                                        });
    return found != blocks.end() && found->record == recordIndex && found->slot == slot ? &*found
                                                                                        : nullptr;
}

namespace {

std::string bytesText(std::size_t n) {
    return base::withThousands(n) + (n == 1 ? " byte" : " bytes");
}

std::optional<base::Problem> headerRefusal(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return base::Problem::refused("The file is empty, so it holds no triggers.");
    }
    if (bytes.size() < kHeaderSize) {
        return base::Problem::refused("The file is only " + bytesText(bytes.size()) +
                                      " long, too short for a trigger file's header.");
    }
    const auto preamble = encodePreamble();
    if (!std::equal(bytes.begin(), bytes.begin() + kHeaderSize, preamble.begin())) {
        return base::Problem::refused("The file does not start like a trigger file.");
    }
    return std::nullopt;
}

} // namespace

TriggerFileLayoutRead layOutTriggerFile(std::span<const std::uint8_t> bytes) {
    if (auto refusal = headerRefusal(bytes)) {
        return *refusal;
    }
    TriggerFileLayout layout;
    std::size_t at = kHeaderSize;
    while (at < bytes.size()) {
        const std::size_t left = bytes.size() - at;
        const std::size_t number = layout.recordOffsets.size() + 1; // as the listing numbers them
        if (left < kRecordSize) {
            return base::Problem::refused(
                "The file has " + bytesText(left) + " after " +
                (number == 1
                     ? std::string("its header")
                     : "its last whole trigger (trigger " + base::withThousands(number - 1) + ")") +
                ", too few for " + (number == 1 ? "a" : "another") + " trigger of " +
                bytesText(kRecordSize) + "; it may be damaged or cut short.");
        }
        const std::uint8_t* record = bytes.data() + at;
        layout.recordOffsets.push_back(at);
        at += kRecordSize;
        for (std::size_t slot = 0; slot < record::kActionCount; ++slot) {
            const std::uint8_t* a = record + record::kActions + slot * action::kSize;
            if (a[action::kType] == 0) {
                continue;
            }
            const auto block = [&](std::size_t size, bool properties,
                                   const std::string& what) -> std::optional<base::Problem> {
                if (bytes.size() - at < size) {
                    return base::Problem::refused(
                        "Trigger " + base::withThousands(number) + "'s action in slot " +
                        std::to_string(slot + 1) + " " + what + ", so " + bytesText(size) +
                        " must follow at byte " + base::withThousands(at) +
                        ", but the file has only " + bytesText(bytes.size() - at) +
                        " left; it may be damaged or cut short.");
                }
                layout.blocks.push_back({number - 1, slot, at, properties});
                at += size;
                return std::nullopt;
            };
            if (const std::uint32_t text = getU32(a + action::kText); text != 0) {
                if (auto refusal =
                        block(kTextBlockSize, false, "names string " + base::withThousands(text))) {
                    return *refusal;
                }
            }
            if (a[action::kFlags] & kActionUnitPropertiesUsed) {
                if (auto refusal = block(unitprops::kSize, true, "uses unit properties")) {
                    return *refusal;
                }
            }
        }
    }
    return layout;
}

namespace {

// The blocks of a laid-out file, read into what the listing needs.
std::vector<ActionBlocks> readBlocks(std::span<const std::uint8_t> bytes,
                                     const TriggerFileLayout& layout) {
    std::vector<ActionBlocks> blocks;
    for (const auto& b : layout.blocks) {
        if (blocks.empty() || blocks.back().record != b.record || blocks.back().slot != b.slot) {
            blocks.push_back(ActionBlocks{b.record, b.slot, {}, {}});
        }
        const std::uint8_t* p = bytes.data() + b.offset;
        if (b.unitProperties) {
            blocks.back().unitProperties = decodeUnitProperties(
                std::span<const std::uint8_t, unitprops::kSize>(p, unitprops::kSize));
        } else {
            const auto* text = reinterpret_cast<const char*>(p);
            blocks.back().text.emplace(text, std::find(text, text + kTextBlockSize, '\0'));
        }
    }
    return blocks;
}

} // namespace

TriggerFileRead parseTriggerFileBytes(std::span<const std::uint8_t> bytes) {
    auto laidOut = layOutTriggerFile(bytes);
    if (!laidOut.ok()) {
        return std::move(laidOut.problem());
    }
    const TriggerFileLayout& layout = *laidOut;
    TriggerRecords records;
    records.bytes.reserve(layout.recordOffsets.size() * kRecordSize);
    for (const std::size_t offset : layout.recordOffsets) {
        records.bytes.insert(records.bytes.end(),
                             bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                             bytes.begin() + static_cast<std::ptrdiff_t>(offset + kRecordSize));
    }
    records.blocks = readBlocks(bytes, layout);
    return records;
}

TriggerFileRead readTriggerFile(const std::filesystem::path& path) {
    auto bytes = readBoundedFile(path);
    if (!bytes.ok()) {
        return std::move(bytes.problem());
    }
    std::vector<std::uint8_t>& data = *bytes;
    auto laidOut = layOutTriggerFile(data);
    if (!laidOut.ok()) {
        return base::Problem::refused(base::displayName(path) + ": " + laidOut.reason());
    }
    const TriggerFileLayout& layout = *laidOut;
    TriggerRecords records;
    records.blocks = readBlocks(data, layout);
    // The records move to the front of the bytes read, over the header and
    // the blocks they have been read from: a big file is held once.
    for (std::size_t i = 0; i < layout.recordOffsets.size(); ++i) {
        std::memmove(data.data() + i * kRecordSize, data.data() + layout.recordOffsets[i],
                     kRecordSize);
    }
    data.resize(layout.recordOffsets.size() * kRecordSize);
    records.bytes = std::move(data);
    return records;
}

} // namespace trigfile
