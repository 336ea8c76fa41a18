#include "trigger_file_reader.h"

#include "atomic_file.h" // displayName
#include "bounded_read.h"
#include "number_text.h"

#include <algorithm>
#include <optional>

namespace trigfile {

namespace {

// Why bytes are not a trigger file, or nothing when they are one.
std::optional<Refusal> triggerFileRefusal(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return Refusal{"The file is empty, so it holds no triggers."};
    }
    if (bytes.size() < kHeaderSize) {
        return Refusal{"The file is only " + withThousands(bytes.size()) +
                       " bytes long, too short for a trigger file's header."};
    }
    const auto preamble = encodePreamble();
    if (!std::equal(bytes.begin(), bytes.begin() + kHeaderSize, preamble.begin())) {
        return Refusal{"The file does not start like a trigger file."};
    }
    const std::size_t body = bytes.size() - kHeaderSize;
    if (body % kRecordSize != 0) {
        return Refusal{"The file is " + withThousands(bytes.size()) + " bytes long, which is not " +
                       withThousands(kHeaderSize) + " bytes of header and whole triggers of " +
                       withThousands(kRecordSize) + " bytes; it may be damaged or cut short."};
    }
    return std::nullopt;
}

} // namespace

TriggerFileRead parseTriggerFileBytes(std::span<const std::uint8_t> bytes) {
    if (auto refusal = triggerFileRefusal(bytes)) {
        return *refusal;
    }
    return TriggerRecords{std::vector<std::uint8_t>(bytes.begin() + kHeaderSize, bytes.end())};
}

TriggerFileRead readTriggerFile(const std::filesystem::path& path) {
    auto bytes = readBoundedFile(path);
    if (auto* refusal = std::get_if<Refusal>(&bytes)) {
        return std::move(*refusal);
    }
    auto& data = std::get<std::vector<std::uint8_t>>(bytes);
    if (auto refusal = triggerFileRefusal(data)) {
        return Refusal{displayName(path) + ": " + refusal->reason};
    }
    // The records stay where they were read: a big file is held once.
    data.erase(data.begin(), data.begin() + kHeaderSize);
    return TriggerRecords{std::move(data)};
}

} // namespace trigfile
