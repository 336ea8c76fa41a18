#pragma once

#include "trigfile/game_limits.h"
#include "trigfile/reward_message.h"
#include "trigfile/trigger_vocabulary.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trigfile {

// The reward every trigger of the series gives.
enum class ActionKind { Money, Score, Switch };

// A check box's value: the third, greyed state is not a tick.
enum class CheckValue : std::uint8_t { Cleared = 0, Ticked = 1, Greyed = 2 };

// The inputs of one Create, as read from the window. Numbers are the boxes'
// texts read by the leading-number rule, still unrounded.
struct KillRewardSettings {
    double killMax = 0;   // "Up to what number of kills?"
    double killStep = 0;  // "How often does it fire?", rounded when the series is planned
    double amount = 0;    // ore amount, points or switch number, by action kind
    double gasAmount = 0; // Money only
    double unitId = 0;    // a number from the unit reference list
    ActionKind actionKind = ActionKind::Money;
    int scoreKind = 0; // an index of kScoreKindNames
    std::array<CheckValue, 8> players{};
    CheckValue allPlayers = CheckValue::Cleared;
    std::array<CheckValue, 4> forces{};
    std::optional<RewardMessage> message; // shown by each trigger when its reward lands
};

// The score kinds in the order of their numbers in the file and of the
// window's score buttons.
inline constexpr std::array<std::string_view, 8> kScoreKindNames{
    "Total", "Units",   "Buildings",         "Units and Buildings",
    "Kills", "Razings", "Kills and Razings", "Custom"};
static_assert(kScoreKindNames.size() == toNumber(ScoreKind::Custom) + 1u,
              "a name for every score kind");

// The texts of the five number boxes, as the window holds them.
struct BoxTexts {
    std::string killsUpTo;  // txtkillsupto
    std::string killAmount; // txtkillamount
    std::string oreAmount;  // txtoreamount
    std::string gasAmount;  // txtgasamount
    std::string unitType;   // txtunittype
};

// Reads the boxes in the window's order (kill maximum, kill step, amount,
// gas, unit); the caller fills in the action kind, score kind and ticks.
KillRewardSettings readSettings(const BoxTexts& texts);

// Switch numbers are typed from 1 and stored from 0; unit numbers above the
// list's highest become "Men". Nothing else changes: the Money choice between
// ore and gas is made later, on these unrounded values.
KillRewardSettings normalise(KillRewardSettings settings);

} // namespace trigfile
