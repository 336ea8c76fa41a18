#include "trigger_file_reader.h"

#include "atomic_file.h" // displayName
#include "bounded_read.h"
#include "number_text.h"

#include <algorithm>

namespace trigfile {

TriggerFileRead parseTriggerFileBytes(std::span<const std::uint8_t> bytes) {
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
        return Refusal{"The file is " + withThousands(bytes.size()) +
                       " bytes long, which is not 8 bytes of header and whole triggers of " +
                       withThousands(kRecordSize) + " bytes; it may be damaged or cut short."};
    }
    return TriggerRecords{std::vector<std::uint8_t>(bytes.begin() + kHeaderSize, bytes.end())};
}

TriggerFileRead readTriggerFile(const std::filesystem::path& path) {
    auto bytes = readBoundedFile(path);
    if (auto* refusal = std::get_if<Refusal>(&bytes)) {
        return std::move(*refusal);
    }
    auto read = parseTriggerFileBytes(std::get<std::vector<std::uint8_t>>(bytes));
    if (auto* refusal = std::get_if<Refusal>(&read)) {
        refusal->reason = displayName(path) + ": " + refusal->reason;
    }
    return read;
}

} // namespace trigfile
