#include "app/create_command.h"

#include "app/background_write.h"
#include "app/box_names.h"
#include "app/command_support.h"
#include "base/number_text.h"

#include <QFileInfo>

#include <filesystem>
#include <string>
#include <variant>

void CreateCommand::run(const trigfile::KillRewardSettings& read) {
    using namespace createtexts;
    // Everything the file cannot hold is refused here, before any dialogue,
    // so a refused Create leaves the disk as it was.
    const trigfile::SeriesPlan plan =
        trigfile::planSeries(trigfile::normalise(read), boxnames::kBoxNames);
    if (!plan.ok()) {
        showProblem(platform_, plan.problem(), {kRefusedTitle, kRefusedTitle, ""});
        return;
    }
    const trigfile::TriggerSeries& series = *plan;
    if (series.recordCount > kMostTriggersPerPlayer && !confirmManyTriggers(series)) {
        return;
    }

    const std::optional<QString> path = chooseFile();
    if (!path) {
        return;
    }

    // An existing file is not deleted first: the new one takes its place
    // only once it is complete, so a failed write keeps the old one.
    platform_.showMessage(okBox(QString::fromLatin1(kHoldText), QString::fromLatin1(kHoldTitle)));

    const base::Outcome<base::Done> outcome = writeFile(*path, series);
    if (!outcome.ok()) {
        showProblem(platform_, outcome.problem(), {kRefusedTitle, kFailedTitle, kFailedAfter});
        return;
    }
    platform_.showMessage(
        okBox(QString::fromLatin1(kCreatedText), QString::fromLatin1(kCreatedTitle)));
}

QString CreateCommand::preview(const trigfile::KillRewardSettings& read) {
    const trigfile::SeriesPlan plan =
        trigfile::planSeries(trigfile::normalise(read), boxnames::kBoxNames);
    if (!plan.ok()) {
        return QString::fromStdString(plan.reason());
    }
    const trigfile::TriggerSeries& series = *plan;
    QString text =
        QStringLiteral("Create will write %1 %2, a file of %3.")
            .arg(thousands(series.recordCount),
                 series.recordCount == 1 ? QStringLiteral("trigger") : QStringLiteral("triggers"),
                 QString::fromStdString(base::fileSizeText(series.fileSize())));
    if (series.recordCount > createtexts::kMostTriggersPerPlayer) {
        text += QStringLiteral("  That is more than StarCraft can save for one player.");
    }
    if (series.message) {
        text += QStringLiteral("  Each trigger shows the message \"%1\" (%2).")
                    .arg(QString::fromStdString(series.message->typed.text),
                         QString::fromLatin1(
                             trigfile::encodingName(series.message->typed.chosenOrUtf8()).data()));
    }
    return text;
}

bool CreateCommand::confirmManyTriggers(const trigfile::TriggerSeries& series) {
    using namespace createtexts;
    const QString text =
        QStringLiteral("This will write %1 triggers, a file of %2.  A player who owns more than "
                       "%3 triggers makes StarCraft crash when a game is saved.  Do you want to "
                       "create them anyway?")
            .arg(thousands(series.recordCount),
                 QString::fromStdString(base::fileSizeText(series.fileSize())),
                 thousands(kMostTriggersPerPlayer));
    return platform_.showMessage(MessageRequest{text, QString::fromLatin1(kManyTitle),
                                                MessageButtons::YesNo, MessageIcon::Warning,
                                                MessageAnswer::No}) == MessageAnswer::Yes;
}

std::optional<QString> CreateCommand::chooseFile() {
    using namespace createtexts;
    for (;;) {
        const std::optional<QString> chosen = platform_.chooseSaveFile(saveDialogue_);
        if (!chosen) {
            return std::nullopt;
        }
        saveDialogue_.fileName = *chosen;
        const QString path =
            QString::fromStdString(trigfile::withTrgExtension(chosen->toStdString()));
        if (!QFileInfo::exists(path)) {
            return path;
        }
        const MessageAnswer answer = platform_.showMessage(
            MessageRequest{QString::fromLatin1(kReplaceText), QString::fromLatin1(kReplaceTitle),
                           MessageButtons::YesNo, MessageIcon::Warning, MessageAnswer::No});
        if (answer == MessageAnswer::Yes) {
            return path;
        }
    }
}

base::Outcome<base::Done> CreateCommand::writeFile(const QString& path,
                                                   const trigfile::TriggerSeries& series) {
    const std::filesystem::path target = nativePath(path);
    return runInBackground(platform_.dialogueOwner(), series.recordCount,
                           [&](trigfile::WriteProgress& progress) {
                               return trigfile::writeTriggerFile(target, series, &progress, disk_);
                           });
}
