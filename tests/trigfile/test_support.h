#pragma once

#include "byte_sink.h"
#include "kill_reward_settings.h"
#include "trigger_record.h"
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

// The file as the plain encoder describes it, record by record.
inline std::vector<std::uint8_t> expectedFile(const trigfile::TriggerSeries& series) {
    std::vector<std::uint8_t> out;
    const auto preamble = trigfile::encodePreamble();
    out.insert(out.end(), preamble.begin(), preamble.end());
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const auto r = trigfile::encodeRecord(series.fields, series.threshold(k));
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// Passes bytes on until a budget is spent, then fails like a full disk.
class FullDiskSink : public trigfile::ByteSink {
  public:
    FullDiskSink(trigfile::ByteSink& inner, std::size_t budget) : inner_(inner), budget_(budget) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        if (size > budget_) {
            inner_.write(data, budget_);
            budget_ = 0;
            throw trigfile::WriteError("Could not write the file: No space left on device.");
        }
        inner_.write(data, size);
        budget_ -= size;
    }

  private:
    trigfile::ByteSink& inner_;
    std::size_t budget_;
};

} // namespace testsupport
