#pragma once

#include "app/platform.h"

#include "trigfile/kill_reward_settings.h"

#include <functional>
#include <optional>

// The Open command: choose a trigger file, scenario data or a map, show its
// triggers in words, and, when it holds exactly one series the window can
// hold, offer to fill the window with it.
class OpenCommand {
  public:
    // openDialogue keeps the folder of the file opened last for the next Open.
    OpenCommand(Platform& platform, OpenRequest& openDialogue)
        : platform_(platform), openDialogue_(openDialogue) {}

    // The settings to fill the window with, when the user asks for it.
    // windowHolds says whether the window's boxes can hold a series' values.
    std::optional<trigfile::KillRewardSettings>
    run(const std::function<bool(const trigfile::KillRewardSettings&)>& windowHolds);

  private:
    Platform& platform_;
    OpenRequest& openDialogue_;
};

// The texts and titles of the command's boxes.
namespace opentexts {
inline constexpr char kOpenTitle[] = "Open";
inline constexpr char kOpenFilter[] = "Trigger files and maps|*.trg *.chk *.scm *.scx";
inline constexpr char kRefusedTitle[] = "Error: Can't open";
inline constexpr char kListingTitle[] = "Triggers in %1";
} // namespace opentexts
