#include "series_options.h"

#include "unit_argument.h"
#include "whole_number.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
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
    }
    return "";
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A number option's value, or what is wrong with it.
std::variant<double, std::string> number(const std::string& option, const std::string& text) {
    if (auto value = wholeNumber(text)) {
        return *value;
    }
    return option + " takes a whole number written in digits, not \"" + text + "\".";
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

std::variant<trigfile::KillRewardSettings, std::string> settingsFrom(const SeriesOptions& o) {
    trigfile::KillRewardSettings s;
    // The numbers in the window's order: maximum, step, amount, gas, unit.
    const std::pair<const char*, const std::string*> kills[] = {{"--up-to", &o.upTo},
                                                                {"--every", &o.every}};
    double* const killFields[] = {&s.killMax, &s.killStep};
    for (std::size_t i = 0; i < 2; ++i) {
        auto value = number(kills[i].first, *kills[i].second);
        if (auto* error = std::get_if<std::string>(&value)) {
            return *error;
        }
        *killFields[i] = std::get<double>(value);
    }

    // The reward: what the window's action type and amount boxes hold.
    const std::optional<std::string>* amount = nullptr;
    const char* amountOption = "";
    if (o.score) {
        s.actionKind = trigfile::ActionKind::Score;
        amount = &o.score;
        amountOption = "--score";
    } else if (o.switchNumber) {
        s.actionKind = trigfile::ActionKind::Switch;
        amount = &o.switchNumber;
        amountOption = "--switch";
    } else if (o.ore || o.gas) {
        s.actionKind = trigfile::ActionKind::Money;
        amount = &o.ore; // without --ore the ore amount is 0: gas is the only reward
        amountOption = "--ore";
    } else {
        return std::string("Give the reward: --ore and/or --gas, --score or --switch.");
    }
    if (*amount) {
        auto value = number(amountOption, **amount);
        if (auto* error = std::get_if<std::string>(&value)) {
            return *error;
        }
        s.amount = std::get<double>(value);
    }
    if (o.gas) {
        auto value = number("--gas", *o.gas);
        if (auto* error = std::get_if<std::string>(&value)) {
            return *error;
        }
        s.gasAmount = std::get<double>(value);
    }
    if (s.actionKind == trigfile::ActionKind::Score && !o.scoreKind.empty()) {
        bool found = false;
        for (std::size_t i = 0; i < trigfile::kScoreKindNames.size(); ++i) {
            if (sameLetters(o.scoreKind, trigfile::kScoreKindNames[i])) {
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
            return "--score-kind takes one of " + kinds + ", not \"" + o.scoreKind + "\".";
        }
    }

    const UnitChoice unit = findUnit(o.unit);
    if (const auto* error = std::get_if<std::string>(&unit)) {
        return *error;
    }
    s.unitId = std::get<std::uint16_t>(unit);

    if (auto error = tickOwners("--player", o.players, s.players)) {
        return *error;
    }
    if (auto error = tickOwners("--force", o.forces, s.forces)) {
        return *error;
    }
    s.allPlayers = o.allPlayers ? trigfile::CheckValue::Ticked : trigfile::CheckValue::Cleared;
    // The window's Create waits for a tick: a trigger nobody owns never runs.
    if (o.players.empty() && o.forces.empty() && !o.allPlayers) {
        return std::string("Give at least one owner: --player, --force or --all-players.");
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
    auto* switchOption =
        command.add_option("--switch", o.switchNumber, "Switch: set switch N (1 to 256)")
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
}

std::variant<trigfile::TriggerSeries, std::string> planFromOptions(const SeriesOptions& options) {
    auto read = settingsFrom(options);
    if (auto* error = std::get_if<std::string>(&read)) {
        return *error;
    }
    const trigfile::SeriesPlan plan = trigfile::planSeries(
        trigfile::normalise(std::get<trigfile::KillRewardSettings>(read)), kOptionNames);
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&plan)) {
        return refusal->reason;
    }
    return std::get<trigfile::TriggerSeries>(plan);
}

} // namespace cli
