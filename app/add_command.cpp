#include "add_command.h"

#include "create_command.h" // the shared texts of Create's boxes

#include "add_to_map.h"
#include "command_support.h"
#include "map_edit.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <variant>

namespace {

QString quotedName(const std::filesystem::path& p) {
    return QString::fromStdString(trigfile::displayName(p));
}

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
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(read));
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&plan)) {
        refuse(QString::fromStdString(refusal->reason));
        return;
    }
    const auto& series = std::get<trigfile::TriggerSeries>(plan);

    const std::optional<QString> path = chooseTarget();
    if (!path) {
        return;
    }
    const std::filesystem::path target = nativePath(*path);
    if (!fits(maparchive::targetOf(target), into_)) {
        refuse(
            into_ == Into::TriggerFile
                ? QStringLiteral("Add to trigger file takes a trigger file (.trg).")
                : QStringLiteral("Add to map takes a map (.scm, .scx) or scenario file (.chk)."));
        return;
    }
    const trigfile::Inspection inspection = maparchive::inspectTarget(target);
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&inspection)) {
        refuseUntouched(refusal->reason);
        return;
    }
    const auto& existing = std::get<trigfile::OwnerCounts>(inspection);
    if (const auto refusal = trigfile::tooLongToAdd(existing, series)) {
        refuseUntouched(refusal->reason);
        return;
    }
    if (trigfile::mostTriggersForOnePlayer(existing, series) >
            createtexts::kMostTriggersPerPlayer &&
        !confirmManyTriggers(series, existing)) {
        return;
    }
    if (into_ == Into::Map && !confirmMapEdit(*path, series)) {
        return;
    }
    report(*path, platform_.addSeries(target, series));
}

std::optional<QString> AddCommand::chooseTarget() {
    const std::optional<QString> chosen = platform_.chooseOpenFile(dialogue_);
    if (chosen) {
        dialogue_.folder = QFileInfo(*chosen).absolutePath(); // the next Add starts there
    }
    return chosen;
}

bool AddCommand::confirmManyTriggers(const trigfile::TriggerSeries& series,
                                     const trigfile::OwnerCounts& existing) {
    const std::uint64_t most = trigfile::mostTriggersForOnePlayer(existing, series);
    const QString forces =
        existing.forces.known
            ? QString()
            : QStringLiteral("  ") + QString::fromLatin1(trigfile::kForcesCountedForEveryPlayer);
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
                 quotedName(map), quotedName(trigfile::nextBackupName(map)));
    return platform_.showMessage(MessageRequest{text, QString::fromLatin1(addtexts::kConfirmTitle),
                                                MessageButtons::YesNo, MessageIcon::None,
                                                MessageAnswer::Yes}) == MessageAnswer::Yes;
}

void AddCommand::report(const QString& path, const trigfile::AddOutcome& outcome) {
    using Status = trigfile::AddOutcome::Status;
    switch (outcome.status) {
    case Status::Added: {
        QString text = QStringLiteral("The triggers were added to %1, which now holds %2 triggers.")
                           .arg(quotedName(nativePath(path)), thousands(outcome.triggersAfter));
        if (!outcome.backup.empty()) {
            text +=
                (into_ == Into::Map ? QStringLiteral("  The map as it was is kept as %1.")
                                    : QStringLiteral("  The trigger file as it was is kept as %1."))
                    .arg(quotedName(outcome.backup));
        }
        if (!outcome.note.empty()) {
            text += QStringLiteral("\r\n\r\n") + QString::fromStdString(outcome.note);
        }
        platform_.showMessage(okBox(text, QString::fromLatin1(addtexts::kAddedTitle)));
        break;
    }
    case Status::Refused:
        refuseUntouched(outcome.reason);
        break;
    case Status::Failed:
        platform_.showMessage(
            okBox(QString::fromStdString(outcome.reason) + QStringLiteral("\r\n\r\n") +
                      QString::fromLatin1(addtexts::kLeftAlone),
                  QString::fromLatin1(addtexts::kFailedTitle), MessageIcon::Critical));
        break;
    case Status::Cancelled:
        break;
    }
}

void AddCommand::refuseUntouched(const std::string& reason) {
    refuse(QString::fromStdString(reason) + QStringLiteral("\r\n\r\n") +
           QString::fromLatin1(addtexts::kLeftAlone));
}

void AddCommand::refuse(const QString& text) {
    platform_.showMessage(
        okBox(text, QString::fromLatin1(addtexts::kRefusedTitle), MessageIcon::Warning));
}
