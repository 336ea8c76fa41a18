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

bool writeSeriesRecords(ByteSink& sink, const TriggerSeries& series, WriteProgress* progress) {
    // Every record of a series is the same but for its threshold, so the
    // chunk is filled once and only the four threshold bytes change.
    const TriggerRecord pattern = encodeRecord(series.fields, 0);
    const std::size_t chunkRecords = std::min<std::size_t>(kRecordsPerChunk, series.recordCount);
    std::vector<std::uint8_t> chunk(chunkRecords * kRecordSize);
    for (std::size_t i = 0; i < chunkRecords; ++i) {
        std::copy(pattern.begin(), pattern.end(), chunk.begin() + i * kRecordSize);
    }

    std::uint32_t written = 0;
    while (written < series.recordCount) {
        if (progress && progress->cancelRequested.load(std::memory_order_relaxed)) {
            return false;
        }
        const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(chunkRecords),
                                                        series.recordCount - written);
        for (std::uint32_t i = 0; i < n; ++i) {
            putU32(chunk.data() + i * kRecordSize + kThresholdOffset,
                   series.threshold(written + i));
        }
        sink.write(chunk.data(), n * kRecordSize);
        written += n;
        if (progress) {
            progress->recordsWritten.store(written, std::memory_order_relaxed);
        }
    }
    return true;
}

} // namespace trigfile
