#pragma once

#include "app/platform.h"

#include "maparchive/add_to_map.h"
#include "trigfile/add_series.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_series.h"

#include <QString>

#include <optional>

// "Add to trigger file..." and "Add to map...": the window's series added
// after the triggers a chosen file already holds. The same checks as Create
// come first, then the file is chosen and read, then (for a map) the user
// confirms, knowing the name of the backup; every box goes through the
// platform, and the add itself through the core, as the command line does.
class AddCommand {
  public:
    enum class Into { TriggerFile, Map };

    // dialogue keeps the folder chosen last for the next Add of that kind.
    // disk, if given, stands between the writer and a trigger file, as
    // Create's does (CreateCommand).
    AddCommand(Platform& platform, OpenRequest& dialogue, Into into,
               trigfile::SinkWrapper disk = {})
        : platform_(platform), dialogue_(dialogue), into_(into), disk_(std::move(disk)) {}

    void run(const trigfile::KillRewardSettings& read);

    // The dialogue each command starts with.
    static OpenRequest dialogueFor(Into into, const QString& folder);

  private:
    std::optional<QString> chooseTarget();
    bool confirmManyTriggers(const trigfile::TriggerSeries& series,
                             const maparchive::BeforeAdd& before);
    bool confirmMapEdit(const QString& path, const trigfile::TriggerSeries& series);
    void report(const QString& path, const trigfile::AddOutcome& outcome);

    Platform& platform_;
    OpenRequest& dialogue_;
    Into into_;
    trigfile::SinkWrapper disk_;
};

namespace addtexts {
inline constexpr char kRefusedTitle[] = "Error: Can't add";
inline constexpr char kConfirmTitle[] = "Add to map";
inline constexpr char kAddedTitle[] = "Triggers added";
inline constexpr char kFailedTitle[] = "Error: Not added";
inline constexpr char kLeftAlone[] = "The file was left as it was.";
} // namespace addtexts
