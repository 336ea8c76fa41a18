#pragma once

#include "app/platform.h"

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_stream.h"

#include <functional>
#include <memory>
#include <optional>

// The Open command: choose a trigger file, scenario data or a map, show its
// triggers in words, and, when it holds exactly one series the window can
// hold, offer to fill the window with it.
class OpenCommand {
  public:
    // Lets the window tests put a stand-in between the reader and the file,
    // to keep a read going until they have seen its progress box: a real
    // read of a file small enough for a test ends too soon.
    using SourceWrapper = std::function<std::unique_ptr<trigfile::TriggerSource>(
        std::unique_ptr<trigfile::TriggerSource>)>;

    // openDialogue keeps the folder of the file opened last for the next Open.
    OpenCommand(Platform& platform, OpenRequest& openDialogue, SourceWrapper wrap = {})
        : platform_(platform), openDialogue_(openDialogue), wrap_(std::move(wrap)) {}

    // The settings to fill the window with, when the user asks for it.
    // windowHolds says whether the window's boxes can hold a series' values.
    std::optional<trigfile::KillRewardSettings>
    run(const std::function<bool(const trigfile::KillRewardSettings&)>& windowHolds);

  private:
    Platform& platform_;
    OpenRequest& openDialogue_;
    SourceWrapper wrap_;
};

// The texts and titles of the command's boxes.
namespace opentexts {
inline constexpr char kOpenTitle[] = "Open";
inline constexpr char kOpenFilter[] = "Trigger files and maps|*.trg *.chk *.scm *.scx";
inline constexpr char kRefusedTitle[] = "Error: Can't open";
inline constexpr char kListingTitle[] = "Triggers in %1";
inline constexpr char kProgressTitle[] = "Opening %1";
} // namespace opentexts
