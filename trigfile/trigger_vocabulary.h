#pragma once

#include <cstdint>
#include <type_traits>

namespace trigfile {

// The values the fields of a trigger record hold (see trigger_record.h for
// where each field lies), named as the map editors name them. The fields
// are plain numbers in the file, and a file may hold any number in them:
// these name the values the game knows; the listing gives any other by its
// number.

// A condition slot's type byte; None marks an empty slot.
enum class ConditionType : std::uint8_t {
    None = 0,
    CountdownTimer = 1,
    Command = 2,
    Bring = 3,
    Accumulate = 4,
    Kill = 5,
    CommandTheMost = 6,
    CommandsTheMostAt = 7,
    MostKills = 8,
    HighestScore = 9,
    MostResources = 10,
    Switch = 11,
    ElapsedTime = 12,
    MissionBriefing = 13,
    Opponents = 14,
    Deaths = 15,
    CommandTheLeast = 16,
    CommandTheLeastAt = 17,
    LeastKills = 18,
    LowestScore = 19,
    LeastResources = 20,
    Score = 21,
    Always = 22,
    Never = 23,
};

// An action slot's type byte; None marks an empty slot.
enum class ActionType : std::uint8_t {
    None = 0,
    Victory = 1,
    Defeat = 2,
    PreserveTrigger = 3,
    Wait = 4,
    PauseGame = 5,
    UnpauseGame = 6,
    Transmission = 7,
    PlayWav = 8,
    DisplayTextMessage = 9, // to the current player
    CenterView = 10,
    CreateUnitWithProperties = 11,
    SetMissionObjectives = 12,
    SetSwitch = 13,
    SetCountdownTimer = 14,
    RunAiScript = 15,
    RunAiScriptAtLocation = 16,
    LeaderBoardControl = 17,
    LeaderBoardControlAtLocation = 18,
    LeaderBoardResources = 19,
    LeaderBoardKills = 20,
    LeaderBoardPoints = 21,
    KillUnit = 22,
    KillUnitAtLocation = 23,
    RemoveUnit = 24,
    RemoveUnitAtLocation = 25,
    SetResources = 26,
    SetScore = 27,
    MinimapPing = 28,
    TalkingPortrait = 29,
    MuteUnitSpeech = 30,
    UnmuteUnitSpeech = 31,
    LeaderboardComputerPlayers = 32,
    LeaderboardGoalControl = 33,
    LeaderboardGoalControlAtLocation = 34,
    LeaderboardGoalResources = 35,
    LeaderboardGoalKills = 36,
    LeaderboardGoalPoints = 37,
    MoveLocation = 38,
    MoveUnit = 39,
    LeaderboardGreed = 40,
    SetNextScenario = 41,
    SetDoodadState = 42,
    SetInvincibility = 43,
    CreateUnit = 44,
    SetDeaths = 45,
    Order = 46,
    Comment = 47,
    GiveUnitsToPlayer = 48,
    ModifyUnitHitPoints = 49,
    ModifyUnitEnergy = 50,
    ModifyUnitShieldPoints = 51,
    ModifyUnitResourceAmount = 52,
    ModifyUnitHangarCount = 53,
    PauseTimer = 54,
    UnpauseTimer = 55,
    Draw = 56,
    SetAllianceStatus = 57,
    DisableDebugMode = 58,
    EnableDebugMode = 59,
};

// A condition's comparison byte: how its quantity is compared, or, for a
// Switch condition, the state it asks for.
enum class Comparison : std::uint8_t {
    AtLeast = 0,
    AtMost = 1,
    SwitchIsSet = 2,
    SwitchIsCleared = 3,
    Exactly = 10,
};

// An action's modifier byte: how it changes a number (set to, add,
// subtract) or, for Set Switch, what it does to the switch.
enum class Modifier : std::uint8_t {
    SetSwitch = 4,
    ClearSwitch = 5,
    ToggleSwitch = 6,
    SetTo = 7,
    Add = 8,
    Subtract = 9,
    RandomizeSwitch = 11,
};

// The resource type of Accumulate and Set Resources.
enum class ResourceType : std::uint8_t {
    Ore = 0,
    Gas = 1,
    OreAndGas = 2,
};

// The score kind of Score and Set Score, in the order of the window's score
// buttons (kScoreKindNames).
enum class ScoreKind : std::uint8_t {
    Total = 0,
    Units = 1,
    Buildings = 2,
    UnitsAndBuildings = 3,
    Kills = 4,
    Razings = 5,
    KillsAndRazings = 6,
    Custom = 7,
};

// A player or group, both as a field's value and as the index of a record's
// execution-table byte. 12 and 22 to 25 are numbers the game leaves unused.
enum class PlayerGroup : std::uint8_t {
    Player1 = 0, // Player 1..12 are 0..11
    Player2 = 1,
    Player3 = 2,
    Player4 = 3,
    Player5 = 4,
    Player6 = 5,
    Player7 = 6,
    Player8 = 7,
    Player9 = 8,
    Player10 = 9,
    Player11 = 10,
    Player12 = 11,
    CurrentPlayer = 13,
    Foes = 14,
    Allies = 15,
    NeutralPlayers = 16,
    AllPlayers = 17,
    Force1 = 18, // Force 1..4 are 18..21
    Force2 = 19,
    Force3 = 20,
    Force4 = 21,
    NonAlliedVictoryPlayers = 26,
};

// The number a value stands for in its field.
template <typename Vocabulary>
constexpr std::underlying_type_t<Vocabulary> toNumber(Vocabulary value) {
    return static_cast<std::underlying_type_t<Vocabulary>>(value);
}

// A type byte as a slot holds it, which may be a number the game does not
// know: a switch over these names takes such a number to its default.
constexpr ConditionType toConditionType(std::uint8_t type) {
    return static_cast<ConditionType>(type);
}
constexpr ActionType toActionType(std::uint8_t type) {
    return static_cast<ActionType>(type);
}

// The values the series writer puts in its records, as the fields' own
// types, for comparing with the fields of a decoded record.
inline constexpr std::uint8_t kComparisonAtLeast = toNumber(Comparison::AtLeast);
inline constexpr std::uint8_t kConditionKill = toNumber(ConditionType::Kill);
inline constexpr std::uint8_t kActionDisplayTextMessage = toNumber(ActionType::DisplayTextMessage);
inline constexpr std::uint8_t kActionSetSwitch = toNumber(ActionType::SetSwitch);
inline constexpr std::uint8_t kActionSetResources = toNumber(ActionType::SetResources);
inline constexpr std::uint8_t kActionSetScore = toNumber(ActionType::SetScore);
inline constexpr std::uint8_t kModifierAdd = toNumber(Modifier::Add);
inline constexpr std::uint8_t kSwitchStateSet = toNumber(Modifier::SetSwitch);
inline constexpr std::uint16_t kResourceOre = toNumber(ResourceType::Ore);
inline constexpr std::uint16_t kResourceGas = toNumber(ResourceType::Gas);

inline constexpr std::uint32_t kPlayer1 = toNumber(PlayerGroup::Player1); // Player 1..8: 0..7
inline constexpr std::uint32_t kCurrentPlayer = toNumber(PlayerGroup::CurrentPlayer);
inline constexpr std::uint32_t kAllPlayers = toNumber(PlayerGroup::AllPlayers);
inline constexpr std::uint32_t kForce1 = toNumber(PlayerGroup::Force1); // Force 1..4: 18..21

} // namespace trigfile
