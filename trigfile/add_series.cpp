#include "add_series.h"

#include "atomic_file.h"
#include "bounded_read.h"
#include "map_edit.h"
#include "number_text.h"

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
std::optional<Refusal> stackedRefusal(const TriggerRecords& records) {
    if (records.trigSections <= 1) {
        return std::nullopt;
    }
    return Refusal{"The map is stacked: its triggers are spread over " +
                   withThousands(records.trigSections) +
                   " TRIG sections, which the game reads one after another. Protected maps are "
                   "made this way, so Tallyforge does not add to it."};
}

std::string prefixed(const fs::path& file, const Refusal& refusal) {
    const std::string name = displayName(file);
    // The readers may already have named the file.
    if (refusal.reason.find(name) != std::string::npos) {
        return refusal.reason;
    }
    return name + ": " + refusal.reason;
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
    const std::uint64_t byReader = used >= kMaxReadBytes ? 0 : (kMaxReadBytes - used) / kRecordSize;
    counts.room = std::min(bySection, byReader);
    return counts;
}

// An add to a file the author cannot afford to lose, trigger file or
// scenario file alike: a copy beside it, the original kept as a backup when
// the copy takes its place (map_edit.h). A file that cannot be edited safely
// (held open, read-only, not a file) is refused before anything is written.
AddOutcome throughEdit(const fs::path& file, const std::function<AddOutcome(MapEdit&)>& add) {
    std::unique_ptr<MapEdit> edit;
    try {
        edit = std::make_unique<MapEdit>(file);
    } catch (const WriteError& e) {
        return AddOutcome::refused(e.what());
    }
    return failuresAsOutcome([&] { return add(*edit); });
}

// The copy put in the file's place, the original kept under the backup name.
AddOutcome committed(MapEdit& edit, std::uint64_t triggers, WriteProgress* progress) {
    const auto backup = edit.commit(progress ? &progress->cancelRequested : nullptr);
    if (!backup) {
        return AddOutcome::cancelled();
    }
    return AddOutcome::added(triggers, *backup);
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

OwnerCounts countOwners(const TriggerRecords& records, const ForceMembership& forces) {
    OwnerCounts counts;
    counts.triggers = records.count();
    counts.forces = forces;
    std::array<std::uint8_t, kExecutionTableSize> table{};
    for (std::size_t i = 0; i < records.count(); ++i) {
        const auto record = records.record(i);
        std::copy_n(record.begin() + record::kExecutionTable, table.size(), table.begin());
        for (std::size_t player = 0; player < kTriggerPlayers; ++player) {
            counts.perPlayer[player] += runsFor(table, player, forces) ? 1 : 0;
        }
    }
    return counts;
}

std::optional<Refusal> tooLongToAdd(const OwnerCounts& existing, const TriggerSeries& series) {
    if (series.recordCount <= existing.room) {
        return std::nullopt;
    }
    // The section's size field is 32-bit; and what Tallyforge writes it must
    // be able to read back, which it checks for maps before they are replaced.
    return Refusal{"With " + withThousands(series.recordCount) +
                   " more triggers the map's scenario data would be larger than the " +
                   sizeText(kMaxReadBytes) + " Tallyforge reads. Please add a shorter series."};
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

AddOutcome failuresAsOutcome(const std::function<AddOutcome()>& add) {
    try {
        return add();
    } catch (const WriteError& e) {
        return AddOutcome::failed(e.what());
    } catch (const std::bad_alloc&) {
        return AddOutcome::failed("There was not enough memory to add the triggers.");
    } catch (const std::exception& e) {
        return AddOutcome::failed(std::string("Could not add the triggers: ") + e.what());
    }
}

Inspection inspectTriggerFile(const fs::path& file) {
    TriggerFileRead read = readTriggerFile(file);
    if (const auto* refusal = std::get_if<Refusal>(&read)) {
        return Refusal{prefixed(file, *refusal)};
    }
    return countOwners(std::get<TriggerRecords>(read));
}

AddOutcome addToTriggerFile(const fs::path& file, const TriggerSeries& series,
                            WriteProgress* progress, const SinkWrapper& wrap) {
    return throughEdit(file, [&](MapEdit& edit) {
        FileBytes read = readBoundedFile(file);
        if (const auto* refusal = std::get_if<Refusal>(&read)) {
            return AddOutcome::refused(prefixed(file, *refusal));
        }
        const auto& old = std::get<std::vector<std::uint8_t>>(read);
        const TriggerFileLayoutRead layout = layOutTriggerFile(old);
        if (const auto* refusal = std::get_if<Refusal>(&layout)) {
            return AddOutcome::refused(prefixed(file, *refusal));
        }
        const std::size_t oldRecords = std::get<TriggerFileLayout>(layout).recordOffsets.size();

        std::unique_ptr<ByteSink> wrapped = wrap ? wrap(edit.copy()) : nullptr;
        ByteSink& sink = wrapped ? *wrapped : edit.copy();
        // The old file byte for byte: its header, every record (the empty
        // first trigger among them) and the blocks after them; then the new
        // records alone.
        writeSpan(sink, old);
        if (!writeSeriesRecords(sink, series, progress)) {
            return AddOutcome::cancelled();
        }
        return committed(edit, oldRecords + series.recordCount, progress);
    });
}

bool ScenarioAddition::write(ByteSink& out, const TriggerSeries& series,
                             WriteProgress* progress) const {
    if (hasTrig) {
        writeSpan(out, data.subspan(0, trigSizeField));
        writeU32(out, newTrigSize);
        writeSpan(out, data.subspan(trigSizeField + 4, insertAt - trigSizeField - 4));
    } else {
        writeSpan(out, data);
        out.write(reinterpret_cast<const std::uint8_t*>(kTrigName), sizeof kTrigName);
        writeU32(out, newTrigSize);
    }
    if (!writeSeriesRecords(out, series, progress)) {
        return false;
    }
    writeSpan(out, data.subspan(insertAt));
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
    if (auto* refusal = std::get_if<Refusal>(&sections)) {
        return std::move(*refusal);
    }
    TriggerFileRead triggers = readScenarioTriggers(data);
    if (auto* refusal = std::get_if<Refusal>(&triggers)) {
        return std::move(*refusal);
    }

    if (auto refusal = stackedRefusal(std::get<TriggerRecords>(triggers))) {
        return *refusal;
    }
    ScenarioAddition plan;
    plan.data = data;
    const auto& all = std::get<std::vector<ScenarioSection>>(sections);
    plan.existing = scenarioCounts(data, all, std::get<TriggerRecords>(triggers));
    const auto hasTrig = [](const ScenarioSection& s) { return s.isNamed("TRIG"); };
    if (all.size() >= kMaxSections && std::none_of(all.begin(), all.end(), hasTrig)) {
        return Refusal{"The scenario data already has " + withThousands(kMaxSections) +
                       " sections, the most Tallyforge reads, so it has no room for a TRIG "
                       "section."};
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
    plan.newTrigSize = static_cast<std::uint32_t>(trigSize);
    return plan;
}

Inspection inspectScenarioData(std::span<const std::uint8_t> data) {
    TriggerFileRead read = readScenarioTriggers(data);
    if (auto* refusal = std::get_if<Refusal>(&read)) {
        return std::move(*refusal);
    }
    const auto& records = std::get<TriggerRecords>(read);
    if (auto refusal = stackedRefusal(records)) {
        return *refusal;
    }
    ScenarioSectionsRead sections = parseScenarioSections(data);
    if (auto* refusal = std::get_if<Refusal>(&sections)) {
        return std::move(*refusal);
    }
    return scenarioCounts(data, std::get<std::vector<ScenarioSection>>(sections), records);
}

Inspection inspectScenarioFile(const fs::path& file) {
    FileBytes bytes = readBoundedFile(file);
    if (const auto* refusal = std::get_if<Refusal>(&bytes)) {
        return Refusal{prefixed(file, *refusal)};
    }
    Inspection inspection = inspectScenarioData(std::get<std::vector<std::uint8_t>>(bytes));
    if (const auto* refusal = std::get_if<Refusal>(&inspection)) {
        return Refusal{prefixed(file, *refusal)};
    }
    return inspection;
}

AddOutcome addToScenarioFile(const fs::path& file, const TriggerSeries& series,
                             WriteProgress* progress) {
    return throughEdit(file, [&](MapEdit& edit) {
        FileBytes bytes = readBoundedFile(file);
        if (const auto* refusal = std::get_if<Refusal>(&bytes)) {
            return AddOutcome::refused(prefixed(file, *refusal));
        }
        const auto& data = std::get<std::vector<std::uint8_t>>(bytes);
        ScenarioPlan plan = planScenarioAddition(data, series);
        if (const auto* refusal = std::get_if<Refusal>(&plan)) {
            return AddOutcome::refused(prefixed(file, *refusal));
        }
        const ScenarioAddition& addition = std::get<ScenarioAddition>(plan);
        if (!addition.write(edit.copy(), series, progress)) {
            return AddOutcome::cancelled();
        }
        return committed(edit, addition.existing.triggers + series.recordCount, progress);
    });
}

} // namespace trigfile
