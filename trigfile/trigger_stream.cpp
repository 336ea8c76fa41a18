#include "trigfile/trigger_stream.h"

#include "base/display_name.h"
#include "trigfile/scenario_sections.h"

#include <algorithm>
#include <optional>

namespace trigfile {
namespace {

// How many records one read of a TRIG section takes: about a megabyte.
constexpr std::size_t kRecordsPerRead = safefile::ByteWindow::kBufferSize / kRecordSize;

base::Problem named(const std::filesystem::path& path, base::Problem problem) {
    problem.reason = base::displayName(path) + ": " + problem.reason;
    return problem;
}

class RecordsSource final : public TriggerSource {
  public:
    explicit RecordsSource(const TriggerRecords& records) : records_(records) {}

    base::Outcome<TriggerTotals> walk(const TriggerVisitor& visit) override {
        auto block = records_.blocks.begin();
        const StringTable* strings = records_.strings ? &*records_.strings : nullptr;
        for (std::size_t i = 0; i < records_.count(); ++i) {
            const auto first = block;
            while (block != records_.blocks.end() && block->record == i) {
                ++block;
            }
            visit(TriggerView{i, records_.record(i).data(), std::span(first, block), strings});
        }
        return TriggerTotals{records_.count(), records_.trigSections};
    }

  private:
    const TriggerRecords& records_;
};

class TriggerFileSource final : public TriggerSource {
  public:
    explicit TriggerFileSource(std::filesystem::path path) : path_(std::move(path)) {}

    base::Outcome<TriggerTotals> walk(const TriggerVisitor& visit) override {
        std::vector<ActionBlocks> blocks;
        auto walked = walkTriggerFile(path_, [&](const WalkedTrigger& t) {
            blocks.clear();
            appendActionBlocks(blocks, t);
            visit(TriggerView{t.index, t.bytes, blocks, nullptr});
        });
        if (!walked.ok()) {
            return std::move(walked.problem());
        }
        return TriggerTotals{*walked, 0};
    }

  private:
    std::filesystem::path path_;
};

// Where scenario data's bytes come from: memory, or a file read a part at
// a time into a buffer of the walk's own.
class ScenarioBytes {
  public:
    virtual ~ScenarioBytes() = default;
    virtual std::uint64_t size() const = 0;
    // n bytes from `at`, readable until the next call.
    virtual base::Outcome<const std::uint8_t*> read(std::uint64_t at, std::size_t n) = 0;
};

class MemoryBytes final : public ScenarioBytes {
  public:
    explicit MemoryBytes(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint64_t size() const override { return data_.size(); }
    base::Outcome<const std::uint8_t*> read(std::uint64_t at, std::size_t) override {
        return data_.data() + at;
    }

  private:
    std::span<const std::uint8_t> data_;
};

class FileBytes final : public ScenarioBytes {
  public:
    explicit FileBytes(safefile::StreamedFile& file) : file_(file) {}
    std::uint64_t size() const override { return file_.reportedSize(); }
    base::Outcome<const std::uint8_t*> read(std::uint64_t at, std::size_t n) override {
        buffer_.resize(n);
        auto got = file_.readAt(at, buffer_);
        if (!got.ok()) {
            failed_ = true;
            return std::move(got.problem());
        }
        if (*got < n) {
            // Shorter than when its sections were read: changed meanwhile.
            return base::Problem::refused("The scenario data ends at byte " +
                                          std::to_string(at + *got) +
                                          ", before the sections it gave; it may have been "
                                          "changed while it was read.");
        }
        return static_cast<const std::uint8_t*>(buffer_.data());
    }
    // Whether the system failed a read (its message names the file).
    bool failed() const { return failed_; }

  private:
  private:
    safefile::StreamedFile& file_;
    std::vector<std::uint8_t> buffer_;
    bool failed_ = false;
};

// The sections and strings, then the records of each TRIG section in turn.
base::Outcome<TriggerTotals>
walkScenario(ScenarioBytes& bytes, const TriggerVisitor& visit, std::optional<StringTable>& strings,
             const std::function<std::optional<StringTable>(std::span<const ScenarioSection>)>&
                 readStrings) {
    auto parsed = parseScenarioSections(
        bytes.size(), [&](std::size_t at) -> base::Outcome<std::array<std::uint8_t, 8>> {
            auto header = bytes.read(at, kSectionHeaderSize);
            if (!header.ok()) {
                return std::move(header.problem());
            }
            std::array<std::uint8_t, kSectionHeaderSize> copy{};
            std::copy_n(*header, copy.size(), copy.begin());
            return copy;
        });
    if (!parsed.ok()) {
        return std::move(parsed.problem());
    }
    const std::vector<ScenarioSection>& sections = *parsed;
    strings = readStrings(sections);
    TriggerTotals totals;
    for (const ScenarioSection& s : sections) {
        totals.trigSections += s.isNamed("TRIG") ? 1 : 0;
    }
    const StringTable* table = strings ? &*strings : nullptr;
    for (const ScenarioSection& s : sections) {
        if (!s.isNamed("TRIG")) {
            continue;
        }
        for (std::size_t done = 0; done < s.size;) {
            const std::size_t n =
                std::min<std::size_t>(s.size - done, kRecordsPerRead * kRecordSize);
            auto part = bytes.read(s.dataOffset() + done, n);
            if (!part.ok()) {
                return std::move(part.problem());
            }
            for (std::size_t at = 0; at < n; at += kRecordSize) {
                visit(TriggerView{totals.triggers++, *part + at, {}, table});
            }
            done += n;
        }
    }
    return totals;
}

class ScenarioFileSource final : public TriggerSource {
  public:
    explicit ScenarioFileSource(std::filesystem::path path) : path_(std::move(path)) {}

    base::Outcome<TriggerTotals> walk(const TriggerVisitor& visit) override {
        auto file = safefile::StreamedFile::open(path_);
        if (!file.ok()) {
            return std::move(file.problem());
        }
        FileBytes bytes(*file);
        std::optional<base::Problem> stringsProblem;
        // Only the string sections are read whole: laid side by side, each
        // after its header, they are what readStringTable looks at.
        const auto readStrings =
            [&](std::span<const ScenarioSection> sections) -> std::optional<StringTable> {
            std::vector<std::uint8_t> data;
            std::vector<ScenarioSection> kept;
            for (ScenarioSection s : sections) {
                if (!s.isNamed("STR ") && !s.isNamed("STRx")) {
                    continue;
                }
                auto part = bytes.read(s.dataOffset(), s.size);
                if (!part.ok()) {
                    stringsProblem = std::move(part.problem());
                    return std::nullopt;
                }
                s.offset = data.size();
                data.resize(data.size() + kSectionHeaderSize);
                data.insert(data.end(), *part, *part + s.size);
                kept.push_back(s);
            }
            return readStringTable(data, kept);
        };
        auto walked = walkScenario(bytes, visit, strings_, readStrings);
        if (stringsProblem) {
            walked = std::move(*stringsProblem);
        }
        if (!walked.ok() && !bytes.failed()) {
            return named(path_, std::move(walked.problem()));
        }
        return walked;
    }

  private:
    std::filesystem::path path_;
    std::optional<StringTable> strings_;
};

class ScenarioDataSource final : public TriggerSource {
  public:
    ScenarioDataSource(std::vector<std::uint8_t> data, std::filesystem::path name)
        : data_(std::move(data)), name_(std::move(name)) {}

    base::Outcome<TriggerTotals> walk(const TriggerVisitor& visit) override {
        MemoryBytes bytes(data_);
        auto walked = walkScenario(bytes, visit, strings_,
                                   [&](auto sections) { return readStringTable(data_, sections); });
        if (!walked.ok()) {
            return named(name_, std::move(walked.problem()));
        }
        return walked;
    }

  private:
    std::vector<std::uint8_t> data_;
    std::filesystem::path name_;
    std::optional<StringTable> strings_;
};

} // namespace

std::unique_ptr<TriggerSource> recordsSource(const TriggerRecords& records) {
    return std::make_unique<RecordsSource>(records);
}

std::unique_ptr<TriggerSource> triggerFileSource(const std::filesystem::path& path) {
    return std::make_unique<TriggerFileSource>(path);
}

base::Outcome<std::size_t> walkTriggerFile(const std::filesystem::path& path,
                                           const TriggerWalkVisitor& visit) {
    auto file = safefile::StreamedFile::open(path);
    if (!file.ok()) {
        return std::move(file.problem());
    }
    safefile::ByteWindow in(*file);
    auto walked = walkTriggerFile(in, visit);
    if (!walked.ok() && !in.readFailed()) {
        // What the file holds is refused in its name; a failed read already
        // says which file.
        return named(path, std::move(walked.problem()));
    }
    return walked;
}

std::unique_ptr<TriggerSource> scenarioFileSource(const std::filesystem::path& path) {
    return std::make_unique<ScenarioFileSource>(path);
}

std::unique_ptr<TriggerSource> scenarioDataSource(std::vector<std::uint8_t> data,
                                                  std::filesystem::path name) {
    return std::make_unique<ScenarioDataSource>(std::move(data), std::move(name));
}

} // namespace trigfile
