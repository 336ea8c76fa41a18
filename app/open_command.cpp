#include "app/open_command.h"

#include "app/command_support.h"
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
    if (!read.ok()) {
        showProblem(platform_, read.problem(), {kRefusedTitle, kRefusedTitle, ""});
        return std::nullopt;
    }
    const trigfile::TriggerRecords& records = *read;
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
