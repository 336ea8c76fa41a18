#include "create_command.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <string>
#include <variant>

namespace {

std::filesystem::path toPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

MessageRequest okBox(const QString& text, const QString& title,
                     MessageIcon icon = MessageIcon::None) {
    return MessageRequest{text, title, MessageButtons::Ok, icon, MessageAnswer::Ok};
}

} // namespace

void CreateCommand::run(const trigfile::KillRewardSettings& read) {
    using namespace createtexts;
    // Everything the file cannot hold is refused here, before any dialogue,
    // so a refused Create leaves the disk as it was.
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(read));
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&plan)) {
        platform_.showMessage(okBox(QString::fromStdString(refusal->reason),
                                    QString::fromLatin1(kRefusedTitle), MessageIcon::Warning));
        return;
    }
    const auto& series = std::get<trigfile::TriggerSeries>(plan);

    const std::optional<QString> path = chooseFile();
    if (!path) {
        return;
    }

    // An existing file is not deleted first: the new one takes its place
    // only once it is complete, so a failed write keeps the old one.
    platform_.showMessage(okBox(QString::fromLatin1(kHoldText), QString::fromLatin1(kHoldTitle)));

    const trigfile::WriteOutcome outcome = writeFile(*path, series);
    switch (outcome.status) {
    case trigfile::WriteOutcome::Status::Written:
        platform_.showMessage(
            okBox(QString::fromLatin1(kCreatedText), QString::fromLatin1(kCreatedTitle)));
        break;
    case trigfile::WriteOutcome::Status::Failed:
        platform_.showMessage(okBox(QString::fromStdString(outcome.reason) +
                                        QStringLiteral("\r\n\r\n") +
                                        QString::fromLatin1(kFailedAfter),
                                    QString::fromLatin1(kFailedTitle), MessageIcon::Critical));
        break;
    case trigfile::WriteOutcome::Status::Cancelled:
        break;
    }
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

trigfile::WriteOutcome CreateCommand::writeFile(const QString& path,
                                                const trigfile::TriggerSeries& series) {
    return trigfile::writeTriggerFile(toPath(path), series);
}
