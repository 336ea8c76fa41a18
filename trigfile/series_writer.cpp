#include "trigfile/series_writer.h"

#include "base/number_text.h"

#include <algorithm>
#include <vector>

namespace trigfile {

std::string progressText(std::uint64_t written, std::uint64_t total) {
    // Once every record is written the disk still has to take the file in,
    // which for a big one is a wait of its own.
    if (written >= total) {
        return "Saving the file to the disk...";
    }
    return "Writing trigger " + base::withThousands(written) + " of " + base::withThousands(total) +
           "...";
}

bool writeSeries(ByteSink& sink, const TriggerSeries& series, WriteProgress* progress) {
    const Preamble preamble = encodePreamble();
    sink.write(preamble.data(), preamble.size());
    return writeSeriesRecords(sink, series, progress);
}

bool writeSeriesRecords(ByteSink& sink, const TriggerSeries& series, WriteProgress* progress,
                        const MessagePlacement& placement) {
    // Every record of a series is the same but for its threshold (and the
    // number of its message's text), so the chunk is filled once and only
    // those bytes change.
    const MessagePlan* message = series.message ? &*series.message : nullptr;
    const bool eachOwn = message && message->eachTriggerOwnText();
    const bool blocks = message && placement.textBlocks;
    const std::size_t stride = kRecordSize + (blocks ? kTextBlockSize : 0);
    const TriggerRecord pattern = encodeRecord(series.fields, 0);
    const std::size_t chunkRecords = std::min<std::size_t>(kRecordsPerChunk, series.recordCount);
    std::vector<std::uint8_t> chunk(chunkRecords * stride); // text blocks start all zero
    for (std::size_t i = 0; i < chunkRecords; ++i) {
        std::copy(pattern.begin(), pattern.end(), chunk.begin() + i * stride);
    }
    const std::size_t textNumberAt = series.fields.textNumberOffset();

    std::string text;
    std::uint32_t written = 0;
    while (written < series.recordCount) {
        if (progress && progress->cancelRequested.load(std::memory_order_relaxed)) {
            return false;
        }
        const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(chunkRecords),
                                                        series.recordCount - written);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint8_t* at = chunk.data() + i * stride;
            const std::uint32_t index = written + i;
            putU32(at + kThresholdOffset, series.threshold(index));
            if (!message) {
                continue;
            }
            putU32(at + textNumberAt, placement.numbers.of(index, eachOwn));
            if (blocks && (eachOwn || written == 0)) {
                // A later trigger's text is never shorter than an earlier
                // one's (its kills have as many digits or more), so it covers
                // the text the block held, and the zeros after it stay.
                message->textFor(series.threshold(index), text);
                std::copy(text.begin(), text.end(), at + kRecordSize);
            }
        }
        sink.write(chunk.data(), n * stride);
        written += n;
        if (progress) {
            progress->recordsWritten.store(written, std::memory_order_relaxed);
        }
    }
    return true;
}

} // namespace trigfile
