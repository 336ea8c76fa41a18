#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using trigfile::ActionKind;
using trigfile::CheckValue;
using trigfile::kPreambleSize;
using trigfile::kRecordSize;
using trigfile::kRecordsPerChunk;
using trigfile::TriggerSeries;

constexpr std::size_t kChunkBytes = kRecordsPerChunk * kRecordSize;

// Keeps every byte written, and lets a test act after each write.
class MemorySink : public trigfile::ByteSink {
  public:
    void write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        largestWrite = std::max(largestWrite, size);
        if (afterWrite) {
            afterWrite(*this);
        }
    }
    std::uint64_t wholeRecords() const {
        return bytes.size() < kPreambleSize ? 0 : (bytes.size() - kPreambleSize) / kRecordSize;
    }

    std::vector<std::uint8_t> bytes;
    std::size_t largestWrite = 0;
    std::function<void(const MemorySink&)> afterWrite;
};

// Where got first leaves want, in terms of the file's layout.
std::string firstDifference(const std::vector<std::uint8_t>& got,
                            const std::vector<std::uint8_t>& want) {
    if (got == want) {
        return "none";
    }
    const auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (g == got.end() && w == want.end()) {
        return "none";
    }
    const auto at = static_cast<std::size_t>(g - got.begin());
    std::ostringstream out;
    out << "sizes " << got.size() << " and " << want.size() << ", first difference at byte " << at;
    if (at >= kPreambleSize) {
        out << " (record " << (at - kPreambleSize) / kRecordSize << ", offset "
            << (at - kPreambleSize) % kRecordSize << ")";
    }
    return out.str();
}

// One set of inputs as a user could type and tick them, with the number of
// records it must give.
struct Inputs {
    trigfile::KillRewardSettings settings;
    std::uint32_t records = 0;
    std::string text; // for failure messages
};

Inputs randomInputs(std::mt19937& rng) {
    auto pick = [&rng](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(rng);
    };
    constexpr std::uint32_t kMaxField = trigfile::kMaxFieldValue;
    constexpr std::uint32_t c = kRecordsPerChunk;

    // Record counts around chunk boundaries, where a chunk is refilled or cut.
    const std::uint32_t edges[] = {1,     2,         c - 1,     c,     c + 1,    2 * c - 1,
                                   2 * c, 2 * c + 1, 3 * c - 1, 3 * c, 3 * c + 1};
    const std::uint32_t records =
        pick(0, 9) < 7 ? edges[pick(0, static_cast<std::uint32_t>(std::size(edges)) - 1)]
                       : pick(1, 3 * c + 2);
    const std::uint32_t maxStep = kMaxField / records;
    const std::uint32_t step = pick(0, 3) == 0 ? 1 : pick(0, 3) == 0 ? maxStep : pick(1, maxStep);
    // Anything short of the next threshold gives the same count; one record
    // needs no maximum at all.
    const std::uint64_t killMax =
        records == 1 ? pick(0, 2 * step - 1) : std::uint64_t{records} * step + pick(0, step - 1);

    auto amount = [&] {
        switch (pick(0, 4)) {
        case 0:
            return std::string("65536");
        case 1:
            return std::to_string(kMaxField);
        default:
            return std::to_string(pick(1, kMaxField));
        }
    };
    const ActionKind kind = static_cast<ActionKind>(pick(0, 2));
    std::string ore, gas;
    if (kind == ActionKind::Money) {
        ore = pick(0, 2) == 0 ? "0" : amount();
        const std::uint32_t g = pick(0, 2);
        gas = g == 0 ? "" : g == 1 ? "0" : amount();
    } else if (kind == ActionKind::Score) {
        ore = amount();
        gas = amount(); // ignored outside Money
    } else {
        ore = std::to_string(pick(1, 256));
    }
    const std::string unit = std::to_string(pick(0, 255)); // above 232 becomes 230

    Inputs in;
    in.records = records;
    in.settings = trigfile::readSettings(
        trigfile::BoxTexts{std::to_string(killMax), std::to_string(step), ore, gas, unit});
    in.settings.actionKind = kind;
    in.settings.scoreKind = static_cast<int>(pick(0, 7));
    auto check = [&] { return static_cast<CheckValue>(pick(0, 2)); };
    for (auto& p : in.settings.players) {
        p = check();
    }
    in.settings.allPlayers = check();
    for (auto& f : in.settings.forces) {
        f = check();
    }
    const char* kindName = kind == ActionKind::Money   ? "Money"
                           : kind == ActionKind::Score ? "Score"
                                                       : "Switch";
    in.text = std::string(kindName) + ", step " + std::to_string(step) + ", max " +
              std::to_string(killMax) + ", amount \"" + ore + "\", gas \"" + gas + "\", unit " +
              unit + ", score kind " + std::to_string(in.settings.scoreKind);
    return in;
}

TEST(SeriesWriter, MatchesThePlainEncoderForManyShapesOfInput) {
    constexpr std::uint32_t kBaseSeed = 0x7a11f0;
    constexpr int kCases = 300;
    for (int i = 0; i < kCases; ++i) {
        const std::uint32_t seed = kBaseSeed + static_cast<std::uint32_t>(i);
        std::mt19937 rng(seed);
        const Inputs in = randomInputs(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + in.text);

        const TriggerSeries series = testsupport::planOrFail(in.settings);
        ASSERT_EQ(series.recordCount, in.records);
        MemorySink sink;
        ASSERT_TRUE(trigfile::writeSeries(sink, series));
        ASSERT_EQ(firstDifference(sink.bytes, testsupport::expectedFile(series)), "none");
        // Memory is one chunk, whatever the count.
        EXPECT_LE(sink.largestWrite, kChunkBytes);
    }
}

TEST(SeriesWriter, ACancelStopsWithinOneChunkAndLeavesAPrefixOfTheFile) {
    const TriggerSeries series =
        testsupport::planOrFail(testsupport::typed("3", "9000", "7", "25"));
    ASSERT_EQ(series.recordCount, 3000u);
    const std::vector<std::uint8_t> whole = testsupport::expectedFile(series);
    const std::size_t lastChunkStart =
        kPreambleSize + (series.recordCount - 1) / kRecordsPerChunk * kChunkBytes;
    struct Case {
        const char* when;
        std::size_t cancelAtByte; // requested once the sink holds this many bytes
    };
    const Case cases[] = {
        {"before the first write", 0},
        {"after the preamble", kPreambleSize},
        {"in the first chunk", kPreambleSize + 10 * kRecordSize},
        {"on a chunk boundary", kPreambleSize + 2 * kChunkBytes},
        {"before the last chunk", lastChunkStart},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        trigfile::WriteProgress progress;
        MemorySink sink;
        std::size_t heldAtCancel = 0;
        auto maybeCancel = [&](const MemorySink& s) {
            if (!progress.cancelRequested && s.bytes.size() >= c.cancelAtByte) {
                progress.cancelRequested = true;
                heldAtCancel = s.bytes.size();
            }
        };
        maybeCancel(sink);
        sink.afterWrite = maybeCancel;

        EXPECT_FALSE(trigfile::writeSeries(sink, series, &progress));
        EXPECT_LE(sink.bytes.size() - heldAtCancel, kChunkBytes);
        EXPECT_LT(sink.bytes.size(), whole.size());
        EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), whole.begin()));
        EXPECT_EQ(progress.recordsWritten.load(), sink.wholeRecords());
    }
}

TEST(SeriesWriter, ProgressKeepsUpWithTheSinkAndEndsAtTheRecordCount) {
    for (const std::uint32_t count : {std::uint32_t{1}, std::uint32_t{kRecordsPerChunk},
                                      std::uint32_t{5 * kRecordsPerChunk + 3}}) {
        SCOPED_TRACE(count);
        const TriggerSeries series = testsupport::planOrFail(
            testsupport::typed("2", std::to_string(2 * count), "0", "0", "40"));
        ASSERT_EQ(series.recordCount, count);
        trigfile::WriteProgress progress;
        MemorySink sink;
        std::uint64_t last = 0;
        sink.afterWrite = [&](const MemorySink& s) {
            const std::uint64_t shown = progress.recordsWritten.load();
            EXPECT_GE(shown, last) << "progress went back";
            EXPECT_LE(shown, s.wholeRecords()) << "progress ahead of the file";
            EXPECT_LE(s.wholeRecords() - shown, kRecordsPerChunk) << "progress lags";
            last = shown;
        };
        ASSERT_TRUE(trigfile::writeSeries(sink, series, &progress));
        EXPECT_EQ(progress.recordsWritten.load(), count);
    }
}

using SeriesWriterOnDisk = testsupport::ScratchFolder;

// Large enough that the writer hands parts of the file to the disk, and
// drops them from the cache, before it finishes.
TEST_F(SeriesWriterOnDisk, ALargeFileMatchesThePlainEncoder) {
    auto settings = testsupport::typed("1", "30000", "232", "1234567", "", ActionKind::Score);
    settings.scoreKind = 3;
    settings.allPlayers = CheckValue::Ticked;
    const TriggerSeries series = testsupport::planOrFail(settings);
    ASSERT_GT(series.fileSize(), 64u << 20);

    const fs::path target = folder_ / "large.trg";
    const auto outcome = trigfile::writeTriggerFile(target, series);
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    ASSERT_EQ(fs::file_size(target), series.fileSize());

    std::ifstream in(target, std::ios::binary);
    std::vector<std::uint8_t> piece(kPreambleSize);
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    const auto preamble = trigfile::encodePreamble();
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), preamble.begin()));
    piece.resize(kRecordSize);
    std::uint32_t mismatches = 0;
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(kRecordSize));
        const auto record = trigfile::encodeRecord(series.fields, series.threshold(k));
        if (!in || !std::equal(piece.begin(), piece.end(), record.begin())) {
            ADD_FAILURE() << "record " << k << " differs";
            if (++mismatches == 5) {
                break;
            }
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
}

} // namespace
