#include "trigfile/trigger_listing.h"

#include "base/number_text.h"
#include "trigfile/game_text.h"
#include "trigfile/series_recognition.h"
#include "trigfile/text_spool.h"
#include "trigfile/trigger_vocabulary.h"
#include "trigfile/unit_names.h"

#include <array>
#include <sstream>
#include <string_view>
#include <vector>

namespace trigfile {
namespace {

std::string number(std::uint64_t n) {
    return std::to_string(n);
}

// A value of the game's vocabulary and the listing's name for it.
template <typename Vocabulary> struct Named {
    Vocabulary value;
    std::string_view name;
};

// A name table holds each value once, in the order of their numbers.
template <typename Vocabulary, std::size_t N>
constexpr bool inNumberOrder(const std::array<Named<Vocabulary>, N>& names) {
    for (std::size_t i = 1; i < N; ++i) {
        if (toNumber(names[i - 1].value) >= toNumber(names[i].value)) {
            return false;
        }
    }
    return true;
}

// A name table of types names every number from 1 (0 is the empty slot) to
// its last value.
template <typename Vocabulary, std::size_t N>
constexpr bool namesEveryType(const std::array<Named<Vocabulary>, N>& names, Vocabulary last) {
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<std::size_t>(toNumber(names[i].value)) != i + 1) {
            return false;
        }
    }
    return names[N - 1].value == last;
}

// A name from a table, or the kind of value and its number.
template <typename Vocabulary, std::size_t N>
std::string named(const std::array<Named<Vocabulary>, N>& names, std::uint32_t value,
                  std::string_view kind) {
    for (const auto& [known, name] : names) {
        if (toNumber(known) == value) {
            return std::string(name);
        }
    }
    return std::string(kind) + " " + number(value);
}

// Player groups, as field values and as execution-table bytes.
constexpr std::array<Named<PlayerGroup>, 22> kPlayerGroups{{
    {PlayerGroup::Player1, "Player 1"},
    {PlayerGroup::Player2, "Player 2"},
    {PlayerGroup::Player3, "Player 3"},
    {PlayerGroup::Player4, "Player 4"},
    {PlayerGroup::Player5, "Player 5"},
    {PlayerGroup::Player6, "Player 6"},
    {PlayerGroup::Player7, "Player 7"},
    {PlayerGroup::Player8, "Player 8"},
    {PlayerGroup::Player9, "Player 9"},
    {PlayerGroup::Player10, "Player 10"},
    {PlayerGroup::Player11, "Player 11"},
    {PlayerGroup::Player12, "Player 12"},
    {PlayerGroup::CurrentPlayer, "Current Player"},
    {PlayerGroup::Foes, "Foes"},
    {PlayerGroup::Allies, "Allies"},
    {PlayerGroup::NeutralPlayers, "Neutral Players"},
    {PlayerGroup::AllPlayers, "All Players"},
    {PlayerGroup::Force1, "Force 1"},
    {PlayerGroup::Force2, "Force 2"},
    {PlayerGroup::Force3, "Force 3"},
    {PlayerGroup::Force4, "Force 4"},
    {PlayerGroup::NonAlliedVictoryPlayers, "Non Allied Victory Players"},
}};
static_assert(inNumberOrder(kPlayerGroups));

constexpr std::array<Named<ConditionType>, 23> kConditionTypes{{
    {ConditionType::CountdownTimer, "Countdown Timer"},
    {ConditionType::Command, "Command"},
    {ConditionType::Bring, "Bring"},
    {ConditionType::Accumulate, "Accumulate"},
    {ConditionType::Kill, "Kill"},
    {ConditionType::CommandTheMost, "Command the Most"},
    {ConditionType::CommandsTheMostAt, "Commands the Most At"},
    {ConditionType::MostKills, "Most Kills"},
    {ConditionType::HighestScore, "Highest Score"},
    {ConditionType::MostResources, "Most Resources"},
    {ConditionType::Switch, "Switch"},
    {ConditionType::ElapsedTime, "Elapsed Time"},
    {ConditionType::MissionBriefing, "Mission Briefing"},
    {ConditionType::Opponents, "Opponents"},
    {ConditionType::Deaths, "Deaths"},
    {ConditionType::CommandTheLeast, "Command the Least"},
    {ConditionType::CommandTheLeastAt, "Command the Least At"},
    {ConditionType::LeastKills, "Least Kills"},
    {ConditionType::LowestScore, "Lowest Score"},
    {ConditionType::LeastResources, "Least Resources"},
    {ConditionType::Score, "Score"},
    {ConditionType::Always, "Always"},
    {ConditionType::Never, "Never"},
}};
static_assert(namesEveryType(kConditionTypes, ConditionType::Never));

constexpr std::array<Named<ActionType>, 59> kActionTypes{{
    {ActionType::Victory, "Victory"},
    {ActionType::Defeat, "Defeat"},
    {ActionType::PreserveTrigger, "Preserve Trigger"},
    {ActionType::Wait, "Wait"},
    {ActionType::PauseGame, "Pause Game"},
    {ActionType::UnpauseGame, "Unpause Game"},
    {ActionType::Transmission, "Transmission"},
    {ActionType::PlayWav, "Play WAV"},
    {ActionType::DisplayTextMessage, "Display Text Message"},
    {ActionType::CenterView, "Center View"},
    {ActionType::CreateUnitWithProperties, "Create Unit with Properties"},
    {ActionType::SetMissionObjectives, "Set Mission Objectives"},
    {ActionType::SetSwitch, "Set Switch"},
    {ActionType::SetCountdownTimer, "Set Countdown Timer"},
    {ActionType::RunAiScript, "Run AI Script"},
    {ActionType::RunAiScriptAtLocation, "Run AI Script At Location"},
    {ActionType::LeaderBoardControl, "Leader Board (Control)"},
    {ActionType::LeaderBoardControlAtLocation, "Leader Board (Control At Location)"},
    {ActionType::LeaderBoardResources, "Leader Board (Resources)"},
    {ActionType::LeaderBoardKills, "Leader Board (Kills)"},
    {ActionType::LeaderBoardPoints, "Leader Board (Points)"},
    {ActionType::KillUnit, "Kill Unit"},
    {ActionType::KillUnitAtLocation, "Kill Unit At Location"},
    {ActionType::RemoveUnit, "Remove Unit"},
    {ActionType::RemoveUnitAtLocation, "Remove Unit At Location"},
    {ActionType::SetResources, "Set Resources"},
    {ActionType::SetScore, "Set Score"},
    {ActionType::MinimapPing, "Minimap Ping"},
    {ActionType::TalkingPortrait, "Talking Portrait"},
    {ActionType::MuteUnitSpeech, "Mute Unit Speech"},
    {ActionType::UnmuteUnitSpeech, "Unmute Unit Speech"},
    {ActionType::LeaderboardComputerPlayers, "Leaderboard Computer Players"},
    {ActionType::LeaderboardGoalControl, "Leaderboard Goal (Control)"},
    {ActionType::LeaderboardGoalControlAtLocation, "Leaderboard Goal (Control At Location)"},
    {ActionType::LeaderboardGoalResources, "Leaderboard Goal (Resources)"},
    {ActionType::LeaderboardGoalKills, "Leaderboard Goal (Kills)"},
    {ActionType::LeaderboardGoalPoints, "Leaderboard Goal (Points)"},
    {ActionType::MoveLocation, "Move Location"},
    {ActionType::MoveUnit, "Move Unit"},
    {ActionType::LeaderboardGreed, "Leaderboard (Greed)"},
    {ActionType::SetNextScenario, "Set Next Scenario"},
    {ActionType::SetDoodadState, "Set Doodad State"},
    {ActionType::SetInvincibility, "Set Invincibility"},
    {ActionType::CreateUnit, "Create Unit"},
    {ActionType::SetDeaths, "Set Deaths"},
    {ActionType::Order, "Order"},
    {ActionType::Comment, "Comment"},
    {ActionType::GiveUnitsToPlayer, "Give Units to Player"},
    {ActionType::ModifyUnitHitPoints, "Modify Unit Hit Points"},
    {ActionType::ModifyUnitEnergy, "Modify Unit Energy"},
    {ActionType::ModifyUnitShieldPoints, "Modify Unit Shield Points"},
    {ActionType::ModifyUnitResourceAmount, "Modify Unit Resource Amount"},
    {ActionType::ModifyUnitHangarCount, "Modify Unit Hanger Count"},
    {ActionType::PauseTimer, "Pause Timer"},
    {ActionType::UnpauseTimer, "Unpause Timer"},
    {ActionType::Draw, "Draw"},
    {ActionType::SetAllianceStatus, "Set Alliance Status"},
    {ActionType::DisableDebugMode, "Disable Debug Mode"},
    {ActionType::EnableDebugMode, "Enable Debug Mode"},
}};
static_assert(namesEveryType(kActionTypes, ActionType::EnableDebugMode));

constexpr std::array<Named<ResourceType>, 3> kResources{{
    {ResourceType::Ore, "ore"},
    {ResourceType::Gas, "gas"},
    {ResourceType::OreAndGas, "ore and gas"},
}};
static_assert(inNumberOrder(kResources));

// Condition comparisons of numbers; a Switch condition's states are worded
// with it.
constexpr std::array<Named<Comparison>, 3> kComparisons{{
    {Comparison::AtLeast, "at least"},
    {Comparison::AtMost, "at most"},
    {Comparison::Exactly, "exactly"},
}};
static_assert(inNumberOrder(kComparisons));

// Action modifiers and switch states.
constexpr std::array<Named<Modifier>, 7> kModifiers{{
    {Modifier::SetSwitch, "set"},
    {Modifier::ClearSwitch, "clear"},
    {Modifier::ToggleSwitch, "toggle"},
    {Modifier::SetTo, "set to"},
    {Modifier::Add, "add"},
    {Modifier::Subtract, "subtract"},
    {Modifier::RandomizeSwitch, "randomize"},
}};
static_assert(inNumberOrder(kModifiers));

std::string player(std::uint32_t group) {
    return named(kPlayerGroups, group, "player group");
}

std::string resource(std::uint32_t type) {
    return named(kResources, type, "resource type");
}

std::string scoreKind(std::uint32_t kind) {
    if (kind < kScoreKindNames.size()) {
        return std::string(kScoreKindNames[kind]);
    }
    return "score kind " + number(kind);
}

std::string comparison(std::uint8_t c) {
    return named(kComparisons, c, "comparison");
}

std::string modifier(std::uint8_t m) {
    return named(kModifiers, m, "modifier");
}

std::string location(std::uint32_t l) {
    return l == 0 ? "anywhere" : "location " + number(l);
}

// The fields of a slot, to say which of them the words cover: every field
// the words leave out is shown by its number where it is not what the map
// editors write there.
enum ConditionField : unsigned {
    kCondLocation = 1u << 0,
    kCondPlayer = 1u << 1,
    kCondQuantity = 1u << 2,
    kCondUnit = 1u << 3,
    kCondComparison = 1u << 4,
    kCondResource = 1u << 5,
    kCondEvery = (1u << 6) - 1,
};
enum ActionField : unsigned {
    kActLocation = 1u << 0,
    kActText = 1u << 1,
    kActSound = 1u << 2,
    kActTime = 1u << 3,
    kActPlayer = 1u << 4,
    kActAmount = 1u << 5,
    kActUnitOrType = 1u << 6,
    kActModifier = 1u << 7,
    kActEvery = (1u << 8) - 1,
};

// Every field of a condition by number, for types the listing has no words for.
std::string conditionNumbers(const DecodedCondition& c) {
    return "player group " + number(c.playerGroup) + ", quantity " + number(c.quantity) +
           ", unit " + number(c.unitType) + ", comparison " + number(c.comparison) +
           ", resource type " + number(c.resourceType) + ", location " + number(c.location);
}

// An action's string in words: its text quoted, or its number and why not.
std::string stringWords(std::uint32_t string, const ActionExtras& extras) {
    if (string == 0) {
        return "no string";
    }
    if (extras.text) {
        return "\"" + escapedText(*extras.text) + "\"";
    }
    return "string " + number(string) + " (no such string)";
}

// The text field among the numbers: "text 4 \"Points\"".
std::string textNumber(std::uint32_t string, const ActionExtras& extras) {
    if (string == 0) {
        return "text 0";
    }
    return "text " + number(string) + " " +
           (extras.text ? stringWords(string, extras) : "(no such string)");
}

std::string actionNumbers(const DecodedAction& a, const ActionExtras& extras) {
    return "player group " + number(a.playerGroup) + ", number " + number(a.amountOrSwitch) +
           ", type " + number(a.resourceOrScore) + ", modifier " + number(a.modifierOrState) +
           ", location " + number(a.location) + ", " + textNumber(a.text, extras) + ", sound " +
           number(a.sound) + ", time " + number(a.time) + " ms";
}

// The flags the map editors write on an action of a type: "always display"
// on all but those that show nothing while the game runs.
std::uint8_t editorsActionFlags(std::uint8_t type) {
    switch (toActionType(type)) {
    case ActionType::SetMissionObjectives:
    case ActionType::LeaderBoardControl:
    case ActionType::LeaderBoardControlAtLocation:
    case ActionType::LeaderBoardResources:
    case ActionType::LeaderBoardKills:
    case ActionType::LeaderBoardPoints:
    case ActionType::LeaderboardComputerPlayers:
    case ActionType::LeaderboardGoalControl:
    case ActionType::LeaderboardGoalControlAtLocation:
    case ActionType::LeaderboardGoalResources:
    case ActionType::LeaderboardGoalKills:
    case ActionType::LeaderboardGoalPoints:
    case ActionType::Comment:
    case ActionType::DisableDebugMode:
    case ActionType::EnableDebugMode:
        return 0;
    default:
        return type <= toNumber(kActionTypes.back().value) ? kActionAlwaysDisplay : 0;
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == parts.size() ? " and " : ", ");
        text += parts[i];
    }
    return text;
}

// The trigger's non-empty slots.
std::size_t conditionCount(const DecodedTrigger& t) {
    std::size_t n = 0;
    for (const auto& c : t.conditions) {
        n += c.type != 0;
    }
    return n;
}
std::size_t actionCount(const DecodedTrigger& t) {
    std::size_t n = 0;
    for (const auto& a : t.actions) {
        n += a.type != 0;
    }
    return n;
}

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return number(n) + " " + std::string(n == 1 ? one : many);
}

std::string triggerRange(std::size_t first, std::size_t count) {
    if (count == 1) {
        return "Trigger " + number(first + 1);
    }
    return "Triggers " + number(first + 1) + " to " + number(first + count);
}

std::string executionFlagsText(std::uint32_t flags) {
    std::vector<std::string> parts;
    if (flags & kTriggerPreserved) {
        parts.push_back("preserved");
    }
    if (flags & kTriggerDisabled) {
        parts.push_back("disabled");
    }
    const std::uint32_t other = flags & ~(kTriggerPreserved | kTriggerDisabled);
    if (other != 0) {
        parts.push_back("execution flags " + number(other));
    }
    return joined(parts);
}

// The thresholds of a series after its first: "10", "10 and 15", "10, 15, ..., 50".
std::string laterThresholds(const TriggerSeries& s) {
    const std::uint32_t later = s.recordCount - 1;
    if (later == 1) {
        return number(s.threshold(1));
    }
    if (later == 2) {
        return number(s.threshold(1)) + " and " + number(s.threshold(2));
    }
    return number(s.threshold(1)) + ", " + number(s.threshold(2)) + (later > 3 ? ", ..., " : ", ") +
           number(s.lastThreshold());
}

void appendDetails(std::string& out, const TriggerView& trigger, const DecodedTrigger& t) {
    const std::size_t index = trigger.index;
    out += "Trigger " + number(index + 1) + ", for " + ownersText(t.executionTable);
    const std::string flags = executionFlagsText(t.executionFlags);
    out += flags.empty() ? ":\n" : " (" + flags + "):\n";
    out += "  Conditions:\n";
    bool any = false;
    for (const auto& c : t.conditions) {
        if (const std::string text = describeCondition(c); !text.empty()) {
            out += "    " + text + "\n";
            any = true;
        }
    }
    out += any ? "" : "    (none)\n";
    out += "  Actions:\n";
    any = false;
    for (std::size_t slot = 0; slot < t.actions.size(); ++slot) {
        const DecodedAction& a = t.actions[slot];
        if (a.type == 0) {
            continue;
        }
        out += "    " + describeAction(a, extrasOf(trigger, slot, a)) + "\n";
        any = true;
    }
    out += any ? "" : "    (none)\n";
}

// The first text a trigger's actions show, cut for its summary line, or "".
std::string firstText(const TriggerView& trigger, const DecodedTrigger& t) {
    for (std::size_t slot = 0; slot < t.actions.size(); ++slot) {
        const DecodedAction& a = t.actions[slot];
        if (a.type == 0 || a.text == 0) {
            continue;
        }
        const ActionExtras extras = extrasOf(trigger, slot, a);
        return extras.text ? "\"" + escapedText(*extras.text, kSummaryTextCharacters) + "\""
                           : "string " + number(a.text) + " (no such string)";
    }
    return {};
}

} // namespace

std::string ownersText(const std::array<std::uint8_t, record::kExecutionTableSize>& table) {
    std::vector<std::string> owners;
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        if (table[i] == 1) {
            owners.push_back(player(i));
        } else if (table[i] != 0) {
            owners.push_back(player(i) + " (value " + number(table[i]) + ")");
        }
    }
    return owners.empty() ? "no one" : joined(owners);
}

namespace {

// Condition types whose unit field names a unit; the map editors set the
// unit-type bit of their flags.
bool conditionNamesUnit(std::uint8_t type) {
    switch (toConditionType(type)) {
    case ConditionType::Command:
    case ConditionType::Bring:
    case ConditionType::Kill:
    case ConditionType::CommandTheMost:
    case ConditionType::CommandsTheMostAt:
    case ConditionType::MostKills:
    case ConditionType::Deaths:
    case ConditionType::CommandTheLeast:
    case ConditionType::CommandTheLeastAt:
    case ConditionType::LeastKills:
        return true;
    default:
        return false;
    }
}

// Action types whose unit-or-type field names a unit.
bool actionNamesUnit(std::uint8_t type) {
    switch (toActionType(type)) {
    case ActionType::Transmission: // the speaker
    case ActionType::CreateUnitWithProperties:
    case ActionType::LeaderBoardControl: // leader boards of units
    case ActionType::LeaderBoardControlAtLocation:
    case ActionType::LeaderBoardKills:
    case ActionType::KillUnit:
    case ActionType::KillUnitAtLocation:
    case ActionType::RemoveUnit:
    case ActionType::RemoveUnitAtLocation:
    case ActionType::TalkingPortrait:
    case ActionType::LeaderboardGoalControl: // leader board goals of units
    case ActionType::LeaderboardGoalControlAtLocation:
    case ActionType::LeaderboardGoalKills:
    case ActionType::MoveLocation:
    case ActionType::MoveUnit:
    case ActionType::SetDoodadState:
    case ActionType::SetInvincibility:
    case ActionType::CreateUnit:
    case ActionType::SetDeaths:
    case ActionType::Order:
    case ActionType::GiveUnitsToPlayer:
    case ActionType::ModifyUnitHitPoints:
    case ActionType::ModifyUnitEnergy:
    case ActionType::ModifyUnitShieldPoints:
    case ActionType::ModifyUnitHangarCount:
        return true;
    default:
        return false;
    }
}

// A Switch condition's state, which its comparison byte holds.
std::string switchState(std::uint8_t comparison) {
    switch (static_cast<Comparison>(comparison)) {
    case Comparison::SwitchIsSet:
        return "is set";
    case Comparison::SwitchIsCleared:
        return "is cleared";
    default:
        return "has state " + number(comparison);
    }
}

std::string conditionWords(const DecodedCondition& c, unsigned& covered) {
    const std::string who = player(c.playerGroup);
    const std::string amount = comparison(c.comparison) + " " + number(c.quantity);
    const unsigned compared = kCondComparison | kCondQuantity;
    switch (toConditionType(c.type)) {
    case ConditionType::CountdownTimer:
        covered = compared;
        return "Countdown timer is " + amount + " game seconds.";
    case ConditionType::Command:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " commands " + amount + " of " + unitText(c.unitType) + ".";
    case ConditionType::Bring:
        covered = compared | kCondPlayer | kCondUnit | kCondLocation;
        return who + " brings " + amount + " of " + unitText(c.unitType) + " to " +
               location(c.location) + ".";
    case ConditionType::Accumulate:
        covered = compared | kCondPlayer | kCondResource;
        return who + " accumulates " + amount + " " + resource(c.resourceType) + ".";
    case ConditionType::Kill:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " kills " + amount + " of " + unitText(c.unitType) + ".";
    case ConditionType::Switch: {
        // The switch number is in the resource byte, its state in the comparison.
        covered = kCondResource | kCondComparison;
        const std::string state = switchState(c.comparison);
        return "Switch " + number(c.resourceType + 1u) + " " + state + ".";
    }
    case ConditionType::ElapsedTime:
        covered = compared;
        return "Elapsed scenario time is " + amount + " game seconds.";
    case ConditionType::Opponents:
        covered = compared | kCondPlayer;
        return who + " has " + amount + " opponents remaining.";
    case ConditionType::Deaths:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " has suffered " + amount + " deaths of " + unitText(c.unitType) + ".";
    case ConditionType::Score:
        covered = compared | kCondPlayer | kCondResource;
        return who + " " + scoreKind(c.resourceType) + " score is " + amount + ".";
    case ConditionType::Always:
        covered = 0;
        return "Always.";
    case ConditionType::Never:
        covered = 0;
        return "Never.";
    default:
        covered = kCondEvery;
        return named(kConditionTypes, c.type, "Condition type") + ": " + conditionNumbers(c) + ".";
    }
}

// "Create 2 Marine (0) at location 3 for Player 1"
std::string createWords(const DecodedAction& a) {
    return "Create " + number(a.modifierOrState) + " " + unitText(a.resourceOrScore) + " at " +
           location(a.location) + " for " + player(a.playerGroup);
}

std::string actionWords(const DecodedAction& a, const ActionExtras& extras, unsigned& covered) {
    const std::string who = player(a.playerGroup);
    const std::string text = stringWords(a.text, extras);
    switch (toActionType(a.type)) {
    case ActionType::Victory:
    case ActionType::Defeat:
    case ActionType::PreserveTrigger:
    case ActionType::PauseGame:
    case ActionType::UnpauseGame:
    case ActionType::Draw:
        covered = 0;
        return named(kActionTypes, a.type, "Action type") + ".";
    case ActionType::Wait:
        covered = kActTime;
        return "Wait for " + number(a.time) + " milliseconds.";
    case ActionType::DisplayTextMessage:
        covered = kActText;
        return "Display text message: " + text + ".";
    case ActionType::CreateUnitWithProperties:
        // The properties are the trigger file's block after the record; a
        // map gives the number of its unit-properties slot instead.
        covered = kActModifier | kActUnitOrType | kActLocation | kActPlayer | kActAmount;
        return createWords(a) + " with properties: " +
               (extras.unitProperties ? describeUnitProperties(*extras.unitProperties)
                                      : "slot " + number(a.amountOrSwitch)) +
               ".";
    case ActionType::SetMissionObjectives:
        covered = kActText;
        return "Set mission objectives: " + text + ".";
    case ActionType::SetSwitch:
        covered = kActAmount | kActModifier;
        return "Switch " + number(a.amountOrSwitch + 1ull) + ": " + modifier(a.modifierOrState) +
               ".";
    case ActionType::SetResources:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify resources for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + resource(a.resourceOrScore) + ".";
    case ActionType::SetScore:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify score for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + scoreKind(a.resourceOrScore) + " points.";
    case ActionType::CreateUnit:
        covered = kActModifier | kActUnitOrType | kActLocation | kActPlayer;
        return createWords(a) + ".";
    case ActionType::SetDeaths:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify death counts for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " for " + unitText(a.resourceOrScore) + ".";
    case ActionType::Comment:
        covered = kActText;
        return "Comment: " + text + ".";
    default:
        covered = kActEvery;
        return named(kActionTypes, a.type, "Action type") + ": " + actionNumbers(a, extras) + ".";
    }
}

// " (location 3, flags 0)": the fields that differ from what the words say.
std::string differences(const std::vector<std::string>& fields) {
    std::string text;
    for (const auto& field : fields) {
        text += (text.empty() ? " (" : ", ") + field;
    }
    return text.empty() ? text : text + ")";
}

} // namespace

std::string describeCondition(const DecodedCondition& c) {
    if (c.type == 0) {
        return {};
    }
    unsigned covered = 0;
    std::string text = conditionWords(c, covered);
    std::vector<std::string> other;
    const auto unless = [&](unsigned field, std::uint32_t value, const char* name) {
        if (!(covered & field) && value != 0) {
            other.push_back(std::string(name) + " " + number(value));
        }
    };
    unless(kCondLocation, c.location, "location");
    unless(kCondPlayer, c.playerGroup, "player group");
    unless(kCondQuantity, c.quantity, "quantity");
    unless(kCondUnit, c.unitType, "unit");
    unless(kCondComparison, c.comparison, "comparison");
    unless(kCondResource, c.resourceType, "resource type");
    const std::uint8_t usual = conditionNamesUnit(c.type) ? kConditionUnitTypeUsed : 0;
    if ((c.flags & ~kConditionDisabled) != usual) {
        other.push_back("flags " + number(c.flags));
    }
    if (c.reserved != 0) {
        other.push_back("reserved " + number(c.reserved));
    }
    text += differences(other);
    if (c.flags & kConditionDisabled) {
        text += " (disabled)";
    }
    return text;
}

std::string describeAction(const DecodedAction& a, const ActionExtras& extras) {
    if (a.type == 0) {
        return {};
    }
    unsigned covered = 0;
    std::string text = actionWords(a, extras, covered);
    std::vector<std::string> other;
    const auto unless = [&](unsigned field, std::uint32_t value, const char* name) {
        if (!(covered & field) && value != 0) {
            other.push_back(std::string(name) + " " + number(value));
        }
    };
    unless(kActLocation, a.location, "location");
    if (!(covered & kActText) && a.text != 0) {
        other.push_back(textNumber(a.text, extras));
    }
    unless(kActSound, a.sound, "sound");
    unless(kActTime, a.time, "time");
    unless(kActPlayer, a.playerGroup, "player group");
    unless(kActAmount, a.amountOrSwitch, "number");
    unless(kActUnitOrType, a.resourceOrScore, "type");
    unless(kActModifier, a.modifierOrState, "modifier");
    // Bits the words say are not differences: disabled, the unit-type bit of
    // an action that names a unit, the properties of Create Unit with
    // Properties.
    std::uint8_t said = kActionDisabled;
    said |= actionNamesUnit(a.type) ? kActionUnitTypeUsed : 0;
    said |= toActionType(a.type) == ActionType::CreateUnitWithProperties ? kActionUnitPropertiesUsed
                                                                         : 0;
    if ((a.flags & ~said) != (editorsActionFlags(a.type) & ~said)) {
        other.push_back("flags " + number(a.flags));
    }
    for (const std::uint8_t byte : a.padding) {
        if (byte != 0) {
            other.push_back("padding " + number(a.padding[0]) + " " + number(a.padding[1]) + " " +
                            number(a.padding[2]));
            break;
        }
    }
    text += differences(other);
    if (a.flags & kActionDisabled) {
        text += " (disabled)";
    }
    return text;
}

std::string describeUnitProperties(const UnitProperties& u) {
    std::vector<std::string> parts;
    const auto field = [&](std::uint16_t bit, const std::string& words) {
        if (u.fieldsUsed & bit) {
            parts.push_back(words);
        }
    };
    field(kUnitFieldOwner, "owner " + player(u.owner));
    field(kUnitFieldHitPoints, "hit points " + number(u.hitPoints) + "%");
    field(kUnitFieldShields, "shields " + number(u.shields) + "%");
    field(kUnitFieldEnergy, "energy " + number(u.energy) + "%");
    field(kUnitFieldResources, "resources " + base::withThousands(u.resources));
    field(kUnitFieldHangar, "hangar " + number(u.hangar));
    const std::pair<std::uint16_t, const char*> states[] = {
        {kUnitCloaked, "cloaked"},       {kUnitBurrowed, "burrowed"},
        {kUnitInTransit, "in transit"},  {kUnitHallucinated, "hallucinated"},
        {kUnitInvincible, "invincible"},
    };
    // The states that are on; editors differ in whether they also mark
    // them in statesUsed (PyMS does not), so that field is not asked.
    for (const auto& [bit, name] : states) {
        if (u.states & bit) {
            parts.push_back(name);
        }
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text.empty() ? "none in use" : text;
}

std::string seriesSummary(const TriggerSeries& series) {
    const RecordFields& f = series.fields;
    std::string kind;
    std::string reward;
    switch (toActionType(f.reward.action)) {
    case ActionType::SetResources:
        kind = "Money";
        reward = number(f.reward.value) + " " + resource(f.reward.kindOrType);
        if (f.extraGas) {
            reward += " and " + number(f.extraGas->value) + " " + resource(f.extraGas->kindOrType);
        }
        break;
    case ActionType::SetScore:
        kind = "Score";
        reward = number(f.reward.value) + " " + scoreKind(f.reward.kindOrType) + " points";
        break;
    case ActionType::SetSwitch:
        kind = "Switch";
        reward = "set switch " + number(f.reward.value + 1ull);
        break;
    default:
        kind = named(kActionTypes, f.reward.action, "Action type");
        reward = "number " + number(f.reward.value);
        break;
    }
    std::string message;
    if (series.message) {
        const RewardMessage& typed = series.message->typed;
        message = ", message \"" + escapedText(GameText{typed.text, TextEncoding::Utf8}) +
                  "\" in " + std::string(encodingName(typed.chosenOrUtf8()));
    }
    return kind + ": every " + number(series.killStep) + " kills of " + unitText(f.unitId) +
           " up to " + number(series.lastThreshold()) + ", " + reward + ", " +
           ownersText(f.executionTable) + ", " +
           counted(series.recordCount, "trigger", "triggers") + message;
}

namespace {

// The listing made in one walk of the triggers: its summary and details go
// to spools as the triggers are read, and are written out after the head,
// which needs the counts. Only the open run of a series is held.
class ListingWriter {
  public:
    void visit(const TriggerView& trigger) {
        SeriesFinder::Step step = finder_.next(trigger);
        if (step.ended) {
            endSeries(*step.ended);
        }
        if (step.joined) {
            return;
        }
        const DecodedTrigger t = decodeTrigger(trigger.record());
        if (step.started) {
            // The run's first record is spelled out when the run ends.
            runDetails_.clear();
            appendDetails(runDetails_, trigger, t);
            return;
        }
        const std::size_t conditions = conditionCount(t);
        const std::size_t actions = actionCount(t);
        const std::size_t i = trigger.index;
        if (conditions == 0 && actions == 0 && t == DecodedTrigger{}) {
            summary_.append("Trigger " + number(i + 1) + ": empty.\n");
            return;
        }
        const std::string text = firstText(trigger, t);
        summary_.append("Trigger " + number(i + 1) + ", for " + ownersText(t.executionTable) +
                        ": " + counted(conditions, "condition", "conditions") + ", " +
                        counted(actions, "action", "actions") + (text.empty() ? "" : ": " + text) +
                        ".\n");
        if (detailed_ < kMaxDetailedTriggers) {
            std::string details;
            appendDetails(details, trigger, t);
            details_.append(details);
            ++detailed_;
        } else {
            ++notShown_;
        }
    }

    // Writes the whole listing once every trigger has been visited.
    bool finish(const TriggerTotals& totals, std::ostream& out) {
        if (auto open = finder_.finish()) {
            endSeries(*open);
        }
        if (notShown_ > 0) {
            details_.append("(" + base::withThousands(notShown_) +
                            " more triggers are not spelled out here.)\n");
        }
        out << (totals.triggers == 0
                    ? std::string("No triggers.\n")
                    : counted(totals.triggers, "trigger", "triggers") + ", " +
                          counted(series_, "series", "series") + " of kill rewards.\n");
        if (totals.trigSections > 1) {
            out << "The map is stacked: its triggers come from " << number(totals.trigSections)
                << " TRIG sections, which the game reads one after another, as they are listed "
                   "here.\n";
        }
        out << "\nSummary\n";
        if (!summary_.copyTo(out)) {
            return false;
        }
        out << "\nDetails\n";
        return details_.copyTo(out);
    }

  private:
    void endSeries(const RecognisedSeries& found) {
        const TriggerSeries& s = found.series;
        ++series_;
        summary_.append(triggerRange(found.firstRecord, s.recordCount) + ": " + seriesSummary(s) +
                        "\n");
        if (s.recordCount > 1) {
            runDetails_ +=
                "  " + triggerRange(found.firstRecord + 1, s.recordCount - 1) +
                (s.recordCount == 2 ? " is the same but for the kills it waits for: "
                                    : " are the same but for the kills they wait for: ") +
                laterThresholds(s) + ".\n";
        }
        details_.append(runDetails_);
    }

    SeriesFinder finder_;
    std::string runDetails_; // of the open run's first record
    TextSpool summary_;
    TextSpool details_;
    std::size_t series_ = 0;
    std::size_t detailed_ = 0;
    std::size_t notShown_ = 0;
};

} // namespace

base::Outcome<base::Done> writeListing(TriggerSource& source, std::ostream& out) {
    ListingWriter writer;
    auto walked = source.walk([&](const TriggerView& trigger) { writer.visit(trigger); });
    if (!walked.ok()) {
        return std::move(walked.problem());
    }
    if (!writer.finish(*walked, out)) {
        return base::Problem::failed("Could not read back the listing's temporary file.");
    }
    return base::Done{};
}

std::string listTriggers(const TriggerRecords& records) {
    std::ostringstream out;
    writeListing(*recordsSource(records), out);
    return std::move(out).str();
}

std::string playerGroupName(std::uint32_t group) {
    return player(group);
}

std::string conditionTypeName(std::uint8_t type) {
    return named(kConditionTypes, type, "condition type");
}

std::string actionTypeName(std::uint8_t type) {
    return named(kActionTypes, type, "action type");
}

std::string scoreKindName(std::uint32_t kind) {
    return scoreKind(kind);
}

} // namespace trigfile
