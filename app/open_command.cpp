#include "app/open_command.h"

#include "maparchive/open_triggers.h"
#include "trigfile/series_recognition.h"
#include "trigfile/trigger_listing.h"

#include <QFileInfo>

#include <filesystem>
#include <variant>

std::optional<trigfile::KillRewardSettings>
OpenCommand::run(const std::function<bool(const trigfile::KillRewardSettings&)>& windowHolds) {
    using namespace opentexts;
    const std::optional<QString> chosen = platform_.chooseOpenFile(openDialogue_);
    if (!chosen) {
        return std::nullopt;
    }
    openDialogue_.folder = QFileInfo(*chosen).absolutePath();

    const trigfile::TriggerFileRead read = maparchive::readTriggersOf(nativePath(*chosen));
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
