#pragma once

#include "base/outcome.h"
#include "trigfile/string_table.h"
#include "trigfile/trigger_file_reader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace trigfile {

// One trigger as a read meets it, readable only during the call: a big
// file is read a buffer at a time and never held whole.
struct TriggerView {
    std::size_t index = 0;                // among the triggers, from 0
    const std::uint8_t* bytes = nullptr;  // its record's kRecordSize bytes
    std::span<const ActionBlocks> blocks; // a trigger file's blocks of this record
    const StringTable* strings = nullptr; // scenario data's strings, when it has any

    std::span<const std::uint8_t, kRecordSize> record() const {
        return std::span<const std::uint8_t, kRecordSize>(bytes, kRecordSize);
    }
};
using TriggerVisitor = std::function<void(const TriggerView&)>;

struct TriggerTotals {
    std::size_t triggers = 0;
    std::size_t trigSections = 0; // scenario data: TRIG sections the records came from
};

// Triggers to be read from the first to the last, as often as a reader
// needs: a listing that begins with their count walks them twice rather
// than hold them.
class TriggerSource {
  public:
    virtual ~TriggerSource() = default;
    // Calls visit for each trigger in file order. The totals, or why the
    // walk stopped (it may have visited triggers before the fault).
    virtual base::Outcome<TriggerTotals> walk(const TriggerVisitor& visit) = 0;
};

// Records already in memory; they must outlive the source.
std::unique_ptr<TriggerSource> recordsSource(const TriggerRecords& records);

// A trigger file on disk, read in a fixed-size buffer on each walk; a
// refusal of its contents names the file, as readTriggerFile's do.
std::unique_ptr<TriggerSource> triggerFileSource(const std::filesystem::path& path);

// The walk of a trigger file on disk that the source makes, giving each
// trigger's record and blocks as they lie in the file: the number of
// triggers, or why the walk stopped, named as the source names it.
base::Outcome<std::size_t> walkTriggerFile(const std::filesystem::path& path,
                                           const TriggerWalkVisitor& visit);

// Scenario data on disk (.chk): its section headers and strings are read
// first, then its TRIG sections a buffer at a time.
std::unique_ptr<TriggerSource> scenarioFileSource(const std::filesystem::path& path);

// Scenario data in memory (a map's, as the contained read gives it back),
// walked where it lies; `name` is the map's, for refusals.
std::unique_ptr<TriggerSource> scenarioDataSource(std::vector<std::uint8_t> data,
                                                  std::filesystem::path name);

} // namespace trigfile
