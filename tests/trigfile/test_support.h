#pragma once

#include "safefile/byte_sink.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_record.h"
#include "trigfile/trigger_series.h"

#include "reference_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
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
    if (!plan.ok()) {
        ADD_FAILURE() << "unexpected refusal: " << plan.reason();
        return {};
    }
    return plan.value();
}

// Bytes one after another: a file or scenario data built from its parts.
inline std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a,
                                           const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One scenario section: name, little-endian size (or a claimed one), data.
inline std::vector<std::uint8_t>
section(const std::string& name, const std::vector<std::uint8_t>& data, std::int64_t claimed = -1) {
    std::vector<std::uint8_t> out(name.begin(), name.end());
    const auto size = static_cast<std::uint32_t>(claimed < 0 ? data.size() : claimed);
    out.resize(8);
    trigfile::putU32(out.data() + 4, size);
    return out + data;
}

// A string section as the map editors lay it out: the count, an offset per
// string (width 2 for STR, 4 for STRx), then each text and its NUL.
inline std::vector<std::uint8_t> stringSection(std::size_t width,
                                               const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> section(width * (strings.size() + 1), 0);
    const auto put = [&](std::size_t at, std::size_t value) {
        for (std::size_t i = 0; i < width; ++i) {
            section[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    put(0, strings.size());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        put(width * (i + 1), section.size());
        section.insert(section.end(), strings[i].begin(), strings[i].end());
        section.push_back(0);
    }
    return section;
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

// Passes bytes on until a budget is spent, then fails as a full disk does.
// passed, if given, counts the bytes that reached the file, so that a test
// can see where the fault struck.
class FullDiskSink : public safefile::ByteSink {
  public:
    FullDiskSink(safefile::ByteSink& inner, std::uint64_t budget)
        : inner_(inner), budget_(budget), passed_(ownCount_) {}
    FullDiskSink(safefile::ByteSink& inner, std::uint64_t budget, std::uint64_t& passed)
        : inner_(inner), budget_(budget), passed_(passed) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        const std::uint64_t room = budget_ - passed_;
        if (size > room) {
            inner_.write(data, static_cast<std::size_t>(room));
            passed_ += room;
            throw safefile::WriteError(
                "Could not write the file: " + std::generic_category().message(ENOSPC) + ".");
        }
        inner_.write(data, size);
        passed_ += size;
    }

  private:
    safefile::ByteSink& inner_;
    std::uint64_t budget_;
    std::uint64_t ownCount_ = 0;
    std::uint64_t& passed_;
};

} // namespace testsupport
