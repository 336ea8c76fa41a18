#pragma once

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_series.h"

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

// The window's inputs as options, kept as typed until they are checked.
struct SeriesOptions {
    std::string every; // --every: the kill step
    std::string upTo;  // --up-to: the kill maximum
    std::string unit;  // --unit: number or name
    std::optional<std::string> ore, gas, score, switchNumber;
    std::string scoreKind; // --score-kind, by the window's caption
    std::vector<std::string> players, forces;
    bool allPlayers = false;
    std::optional<std::string> message;  // --message, as typed
    std::optional<std::string> encoding; // --encoding: utf-8, cp949 or cp1252
};

// Adds the series options (the same for create and add) to a command.
void addSeriesOptions(CLI::App& command, SeriesOptions& options);

// The series the options describe, checked as the window checks its boxes
// before Create, or what is wrong, naming the option.
trigfile::SeriesPlan planFromOptions(const SeriesOptions& options);

// Refusals of the core name options, not the window's boxes.
extern const trigfile::InputNames kOptionNames;

} // namespace cli
