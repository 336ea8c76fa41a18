#include "app/open_command.h"

#include "app/background_write.h"
#include "app/command_support.h"
#include "app/listing_text.h"
#include "maparchive/open_triggers.h"
#include "trigfile/series_recognition.h"
#include "trigfile/trigger_listing.h"

#include <QFileInfo>

#include <filesystem>
#include <new>
#include <variant>

namespace {

// Thrown out of a walk when the user cancels: the sources stop at once,
// holding nothing that is not freed on the way out.
struct Cancelled {};

// The file's triggers as the listing walks them, counted for the progress
// box, looked through for series (the window is offered the only one), and
// stopped when the user cancels.
class ReadingSource final : public trigfile::TriggerSource {
  public:
    ReadingSource(trigfile::TriggerSource& file, trigfile::WriteProgress& progress)
        : file_(file), progress_(progress) {}

    base::Outcome<trigfile::TriggerTotals> walk(const trigfile::TriggerVisitor& visit) override {
        return file_.walk([&](const trigfile::TriggerView& trigger) {
            if (progress_.cancelRequested.load(std::memory_order_relaxed)) {
                throw Cancelled{};
            }
            only_.next(trigger);
            visit(trigger);
            progress_.recordsWritten.store(trigger.index + 1, std::memory_order_relaxed);
        });
    }

    // The only series' settings, once the walk is over.
    std::optional<trigfile::KillRewardSettings> onlySeries() { return only_.finish(); }

  private:
    trigfile::TriggerSource& file_;
    trigfile::WriteProgress& progress_;
    trigfile::OnlySeriesFinder only_;
};

struct Opened {
    std::optional<trigfile::KillRewardSettings> onlySeries;
};

// Reads the file and writes its listing to `listing`, on the worker thread.
base::Outcome<Opened> readForListing(const std::filesystem::path& path, ListingText& listing,
                                     const OpenCommand::SourceWrapper& wrap,
                                     trigfile::WriteProgress& progress) {
    if (!listing.ok()) {
        return base::Problem::failed("Could not make a temporary file for the listing.");
    }
    auto opened = maparchive::triggerSourceOf(path);
    if (!opened.ok()) {
        return std::move(opened.problem());
    }
    std::unique_ptr<trigfile::TriggerSource> file = std::move(*opened);
    if (wrap) {
        file = wrap(std::move(file));
    }
    ReadingSource reading(*file, progress);
    try {
        const base::Outcome<base::Done> written = trigfile::writeListing(reading, listing.writer());
        if (!written.ok()) {
            return written.problem();
        }
    } catch (const Cancelled&) {
        return base::Problem::cancelled();
    }
    if (!listing.finishWriting()) {
        return base::Problem::failed("Could not write the listing's temporary file.");
    }
    return Opened{reading.onlySeries()};
}

} // namespace

std::optional<trigfile::KillRewardSettings>
OpenCommand::run(const std::function<bool(const trigfile::KillRewardSettings&)>& windowHolds) {
    using namespace opentexts;
    const std::optional<QString> chosen = platform_.chooseOpenFile(openDialogue_);
    if (!chosen) {
        return std::nullopt;
    }
    openDialogue_.folder = QFileInfo(*chosen).absolutePath();
    const QString name = QFileInfo(*chosen).fileName();

    // The file is read, and its listing written to a temporary file, on a
    // thread of its own: a big file takes seconds, and the window goes on
    // repainting meanwhile, with a Cancel after half a second as Create has.
    const std::filesystem::path path = nativePath(*chosen);
    auto listing = std::make_shared<ListingText>();
    std::optional<base::Outcome<Opened>> read;
    runWithProgress(
        platform_.dialogueOwner(), QString::fromLatin1(kProgressTitle).arg(name),
        [](std::uint64_t triggers) {
            return triggers == 0 ? QStringLiteral("Reading the file...")
                                 : QStringLiteral("Reading trigger %1...").arg(thousands(triggers));
        },
        [&](trigfile::WriteProgress& progress) {
            try {
                read = readForListing(path, *listing, wrap_, progress);
            } catch (const std::bad_alloc&) {
                read = base::Problem::failed("There is not enough memory to read the file.");
            }
        });
    if (!read->ok()) {
        showProblem(platform_, read->problem(), {kRefusedTitle, kRefusedTitle, ""});
        return std::nullopt;
    }
    std::optional<trigfile::KillRewardSettings> settings = (*read)->onlySeries;
    if (settings && !windowHolds(*settings)) {
        settings.reset();
    }
    const ListingRequest request{QString::fromLatin1(kListingTitle).arg(name), listing,
                                 settings.has_value()};
    if (platform_.showListing(request) != ListingAnswer::Fill) {
        return std::nullopt;
    }
    return settings;
}
