#include "cli/series_options.h"

#include "base/ascii.h"
#include "cli/unit_argument.h"
#include "cli/whole_number.h"
#include "trigfile/game_limits.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <string_view>

namespace cli {
namespace {

std::string optionName(trigfile::Input input) {
    switch (input) {
    case trigfile::Input::KillStep:
        return "--every";
    case trigfile::Input::KillMax:
        return "--up-to";
    case trigfile::Input::Unit:
        return "--unit";
    case trigfile::Input::Ore:
        return "--ore";
    case trigfile::Input::Points:
        return "--score";
    case trigfile::Input::Switch:
        return "--switch";
    case trigfile::Input::Gas:
        return "--gas";
    case trigfile::Input::Message:
        return "--message";
    }
    return "";
}

// Reads a number option into field, or says what is wrong with its text.
std::optional<std::string> readNumber(const char* option, const std::string& text, double& field) {
    const auto value = wholeNumber(text);
    if (!value) {
        return std::string(option) + " takes a whole number written in digits, not \"" + text +
               "\".";
    }
    field = *value;
    return std::nullopt;
}

// Ticks the owners numbered 1..N, or says which number is out of range.
template <std::size_t N>
std::optional<std::string> tickOwners(const std::string& option,
                                      const std::vector<std::string>& numbers,
                                      std::array<trigfile::CheckValue, N>& ticks) {
    for (const std::string& text : numbers) {
        const auto value = wholeNumber(text);
        if (!value || *value < 1 || *value > static_cast<double>(N)) {
            return option + " takes a number from 1 to " + std::to_string(N) + ", not \"" + text +
                   "\".";
        }
        ticks[static_cast<std::size_t>(*value) - 1] = trigfile::CheckValue::Ticked;
    }
    return std::nullopt;
}

// The encoding an --encoding value names, any case.
std::optional<trigfile::TextEncoding> encodingNamed(const std::string& name) {
    if (base::sameIgnoringCase(name, "utf-8")) {
        return trigfile::TextEncoding::Utf8;
    }
    if (base::sameIgnoringCase(name, "cp949")) {
        return trigfile::TextEncoding::Korean;
    }
    if (base::sameIgnoringCase(name, "cp1252")) {
        return trigfile::TextEncoding::Western;
    }
    return std::nullopt;
}

base::Outcome<trigfile::KillRewardSettings> settingsFrom(const SeriesOptions& o) {
    trigfile::KillRewardSettings s;
    // The numbers in the window's order: maximum, step, amount, gas, unit.
    if (auto error = readNumber("--up-to", o.upTo, s.killMax)) {
        return base::Problem::refused(*error);
    }
    if (auto error = readNumber("--every", o.every, s.killStep)) {
        return base::Problem::refused(*error);
    }

    // The reward: what the window's action type and amount boxes hold.
    // Without --ore the ore amount is 0, which makes gas the only reward.
    std::optional<std::string> error;
    if (o.score) {
        s.actionKind = trigfile::ActionKind::Score;
        error = readNumber("--score", *o.score, s.amount);
    } else if (o.switchNumber) {
        s.actionKind = trigfile::ActionKind::Switch;
        error = readNumber("--switch", *o.switchNumber, s.amount);
    } else if (o.ore || o.gas) {
        s.actionKind = trigfile::ActionKind::Money;
        if (o.ore) {
            error = readNumber("--ore", *o.ore, s.amount);
        }
    } else {
        error = "Give the reward: --ore and/or --gas, --score or --switch.";
    }
    if (!error && o.gas) {
        error = readNumber("--gas", *o.gas, s.gasAmount);
    }
    if (error) {
        return base::Problem::refused(*error);
    }
    if (s.actionKind == trigfile::ActionKind::Score && !o.scoreKind.empty()) {
        bool found = false;
        for (std::size_t i = 0; i < trigfile::kScoreKindNames.size(); ++i) {
            if (base::sameIgnoringCase(o.scoreKind, trigfile::kScoreKindNames[i])) {
                s.scoreKind = static_cast<int>(i);
                found = true;
            }
        }
        if (!found) {
            std::string kinds;
            for (std::string_view name : trigfile::kScoreKindNames) {
                kinds += kinds.empty() ? "" : ", ";
                kinds += "\"" + std::string(name) + "\"";
            }
            return base::Problem::refused("--score-kind takes one of " + kinds + ", not \"" +
                                          o.scoreKind + "\".");
        }
    }

    const UnitChoice unit = findUnit(o.unit);
    if (!unit.ok()) {
        return unit.problem();
    }
    s.unitId = *unit;

    if (auto error = tickOwners("--player", o.players, s.players)) {
        return base::Problem::refused(*error);
    }
    if (auto error = tickOwners("--force", o.forces, s.forces)) {
        return base::Problem::refused(*error);
    }
    s.allPlayers = o.allPlayers ? trigfile::CheckValue::Ticked : trigfile::CheckValue::Cleared;
    if (o.message) {
        s.message = trigfile::RewardMessage{*o.message, std::nullopt}; // the map's own, else UTF-8
        if (o.encoding) {
            s.message->encoding = encodingNamed(*o.encoding);
            if (!s.message->encoding) {
                return base::Problem::refused("--encoding takes utf-8, cp949 or cp1252, not \"" +
                                              *o.encoding + "\".");
            }
        }
    }
    // The window's Create waits for a tick: a trigger nobody owns never runs.
    if (o.players.empty() && o.forces.empty() && !o.allPlayers) {
        return base::Problem::refused(
            "Give at least one owner: --player, --force or --all-players.");
    }
    return s;
}

} // namespace

const trigfile::InputNames kOptionNames{optionName, optionName};

void addSeriesOptions(CLI::App& command, SeriesOptions& o) {
    command.add_option("--every", o.every, "Kill step K: a trigger every K kills")
        ->option_text("K")
        ->required();
    command.add_option("--up-to", o.upTo, "Kill maximum M: triggers up to M kills")
        ->option_text("M")
        ->required();
    command
        .add_option("--unit", o.unit,
                    "Unit to kill: its number, or its name in the unit list (any case)")
        ->option_text("UNIT")
        ->required();
    auto* ore = command.add_option("--ore", o.ore, "Money: N ore per trigger")->option_text("N");
    auto* gas = command.add_option("--gas", o.gas, "Money: N gas per trigger")->option_text("N");
    auto* score =
        command.add_option("--score", o.score, "Score: N points per trigger")->option_text("N");
    auto* kind = command
                     .add_option("--score-kind", o.scoreKind,
                                 "Score kind as the window names it (default Total): Total, "
                                 "Units, Buildings, \"Units and Buildings\", Kills, Razings, "
                                 "\"Kills and Razings\", Custom")
                     ->option_text("KIND");
    auto* switchOption = command
                             .add_option("--switch", o.switchNumber,
                                         "Switch: set switch N (1 to " +
                                             std::to_string(trigfile::kSwitchCount) + ")")
                             ->option_text("N");
    ore->excludes(score)->excludes(switchOption);
    gas->excludes(score)->excludes(switchOption);
    score->excludes(switchOption);
    kind->needs(score);
    command.add_option("--player", o.players, "Owner: player P (1 to 8); may be repeated")
        ->option_text("P")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_option("--force", o.forces, "Owner: force F (1 to 4); may be repeated")
        ->option_text("F")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_flag("--all-players", o.allPlayers, "Owner: All Players");
    auto* message = command
                        .add_option("--message", o.message,
                                    "A message each trigger shows when its reward lands; {kills} "
                                    "stands for its kills, {amount} for its reward, {{ and }} for "
                                    "braces")
                        ->option_text("TEXT");
    command
        .add_option("--encoding", o.encoding,
                    "The message's encoding: utf-8 (StarCraft: Remastered), cp949 (Korean) or "
                    "cp1252 (Western); without it, the encoding the map's strings are in when "
                    "adding to a map, else utf-8")
        ->option_text("NAME")
        ->needs(message);
}

trigfile::SeriesPlan planFromOptions(const SeriesOptions& options) {
    const auto read = settingsFrom(options);
    if (!read.ok()) {
        return read.problem();
    }
    return trigfile::planSeries(trigfile::normalise(*read), kOptionNames);
}

} // namespace cli
