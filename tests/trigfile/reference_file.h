#pragma once

// The file a series must give, built from the plain encoder record by record,
// never through the chunked writer. Free of any test framework, so that the
// window tests use it too.

#include "trigfile/trigger_record.h"
#include "trigfile/trigger_series.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> expectedFile(const trigfile::TriggerSeries& series) {
    std::vector<std::uint8_t> out;
    out.reserve(series.fileSize());
    const auto preamble = trigfile::encodePreamble();
    out.insert(out.end(), preamble.begin(), preamble.end());
    // A message: texts numbered from 1, one per distinct text, each in a
    // zero-padded 2,048-byte block after its record.
    const bool eachOwn = series.message && series.message->eachTriggerOwnText();
    std::string text;
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const std::uint32_t number = series.message ? (eachOwn ? k + 1 : 1) : 0;
        const auto r = trigfile::encodeRecord(series.fields, series.threshold(k), number);
        out.insert(out.end(), r.begin(), r.end());
        if (series.message) {
            series.message->textFor(series.threshold(k), text);
            out.insert(out.end(), text.begin(), text.end());
            out.resize(out.size() + 2048 - text.size(), 0);
        }
    }
    return out;
}

} // namespace testsupport
