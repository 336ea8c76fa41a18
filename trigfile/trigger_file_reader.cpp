#include "trigfile/trigger_file_reader.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "safefile/bounded_read.h"

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

base::Outcome<std::size_t> walkTriggerFile(safefile::ByteWindow& in,
                                           const TriggerWalkVisitor& visit) {
    auto head = in.want(kHeaderSize);
    if (!head.ok()) {
        return std::move(head.problem());
    }
    if (auto refusal = headerRefusal({in.data(), *head})) {
        return *refusal;
    }
    in.skip(kHeaderSize);
    struct Need {
        std::uint32_t text = 0; // the string a text block is for
        std::size_t size = 0;
    };
    std::vector<TriggerFileLayout::Block> blocks;
    std::vector<Need> needs; // beside blocks, for the refusal of one cut short
    for (std::size_t index = 0;; ++index) {
        const std::size_t number = index + 1; // as the listing numbers them
        auto left = in.want(kRecordSize);
        if (!left.ok()) {
            return std::move(left.problem());
        }
        if (*left == 0) {
            return index;
        }
        if (*left < kRecordSize) {
            return base::Problem::refused(
                "The file has " + bytesText(*left) + " after " +
                (number == 1
                     ? std::string("its header")
                     : "its last whole trigger (trigger " + base::withThousands(number - 1) + ")") +
                ", too few for " + (number == 1 ? "a" : "another") + " trigger of " +
                bytesText(kRecordSize) + "; it may be damaged or cut short.");
        }
        blocks.clear();
        needs.clear();
        std::size_t size = kRecordSize;
        for (std::size_t slot = 0; slot < record::kActionCount; ++slot) {
            const std::uint8_t* a = in.data() + record::kActions + slot * action::kSize;
            if (a[action::kType] == 0) {
                continue;
            }
            if (const std::uint32_t text = getU32(a + action::kText); text != 0) {
                blocks.push_back({index, slot, size, false});
                needs.push_back({text, kTextBlockSize});
                size += kTextBlockSize;
            }
            if (a[action::kFlags] & kActionUnitPropertiesUsed) {
                blocks.push_back({index, slot, size, true});
                needs.push_back({0, unitprops::kSize});
                size += unitprops::kSize;
            }
        }
        if (size > kRecordSize) {
            // The record and all its blocks are made readable at once.
            left = in.want(size);
            if (!left.ok()) {
                return std::move(left.problem());
            }
            for (std::size_t i = 0; i < blocks.size() && *left < size; ++i) {
                const std::size_t at = blocks[i].offset;
                if (*left - at >= needs[i].size) {
                    continue;
                }
                const std::string what = needs[i].text != 0
                                             ? "names string " + base::withThousands(needs[i].text)
                                             : std::string("uses unit properties");
                return base::Problem::refused(
                    "Trigger " + base::withThousands(number) + "'s action in slot " +
                    std::to_string(blocks[i].slot + 1) + " " + what + ", so " +
                    bytesText(needs[i].size) + " must follow at byte " +
                    base::withThousands(in.position() + at) + ", but the file has only " +
                    bytesText(*left - at) + " left; it may be damaged or cut short.");
            }
        }
        visit(WalkedTrigger{index, in.position(), in.data(), blocks, size});
        in.skip(size);
    }
}

TriggerFileLayoutRead layOutTriggerFile(std::span<const std::uint8_t> bytes) {
    TriggerFileLayout layout;
    safefile::ByteWindow in(bytes);
    auto walked = walkTriggerFile(in, [&](const WalkedTrigger& t) {
        layout.recordOffsets.push_back(static_cast<std::size_t>(t.offset));
        for (auto block : t.blocks) {
            block.offset += static_cast<std::size_t>(t.offset);
            layout.blocks.push_back(block);
        }
    });
    if (!walked.ok()) {
        return std::move(walked.problem());
    }
    return layout;
}

void appendActionBlocks(std::vector<ActionBlocks>& blocks, const WalkedTrigger& trigger) {
    for (const auto& b : trigger.blocks) {
        if (blocks.empty() || blocks.back().record != b.record || blocks.back().slot != b.slot) {
            blocks.push_back(ActionBlocks{b.record, b.slot, {}, {}});
        }
        const std::uint8_t* p = trigger.bytes + b.offset;
        if (b.unitProperties) {
            blocks.back().unitProperties = decodeUnitProperties(
                std::span<const std::uint8_t, unitprops::kSize>(p, unitprops::kSize));
        } else {
            const auto* text = reinterpret_cast<const char*>(p);
            blocks.back().text.emplace(text, std::find(text, text + kTextBlockSize, '\0'));
        }
    }
}

namespace {

// The blocks of a laid-out file, read into what the listing needs.
std::vector<ActionBlocks> readBlocks(std::span<const std::uint8_t> bytes,
                                     const TriggerFileLayout& layout) {
    std::vector<ActionBlocks> blocks;
    for (const auto& b : layout.blocks) {
        // Each block read alone: the bytes given are the block's own.
        TriggerFileLayout::Block relative = b;
        relative.offset = 0;
        const std::size_t size = b.unitProperties ? unitprops::kSize : kTextBlockSize;
        appendActionBlocks(blocks, WalkedTrigger{b.record, b.offset, bytes.data() + b.offset,
                                                 std::span(&relative, 1), size});
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
    auto bytes = safefile::readBoundedFile(path);
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
