#pragma once

// The file a series must give, built from the plain encoder record by record,
// never through the chunked writer. Free of any test framework, so that the
// window tests use it too.

#include "trigfile/trigger_record.h"
#include "trigfile/trigger_series.h"

#include <cstdint>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> expectedFile(const trigfile::TriggerSeries& series) {
    std::vector<std::uint8_t> out;
    out.reserve(series.fileSize());
    const auto preamble = trigfile::encodePreamble();
    out.insert(out.end(), preamble.begin(), preamble.end());
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const auto r = trigfile::encodeRecord(series.fields, series.threshold(k));
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

} // namespace testsupport
