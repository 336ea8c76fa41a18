#pragma once

#include "kill_reward_settings.h"
#include "trigger_series.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace testsupport {

// Settings as a user would fill the window: texts, then kind and ticks.
inline trigfile::KillRewardSettings typed(const std::string& killStep, const std::string& killMax,
                                          const std::string& unit, const std::string& amount,
                                          const std::string& gas = "",
                                          trigfile::ActionKind kind = trigfile::ActionKind::Money) {
    trigfile::KillRewardSettings s =
        trigfile::readSettings(trigfile::BoxTexts{killMax, killStep, amount, gas, unit});
    s.actionKind = kind;
    s.players[0] = trigfile::CheckValue::Ticked;
    return s;
}

inline trigfile::TriggerSeries planOrFail(const trigfile::KillRewardSettings& s) {
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(s));
    if (const auto* refusal = std::get_if<trigfile::Refusal>(&plan)) {
        ADD_FAILURE() << "unexpected refusal: " << refusal->reason;
        return {};
    }
    return std::get<trigfile::TriggerSeries>(plan);
}

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> out;
    for (int b : list) {
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

template <typename Container>
std::vector<std::uint8_t> slice(const Container& c, std::size_t offset, std::size_t size) {
    return std::vector<std::uint8_t>(c.begin() + static_cast<std::ptrdiff_t>(offset),
                                     c.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

} // namespace testsupport
