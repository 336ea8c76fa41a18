#include "app/add_command.h"

#include "app/box_names.h"
#include "app/create_command.h" // the shared texts of Create's boxes
#include "base/display_name.h"

#include "app/background_write.h"
#include "app/command_support.h"
#include "maparchive/add_to_map.h"
#include "safefile/map_edit.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace {

QString quotedName(const std::filesystem::path& p) {
    return QString::fromStdString(base::displayName(p));
}

// The settings or the kind of file refused, before any file is read.
constexpr ProblemBoxes kSettingsBoxes{addtexts::kRefusedTitle, addtexts::kRefusedTitle, ""};
// A problem with the file chosen, which is left as it was.
constexpr ProblemBoxes kFileBoxes{addtexts::kRefusedTitle, addtexts::kFailedTitle,
                                  addtexts::kLeftAlone};

bool fits(maparchive::Target target, AddCommand::Into into) {
    if (into == AddCommand::Into::TriggerFile) {
        return target == maparchive::Target::TriggerFile;
    }
    return target == maparchive::Target::ScenarioFile || target == maparchive::Target::MapArchive;
}

} // namespace

OpenRequest AddCommand::dialogueFor(Into into, const QString& folder) {
    if (into == Into::TriggerFile) {
        return OpenRequest{QStringLiteral("Add to trigger file"), folder,
                           QStringLiteral("Starcraft triggers (*.trg)|*.trg")};
    }
    return OpenRequest{QStringLiteral("Add to map"), folder,
                       QStringLiteral("Starcraft maps (*.scm *.scx *.chk)|*.scm *.scx *.chk")};
}

void AddCommand::run(const trigfile::KillRewardSettings& read) {
    // Create's checks, before any dialogue: a refusal names the box.
    const trigfile::SeriesPlan plan =
        trigfile::planSeries(trigfile::normalise(read), boxnames::kBoxNames);
    if (!plan.ok()) {
        showProblem(platform_, plan.problem(), kSettingsBoxes);
        return;
    }
    const trigfile::TriggerSeries& series = *plan;

    const std::optional<QString> path = chooseTarget();
    if (!path) {
        return;
    }
    const std::filesystem::path target = nativePath(*path);
    if (!fits(maparchive::targetOf(target), into_)) {
        showProblem(platform_,
                    base::Problem::refused(
                        into_ == Into::TriggerFile
                            ? "Add to trigger file takes a trigger file (.trg)."
                            : "Add to map takes a map (.scm, .scx) or scenario file (.chk)."),
                    kSettingsBoxes);
        return;
    }
    // The target is read whole, which for a big map or trigger file takes a
    // while: on a thread of its own, as the add itself.
    std::optional<base::Outcome<maparchive::BeforeAdd>> checked;
    bool cancelled = false;
    runWithProgress(
        platform_.dialogueOwner(), addingTitle(target),
        [](std::uint64_t) { return QStringLiteral("Reading the file..."); },
        [&](trigfile::WriteProgress& progress) {
            checked = maparchive::checkBeforeAdd(target, series);
            // The read cannot stop half way; a Cancel pressed meanwhile ends
            // the add once it is over, before anything is asked or written.
            cancelled = progress.cancelRequested.load();
        });
    if (cancelled) {
        return;
    }
    const base::Outcome<maparchive::BeforeAdd>& before = *checked;
    if (!before.ok()) {
        showProblem(platform_, before.problem(), kFileBoxes);
        return;
    }
    if (before->tooLong) {
        showProblem(platform_, *before->tooLong, kFileBoxes);
        return;
    }
    if (before->mostForOnePlayer > createtexts::kMostTriggersPerPlayer &&
        !confirmManyTriggers(series, *before)) {
        return;
    }
    if (into_ == Into::Map && !confirmMapEdit(*path, series)) {
        return;
    }
    std::optional<trigfile::AddOutcome> outcome;
    runWithProgress(platform_.dialogueOwner(), addingTitle(target), series.recordCount,
                    [&](trigfile::WriteProgress& progress) {
                        outcome = maparchive::addSeries(target, series, &progress, disk_);
                    });
    report(*path, *outcome);
}

std::optional<QString> AddCommand::chooseTarget() {
    const std::optional<QString> chosen = platform_.chooseOpenFile(dialogue_);
    if (chosen) {
        dialogue_.folder = QFileInfo(*chosen).absolutePath(); // the next Add starts there
    }
    return chosen;
}

bool AddCommand::confirmManyTriggers(const trigfile::TriggerSeries& series,
                                     const maparchive::BeforeAdd& before) {
    const std::uint64_t most = before.mostForOnePlayer;
    const QString forces =
        before.manyTriggersNote.empty()
            ? QString()
            : QStringLiteral("  ") + QString::fromStdString(before.manyTriggersNote);
    const QString text =
        QStringLiteral("This will add %1 triggers, and one player will then have %2 triggers, "
                       "%3 of them already there.  A player who owns more than %4 triggers "
                       "makes StarCraft crash when a game is saved.%5  Do you want to add them "
                       "anyway?")
            .arg(thousands(series.recordCount), thousands(most),
                 thousands(most - series.recordCount),
                 thousands(createtexts::kMostTriggersPerPlayer), forces);
    return platform_.showMessage(MessageRequest{text, QString::fromLatin1(createtexts::kManyTitle),
                                                MessageButtons::YesNo, MessageIcon::Warning,
                                                MessageAnswer::No}) == MessageAnswer::Yes;
}

bool AddCommand::confirmMapEdit(const QString& path, const trigfile::TriggerSeries& series) {
    const std::filesystem::path map = nativePath(path);
    const QString text =
        QStringLiteral("Add %1 %2 to the map %3?\r\n\r\nThe map is changed as a copy beside it, "
                       "which takes its place only when complete.  The map as it is now is kept "
                       "as %4.")
            .arg(thousands(series.recordCount),
                 series.recordCount == 1 ? QStringLiteral("trigger") : QStringLiteral("triggers"),
                 quotedName(map), quotedName(safefile::nextBackupName(map)));
    return platform_.showMessage(MessageRequest{text, QString::fromLatin1(addtexts::kConfirmTitle),
                                                MessageButtons::YesNo, MessageIcon::None,
                                                MessageAnswer::Yes}) == MessageAnswer::Yes;
}

void AddCommand::report(const QString& path, const trigfile::AddOutcome& outcome) {
    if (!outcome.ok()) {
        showProblem(platform_, outcome.problem(), kFileBoxes);
        return;
    }
    const trigfile::Added& added = *outcome;
    QString text = QStringLiteral("The triggers were added to %1, which now holds %2 triggers.")
                       .arg(quotedName(nativePath(path)), thousands(added.triggersAfter));
    if (!added.backup.empty()) {
        text += (into_ == Into::Map ? QStringLiteral("  The map as it was is kept as %1.")
                                    : QStringLiteral("  The trigger file as it was is kept as %1."))
                    .arg(quotedName(added.backup));
    }
    if (!added.note.empty()) {
        text += QStringLiteral("\r\n\r\n") + QString::fromStdString(added.note);
    }
    platform_.showMessage(okBox(text, QString::fromLatin1(addtexts::kAddedTitle)));
}
