#include "bench.h"

#include "trigfile/series_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace bench {
namespace {

// Takes the bytes and drops them, so only producing them is measured.
class DropSink : public trigfile::ByteSink {
  public:
    void write(const std::uint8_t* data, std::size_t size) override {
        keep(data);
        bytes += size;
    }
    std::uint64_t bytes = 0;
};

// The plain way: every record encoded from nothing and handed over alone.
void encodeFromScratch(const trigfile::TriggerSeries& series, trigfile::ByteSink& sink) {
    const trigfile::Preamble preamble = trigfile::encodePreamble();
    sink.write(preamble.data(), preamble.size());
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const trigfile::TriggerRecord record =
            trigfile::encodeRecord(series.fields, series.threshold(k));
        sink.write(record.data(), record.size());
    }
}

// Seconds per call of fn, from enough calls in a row to last about 0.1 s.
class PerCall {
  public:
    explicit PerCall(std::function<void()> fn) : fn_(std::move(fn)) {
        const auto start = Clock::now();
        fn_();
        const double once = std::max(secondsSince(start), 1e-7);
        calls_ = std::max(1, static_cast<int>(std::ceil(0.1 / once)));
    }
    void measure() {
        const auto start = Clock::now();
        for (int i = 0; i < calls_; ++i) {
            fn_();
        }
        samples_.push_back(secondsSince(start) / calls_);
    }
    double median() const { return bench::median(samples_); }

  private:
    std::function<void()> fn_;
    int calls_ = 1;
    std::vector<double> samples_;
};

} // namespace

std::vector<EncodingResult> runEncoding(std::uint32_t records, int repeats) {
    std::vector<EncodingResult> results;
    for (Shape shape : {Shape::MoneyWithGas, Shape::Score, Shape::Switch}) {
        const trigfile::TriggerSeries series = seriesFor(shape, records);
        const std::uint64_t bytes = series.fileSize();

        // What any in-memory producer of these bytes pays at least once more
        // on the way out: one copy, as write() copies into the page cache.
        std::vector<std::uint8_t> from(1u << 20, 0x5a);
        std::vector<std::uint8_t> to(from.size());
        auto copyAll = [&] {
            for (std::uint64_t left = bytes; left > 0;) {
                const std::size_t n =
                    static_cast<std::size_t>(std::min<std::uint64_t>(left, to.size()));
                std::memcpy(to.data(), from.data(), n);
                keep(to.data());
                left -= n;
            }
        };

        PerCall scratch([&] {
            DropSink sink;
            encodeFromScratch(series, sink);
        });
        PerCall chunked([&] {
            DropSink sink;
            trigfile::writeSeries(sink, series);
        });
        PerCall copy(copyAll);
        // Interleaved, so that drift in clock speed touches all three alike.
        for (int r = 0; r < repeats; ++r) {
            stopIfRequested();
            scratch.measure();
            chunked.measure();
            copy.measure();
        }
        results.push_back({shape, records, scratch.median(), chunked.median(), copy.median()});
    }
    return results;
}

} // namespace bench
