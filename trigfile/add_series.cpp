#include "trigfile/add_series.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "safefile/atomic_file.h"
#include "safefile/bounded_read.h"
#include "safefile/map_edit.h"
#include "safefile/streamed_file.h"
#include "trigfile/content_hash.h"
#include "trigfile/reward_message.h"
#include "trigfile/string_table.h"
#include "trigfile/trigger_stream.h"

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

// What scenario data of these sections holds, and how many more triggers it
// can take.
OwnerCounts scenarioCounts(std::span<const std::uint8_t> data,
                           std::span<const ScenarioSection> sections,
                           const TriggerRecords& records) {
    OwnerCounts counts = countOwners(records, forceMembership(data, sections));
    std::uint64_t trigSize = 0;
    bool hasTrig = false;
    for (const ScenarioSection& section : sections) {
        if (section.isNamed("TRIG")) {
            hasTrig = true;
            trigSize += section.size;
        }
    }
    const std::uint64_t bySection =
        trigSize >= kMaxSectionSize ? 0 : (kMaxSectionSize - trigSize) / kRecordSize;
    const std::uint64_t used = data.size() + (hasTrig ? 0 : kSectionHeaderSize);
    const std::uint64_t byReader =
        used >= safefile::kMaxReadBytes ? 0 : (safefile::kMaxReadBytes - used) / kRecordSize;
    counts.room = std::min(bySection, byReader);
    return counts;
}

// An add to a file the author cannot afford to lose, trigger file or
// scenario file alike: a copy beside it, the original kept as a backup when
// the copy takes its place (map_edit.h). The edit is begun before the file
// is read, so that a change by another program after the read is noticed
// when the copy would take its place; a file that cannot be edited safely
// (held open, read-only, not a file) is refused before anything is written.
AddOutcome throughEdit(const fs::path& file,
                       const std::function<AddOutcome(safefile::MapEdit&)>& add) {
    return safefile::failuresAsProblem(kAdding, [&]() -> AddOutcome {
        safefile::MapEdit edit(file);
        return add(edit);
    });
}

// The copy put in the file's place, the original kept under the backup name.
AddOutcome committed(safefile::MapEdit& edit, std::uint64_t triggers, WriteProgress* progress) {
    const auto backup = edit.commit(progress ? &progress->cancelRequested : nullptr);
    if (!backup) {
        return base::Problem::cancelled();
    }
    return Added{triggers, *backup, {}};
}

} // namespace

ForceMembership forceMembership(std::span<const std::uint8_t> data,
                                std::span<const ScenarioSection> sections) {
    ForceMembership membership;
    const auto forc = overlaidSections(data, sections, "FORC");
    if (!forc) {
        return membership;
    }
    membership.known = true;
    for (std::size_t player = 0; player < kTriggerPlayers; ++player) {
        // A short section leaves the players after its end in Force 1, as
        // the zeros the game's reader starts from; a number beyond Force 4
        // puts the player in none.
        const std::uint8_t force = player < forc->size() ? (*forc)[player] : 0;
        membership.forcesOf[player] = force < kForces ? static_cast<std::uint8_t>(1u << force) : 0;
    }
    return membership;
}

bool runsFor(const std::array<std::uint8_t, kExecutionTableSize>& table, std::size_t player,
             const ForceMembership& forces) {
    if (table[kPlayer1 + player] != 0 || table[kAllPlayers] != 0) {
        return true;
    }
    for (std::size_t force = 0; force < kForces; ++force) {
        if (table[kForce1 + force] != 0 && (forces.forcesOf[player] >> force & 1u) != 0) {
            return true;
        }
    }
    return false;
}

namespace {

// Counts one trigger for each player the game gives a copy of it.
void countOwner(OwnerCounts& counts, std::span<const std::uint8_t, kRecordSize> record) {
    std::array<std::uint8_t, kExecutionTableSize> table{};
    std::copy_n(record.begin() + record::kExecutionTable, table.size(), table.begin());
    for (std::size_t player = 0; player < kTriggerPlayers; ++player) {
        counts.perPlayer[player] += runsFor(table, player, counts.forces) ? 1 : 0;
    }
}

} // namespace

OwnerCounts countOwners(const TriggerRecords& records, const ForceMembership& forces) {
    OwnerCounts counts;
    counts.triggers = records.count();
    counts.forces = forces;
    for (std::size_t i = 0; i < records.count(); ++i) {
        countOwner(counts, records.record(i));
    }
    return counts;
}

namespace {

// Why scenario data may not grow by `more` triggers. The section's size
// field is 32-bit; and what Tallyforge writes it must be able to read back,
// which it checks for maps before they are replaced. A text, not a Problem:
// MinGW's GCC 12 then warns falsely of an uninitialised optional where
// planScenarioAddition returns it.
std::string scenarioTooLarge(std::uint32_t more) {
    return "With " + base::withThousands(more) +
           " more triggers the map's scenario data would be larger than the " +
           base::sizeText(safefile::kMaxReadBytes) +
           " Tallyforge reads. Please add a shorter series.";
}

} // namespace

std::optional<base::Problem> tooLongToAdd(const OwnerCounts& existing,
                                          const TriggerSeries& series) {
    if (series.recordCount <= existing.room) {
        return std::nullopt;
    }
    return base::Problem::refused(scenarioTooLarge(series.recordCount));
}

std::uint64_t mostTriggersForOnePlayer(const OwnerCounts& existing, const TriggerSeries& series) {
    std::uint64_t most = series.recordCount;
    for (std::size_t player = 0; player < kTriggerPlayers; ++player) {
        if (runsFor(series.fields.executionTable, player, existing.forces)) {
            most = std::max(most, existing.perPlayer[player] + series.recordCount);
        }
    }
    return most;
}

Inspection inspectTriggerFile(const fs::path& file) {
    // Walked a buffer at a time: a trigger file of any size is counted
    // without being held, and only the records are looked at.
    OwnerCounts counts;
    const auto walked = walkTriggerFile(file, [&](const WalkedTrigger& trigger) {
        countOwner(counts, std::span<const std::uint8_t, kRecordSize>(trigger.bytes, kRecordSize));
    });
    if (!walked.ok()) {
        return base::aboutFile(file, walked.problem());
    }
    counts.triggers = *walked; // the empty first trigger included
    return counts;
}

namespace {

// How much of a trigger file one read of its copy takes.
constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;

// What the first read of a trigger file to be added to learns, checking it
// as the listing does: how many records it holds, the highest text number
// its actions use, and a hash of every byte, which its copy must match.
struct OldTriggerFile {
    std::size_t records = 0;
    std::uint32_t highestText = 0;
    ContentHash hash;
};

base::Outcome<OldTriggerFile> readOldTriggerFile(const fs::path& file) {
    OldTriggerFile old;
    // The walk visits every byte after the header, which it has checked is
    // the preamble's.
    const auto preamble = encodePreamble();
    old.hash.add(std::span(preamble.data(), kHeaderSize));
    auto walked = walkTriggerFile(file, [&](const WalkedTrigger& trigger) {
        old.highestText = std::max(old.highestText, highestTextNumber(trigger));
        old.hash.add(std::span(trigger.bytes, trigger.size));
    });
    if (!walked.ok()) {
        return std::move(walked.problem());
    }
    old.records = *walked;
    return old;
}

// Copies the file to the sink a buffer at a time, to its end as it is now;
// the hash of what was copied.
base::Outcome<ContentHash> copyFile(const fs::path& file, ByteSink& sink) {
    auto in = safefile::StreamedFile::open(file);
    if (!in.ok()) {
        return std::move(in.problem());
    }
    std::vector<std::uint8_t> buffer(kCopyBufferSize);
    ContentHash copied;
    for (;;) {
        auto got = in->readAt(copied.size(), buffer);
        if (!got.ok()) {
            return std::move(got.problem());
        }
        if (*got == 0) {
            return copied;
        }
        const std::span<const std::uint8_t> part(buffer.data(), *got);
        writeSpan(sink, part);
        copied.add(part);
    }
}

} // namespace

AddOutcome addToTriggerFile(const fs::path& file, const TriggerSeries& series,
                            WriteProgress* progress, const SinkWrapper& wrap) {
    return throughEdit(file, [&](safefile::MapEdit& edit) -> AddOutcome {
        // Read twice, a buffer at a time, so that a file of any size is
        // never held: once to check it and learn what the new records need,
        // then to copy it. Its hash tells whether the copy is the file that
        // was checked.
        auto read = readOldTriggerFile(file);
        if (!read.ok()) {
            return base::aboutFile(file, read.problem());
        }
        const OldTriggerFile& old = *read;

        std::unique_ptr<ByteSink> wrapped = wrap ? wrap(edit.copy()) : nullptr;
        ByteSink& sink = wrapped ? *wrapped : edit.copy();
        // The old file byte for byte: its header, every record (the empty
        // first trigger among them) and the blocks after them; then the new
        // records alone.
        auto copied = copyFile(file, sink);
        if (!copied.ok()) {
            return base::aboutFile(file, copied.problem());
        }
        if (copied->size() != old.hash.size() || copied->value() != old.hash.value()) {
            return base::Problem::failed(
                "Could not change " + base::displayName(file) +
                ": another program changed it while it was being read. It was left as that "
                "program saved it.");
        }
        MessagePlacement placement;
        placement.numbers.before = old.highestText;
        if (!writeSeriesRecords(sink, series, progress, placement)) {
            return base::Problem::cancelled();
        }
        return committed(edit, old.records + series.recordCount, progress);
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
    const std::vector<ScenarioSection>& all = *sections;
    plan.existing = scenarioCounts(data, all, *triggers);
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
    if (auto refusal = tooLongToAdd(plan.existing, series)) {
        return *refusal;
    }
    if (series.message) {
        const auto table = readStringTable(data, all);
        auto message =
            planForMap(*series.message, table ? encodingShownBy(*table) : TextEncoding::Utf8);
        if (!message.ok()) {
            return std::move(message.problem());
        }
        auto strings = planStringSection(data, all, *message, series.recordCount, series.killStep);
        if (!strings.ok()) {
            return std::move(strings.problem());
        }
        plan.newSize =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(plan.newSize) + strings->growth());
        plan.strings = std::move(*strings);
    }
    if (trigSize > kMaxSectionSize || plan.newSize > safefile::kMaxReadBytes) {
        return base::Problem::refused(scenarioTooLarge(series.recordCount));
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
    ScenarioSectionsRead sections = parseScenarioSections(data);
    if (!sections.ok()) {
        return std::move(sections.problem());
    }
    return scenarioCounts(data, *sections, records);
}

Inspection inspectScenarioFile(const fs::path& file) {
    safefile::FileBytes bytes = safefile::readBoundedFile(file);
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
    return throughEdit(file, [&](safefile::MapEdit& edit) -> AddOutcome {
        safefile::FileBytes bytes = safefile::readBoundedFile(file);
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
        return committed(edit, addition.existing.triggers + series.recordCount, progress);
    });
}

} // namespace trigfile
