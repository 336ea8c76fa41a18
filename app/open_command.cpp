#include "open_command.h"

#include "open_triggers.h"
#include "series_recognition.h"
#include "trigger_listing.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <variant>

namespace {

std::filesystem::path toPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
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

    const trigfile::TriggerFileRead read = maparchive::readTriggersOf(toPath(*chosen));
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&read)) {
        platform_.showMessage(MessageRequest{QString::fromStdString(refusal->reason),
                                             QString::fromLatin1(kRefusedTitle), MessageButtons::Ok,
                                             MessageIcon::Warning, MessageAnswer::Ok});
        return std::nullopt;
    }
    const auto& records = std::get<trigfile::TriggerRecords>(read);
    std::optional<trigfile::KillRewardSettings> settings = trigfile::settingsOfOnlySeries(records);
    if (settings && !windowHolds(*settings)) {
        settings.reset();
    }
    const ListingRequest listing{
        QString::fromLatin1(kListingTitle).arg(QFileInfo(*chosen).fileName()),
        QString::fromStdString(trigfile::listTriggers(records)), settings.has_value()};
    if (platform_.showListing(listing) != ListingAnswer::Fill) {
        return std::nullopt;
    }
    return settings;
}
