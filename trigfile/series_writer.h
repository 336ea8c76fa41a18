#pragma once

#include "safefile/byte_sink.h"
#include "trigfile/trigger_series.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace trigfile {

// The writer streams into any sink of the safe file library: a file that
// appears whole, a map's working copy, or a stand-in.
using safefile::ByteSink;

// Shared with a watching thread: how far the write is, and a request to stop.
struct WriteProgress {
    std::atomic<std::uint64_t> recordsWritten{0};
    std::atomic<bool> cancelRequested{false};
};

// How long a write may take before the window's progress box or the
// command line's progress line appears: long enough that small series never
// flash one, short enough that a big one is never silent.
inline constexpr int kProgressDelayMs = 500;

// What both show of a write's progress ("Writing trigger 1,000 of 5,000...").
std::string progressText(std::uint64_t written, std::uint64_t total);

// Records per write: about a mebibyte, large enough that the disk, not the
// number of calls, sets the pace.
inline constexpr std::size_t kRecordsPerChunk = 448;

// Streams the preamble and every record of the series into the sink, in
// file order. Memory stays one chunk, whatever the record count. Returns
// false when cancelled through progress (the sink then holds part of a file).
// Throws WriteError when the sink fails.
bool writeSeries(ByteSink& sink, const TriggerSeries& series, WriteProgress* progress = nullptr);

// Where the texts of a series' message go: a trigger file's text block
// after each record, or a map's string section, which the records only name.
struct MessagePlacement {
    TextNumbers numbers;
    bool textBlocks = true;
};

// The series' records alone, without the preamble: what is added after the
// triggers a file or a map already holds.
bool writeSeriesRecords(ByteSink& sink, const TriggerSeries& series,
                        WriteProgress* progress = nullptr, const MessagePlacement& placement = {});

} // namespace trigfile
