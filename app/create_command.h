#pragma once

#include "app/platform.h"

#include "trigfile/game_limits.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_series.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

// The Create command after the window has been read: check the settings,
// choose the file, write it, and tell the user how it went. Every question
// and message goes through the platform, one modal box at a time.
class CreateCommand {
  public:
    // saveDialogue keeps the name chosen last for the next Create.
    // disk, if given, stands between the writer and the file: a slow disk
    // the window tests need to see the progress box, which a real write of a
    // series the box can count finishes too soon to show.
    CreateCommand(Platform& platform, SaveRequest& saveDialogue, trigfile::SinkWrapper disk = {})
        : platform_(platform), saveDialogue_(saveDialogue), disk_(std::move(disk)) {}

    void run(const trigfile::KillRewardSettings& read);

    // One sentence on what run() would write for these settings, or why it
    // would refuse them.
    static QString preview(const trigfile::KillRewardSettings& read);

  private:
    bool confirmManyTriggers(const trigfile::TriggerSeries& series);
    std::optional<QString> chooseFile();
    base::Outcome<base::Done> writeFile(const QString& path, const trigfile::TriggerSeries& series);

    Platform& platform_;
    SaveRequest& saveDialogue_;
    trigfile::SinkWrapper disk_;
};

// The texts and titles of the command's boxes.
namespace createtexts {
inline constexpr char kRefusedTitle[] = "Error: Can't create";
inline constexpr char kReplaceText[] = "The file exists. Do you want to replace it?";
inline constexpr char kReplaceTitle[] = "Error: Same name";
inline constexpr char kHoldText[] =
    "The file has started to be created.  The program may be frozen for a little while in "
    "creation.";
inline constexpr char kHoldTitle[] = "Please hold...";
inline constexpr char kCreatedText[] =
    "The file was created.  You may now load it into a map through StarEdit.";
inline constexpr char kCreatedTitle[] = "File created";
inline constexpr char kFailedTitle[] = "Error: Not created";
// The count past which Create asks first (a fact of the game).
using trigfile::kMostTriggersPerPlayer;
inline constexpr char kManyTitle[] = "Warning: Many triggers";
inline constexpr char kFailedAfter[] =
    "The file was not created.  Any file of that name was left as it was.";
} // namespace createtexts
