#include "trigfile/add_series.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "trigfile/atomic_file.h"
#include "trigfile/bounded_read.h"
#include "trigfile/file_identity.h"
#include "trigfile/map_edit.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace trigfile {
namespace {

constexpr std::uint64_t kMaxSectionSize = std::numeric_limits<std::uint32_t>::max();
constexpr char kTrigName[4] = {'T', 'R', 'I', 'G'};

void writeU32(ByteSink& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    putU32(bytes, value);
    out.write(bytes, sizeof bytes);
}

void writeSpan(ByteSink& out, std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) {
        out.write(bytes.data(), bytes.size());
    }
}

// Several TRIG sections, which the game reads one after another: the way
// protected maps are made, so a map editor's add would change what the
// protector built.
std::optional<base::Problem> stackedRefusal(const TriggerRecords& records) {
    if (records.trigSections <= 1) {
        return std::nullopt;
    }
    return base::Problem::refused(
        "The map is stacked: its triggers are spread over " +
        base::withThousands(records.trigSections) +
        " TRIG sections, which the game reads one after another. Protected maps are "
        "made this way, so Tallyforge does not add to it.");
}

} // namespace

OwnerCounts countOwners(const TriggerRecords& records) {
    OwnerCounts counts;
    counts.triggers = records.count();
    for (std::size_t i = 0; i < records.count(); ++i) {
        const auto record = records.record(i);
        for (std::size_t owner = 0; owner < kExecutionTableSize; ++owner) {
            if (record[record::kExecutionTable + owner] != 0) {
                ++counts.perOwner[owner];
            }
        }
    }
    return counts;
}

std::uint64_t mostTriggersForOneOwner(const OwnerCounts& existing, const TriggerSeries& series) {
    std::uint64_t most = series.recordCount;
    for (std::size_t owner = 0; owner < kExecutionTableSize; ++owner) {
        if (series.fields.executionTable[owner] != 0) {
            most = std::max(most, existing.perOwner[owner] + series.recordCount);
        }
    }
    return most;
}

Inspection inspectTriggerFile(const fs::path& file) {
    TriggerFileRead read = readTriggerFile(file);
    if (!read.ok()) {
        return base::aboutFile(file, read.problem());
    }
    return countOwners(*read);
}

AddOutcome addToTriggerFile(const fs::path& file, const TriggerSeries& series,
                            WriteProgress* progress, const SinkWrapper& wrap) {
    return failuresAsProblem(kAdding, [&]() -> AddOutcome {
        // What the file was when it was read, to notice a change before it
        // is replaced.
        const auto before = identityOf(file);
        FileBytes read = readBoundedFile(file);
        if (!read.ok()) {
            return base::aboutFile(file, read.problem());
        }
        const std::vector<std::uint8_t>& old = *read;
        const TriggerFileLayoutRead layout = layOutTriggerFile(old);
        if (!layout.ok()) {
            return base::aboutFile(file, layout.problem());
        }
        const std::size_t oldRecords = layout->recordOffsets.size();

        AtomicFile out(file);
        std::unique_ptr<ByteSink> wrapped = wrap ? wrap(out) : nullptr;
        ByteSink& sink = wrapped ? *wrapped : out;
        // The old file byte for byte: its header, every record (the empty
        // first trigger among them) and the blocks after them; then the new
        // records alone.
        writeSpan(sink, old);
        MessagePlacement placement;
        placement.numbers.before = highestTextNumber(old, *layout);
        const bool written =
            writeSeriesRecords(sink, series, progress, placement) &&
            out.commit(progress ? &progress->cancelRequested : nullptr, [&] {
                if (!before || identityOf(file) != before) {
                    throw WriteError("Could not add to " + base::displayName(file) +
                                     ": another program changed it meanwhile. It was left as "
                                     "that program saved it.");
                }
            });
        if (!written) {
            return base::Problem::cancelled();
        }
        return Added{oldRecords + series.recordCount, {}, {}};
    });
}

bool ScenarioAddition::write(ByteSink& out, const TriggerSeries& series,
                             WriteProgress* progress) const {
    // The changes, each a stretch of the old data [from, to) and what takes
    // its place, made front to back; the bytes between them are copied.
    struct Splice {
        std::size_t from;
        std::size_t to;
        std::function<bool()> write;
    };
    std::vector<Splice> splices;
    const auto sectionHeader = [&out](const char* name, std::uint32_t size) {
        out.write(reinterpret_cast<const std::uint8_t*>(name), 4);
        writeU32(out, size);
    };
    MessagePlacement placement{strings ? strings->numbers : TextNumbers{}, false};
    const auto records = [&] { return writeSeriesRecords(out, series, progress, placement); };
    if (hasTrig) {
        splices.push_back({trigSizeField, trigSizeField + 4, [&] {
                               writeU32(out, newTrigSize);
                               return true;
                           }});
        splices.push_back({insertAt, insertAt, records});
    } else {
        splices.push_back({data.size(), data.size(), [&] {
                               sectionHeader(kTrigName, newTrigSize);
                               return records();
                           }});
    }
    if (strings) {
        const std::size_t from = strings->replaces ? strings->replaces->offset : data.size();
        const std::size_t to = strings->replaces ? strings->replaces->end() : data.size();
        splices.push_back({from, to, [&] {
                               sectionHeader(strings->name.data(),
                                             static_cast<std::uint32_t>(strings->bytes.size()));
                               writeSpan(out, strings->bytes);
                               return true;
                           }});
    }
    // A TRIG section made at the end comes before a string section made there.
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.from < b.from; });
    std::size_t at = 0;
    for (const Splice& splice : splices) {
        writeSpan(out, data.subspan(at, splice.from - at));
        if (!splice.write()) {
            return false;
        }
        at = splice.to;
    }
    writeSpan(out, data.subspan(at));
    return true;
}

namespace {

// Compares what is written with bytes already there, instead of writing.
class ComparingSink : public ByteSink {
  public:
    explicit ComparingSink(std::span<const std::uint8_t> expected) : expected_(expected) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        same_ = same_ && size <= expected_.size() - at_ &&
                std::equal(data, data + size, expected_.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ += same_ ? size : 0;
    }
    bool matchedAll() const { return same_ && at_ == expected_.size(); }

  private:
    std::span<const std::uint8_t> expected_;
    std::size_t at_ = 0;
    bool same_ = true;
};

} // namespace

bool ScenarioAddition::matches(std::span<const std::uint8_t> stored,
                               const TriggerSeries& series) const {
    ComparingSink compare(stored);
    return write(compare, series, nullptr) && compare.matchedAll();
}

ScenarioPlan planScenarioAddition(std::span<const std::uint8_t> data, const TriggerSeries& series) {
    ScenarioSectionsRead sections = parseScenarioSections(data);
    if (!sections.ok()) {
        return std::move(sections.problem());
    }
    TriggerFileRead triggers = readScenarioTriggers(data);
    if (!triggers.ok()) {
        return std::move(triggers.problem());
    }

    if (auto refusal = stackedRefusal(*triggers)) {
        return *refusal;
    }
    ScenarioAddition plan;
    plan.data = data;
    plan.existing = countOwners(*triggers);
    const std::vector<ScenarioSection>& all = *sections;
    const auto hasTrig = [](const ScenarioSection& s) { return s.isNamed("TRIG"); };
    if (all.size() >= kMaxSections && std::none_of(all.begin(), all.end(), hasTrig)) {
        return base::Problem::refused(
            "The scenario data already has " + base::withThousands(kMaxSections) +
            " sections, the most Tallyforge reads, so it has no room for a TRIG "
            "section.");
    }
    const std::uint64_t added = static_cast<std::uint64_t>(series.recordCount) * kRecordSize;
    std::uint64_t trigSize = added;
    for (const ScenarioSection& section : all) {
        if (section.isNamed("TRIG")) {
            plan.hasTrig = true;
            plan.trigSizeField = section.offset + 4;
            plan.insertAt = section.end();
            trigSize += section.size;
        }
    }
    if (!plan.hasTrig) {
        plan.insertAt = data.size();
    }
    plan.newSize = data.size() + added + (plan.hasTrig ? 0 : kSectionHeaderSize);
    if (series.message) {
        auto strings =
            planStringSection(data, all, *series.message, series.recordCount, series.killStep);
        if (!strings.ok()) {
            return std::move(strings.problem());
        }
        plan.newSize =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(plan.newSize) + strings->growth());
        plan.strings = std::move(*strings);
    }
    // The section's size field is 32-bit; and what Tallyforge writes it must
    // be able to read back, which it checks for maps before they are replaced.
    if (trigSize > kMaxSectionSize || plan.newSize > kMaxReadBytes) {
        return base::Problem::refused(
            "With " + base::withThousands(series.recordCount) +
            " more triggers the map's scenario data would be larger than the " +
            base::sizeText(kMaxReadBytes) + " Tallyforge reads. Please add a shorter series.");
    }
    plan.newTrigSize = static_cast<std::uint32_t>(trigSize);
    return plan;
}

Inspection inspectScenarioData(std::span<const std::uint8_t> data) {
    TriggerFileRead read = readScenarioTriggers(data);
    if (!read.ok()) {
        return std::move(read.problem());
    }
    const TriggerRecords& records = *read;
    if (auto refusal = stackedRefusal(records)) {
        return *refusal;
    }
    return countOwners(records);
}

Inspection inspectScenarioFile(const fs::path& file) {
    FileBytes bytes = readBoundedFile(file);
    if (!bytes.ok()) {
        return base::aboutFile(file, bytes.problem());
    }
    Inspection inspection = inspectScenarioData(*bytes);
    if (!inspection.ok()) {
        return base::aboutFile(file, inspection.problem());
    }
    return inspection;
}

AddOutcome addToScenarioFile(const fs::path& file, const TriggerSeries& series,
                             WriteProgress* progress) {
    return failuresAsProblem(kAdding, [&]() -> AddOutcome {
        MapEdit edit(file); // refuses a map it must not touch, before anything is written
        FileBytes bytes = readBoundedFile(file);
        if (!bytes.ok()) {
            return base::aboutFile(file, bytes.problem());
        }
        ScenarioPlan plan = planScenarioAddition(*bytes, series);
        if (!plan.ok()) {
            return base::aboutFile(file, plan.problem());
        }
        const ScenarioAddition& addition = *plan;
        if (!addition.write(edit.copy(), series, progress)) {
            return base::Problem::cancelled();
        }
        const auto backup = edit.commit(progress ? &progress->cancelRequested : nullptr);
        if (!backup) {
            return base::Problem::cancelled();
        }
        return Added{addition.existing.triggers + series.recordCount, *backup, {}};
    });
}

} // namespace trigfile
