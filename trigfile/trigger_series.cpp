#include "trigfile/trigger_series.h"

#include "base/number_text.h"
#include "trigfile/game_limits.h"
#include "trigfile/rounding.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace trigfile {
namespace {

const char* plainName(Input input) {
    switch (input) {
    case Input::KillStep:
        return "the kill step";
    case Input::KillMax:
        return "the most kills";
    case Input::Unit:
        return "the unit";
    case Input::Ore:
        return "the ore";
    case Input::Points:
        return "the points";
    case Input::Switch:
        return "the switch";
    case Input::Gas:
        return "the gas";
    case Input::Message:
        return "the message";
    }
    return "";
}

std::string plainMention(Input input) {
    return plainName(input);
}

std::string plainSubject(Input input) {
    std::string subject = plainName(input);
    subject[0] = 'T';
    return subject;
}

// The rounded value if it lies in [low, high]; infinities and NaN never do.
std::optional<std::uint32_t> roundedWithin(double value, double low, double high) {
    const double r = roundTiesToEven(value);
    if (!(r >= low && r <= high)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(r);
}

base::Problem amountRefusal(const InputNames& names, Input input) {
    return base::Problem::refused(names.subject(input) + " must hold a number from 0 to " +
                                  base::withThousands(kMaxFieldValue) +
                                  ". Please change it and try again.");
}

std::array<std::uint8_t, kExecutionTableSize> executionTable(const KillRewardSettings& s) {
    std::array<std::uint8_t, kExecutionTableSize> table{};
    auto ticked = [](CheckValue v) { return static_cast<std::uint8_t>(v == CheckValue::Ticked); };
    for (std::size_t i = 0; i < s.players.size(); ++i) {
        table[kPlayer1 + i] = ticked(s.players[i]);
    }
    table[kAllPlayers] = ticked(s.allPlayers);
    for (std::size_t i = 0; i < s.forces.size(); ++i) {
        table[kForce1 + i] = ticked(s.forces[i]);
    }
    return table;
}

ActionFields addResources(std::uint32_t amount, std::uint16_t resource) {
    return ActionFields{kCurrentPlayer,      amount,       resource,
                        kActionSetResources, kModifierAdd, kActionAlwaysDisplay};
}

// Fills the reward actions, or says which amount does not fit.
std::optional<base::Problem> planActions(const KillRewardSettings& s, const InputNames& names,
                                         RecordFields& fields) {
    const double maxField = kMaxFieldValue;
    switch (s.actionKind) {
    case ActionKind::Money: {
        // The ore/gas choice looks at the values before rounding: an ore
        // amount of exactly 0 means the gas amount is the only reward.
        if (s.amount == 0) {
            const auto gas = roundedWithin(s.gasAmount, 0, maxField);
            if (!gas) {
                return amountRefusal(names, Input::Gas);
            }
            fields.reward = addResources(*gas, kResourceGas);
            return std::nullopt;
        }
        const auto ore = roundedWithin(s.amount, 0, maxField);
        if (!ore) {
            return amountRefusal(names, Input::Ore);
        }
        fields.reward = addResources(*ore, kResourceOre);
        if (s.gasAmount > 0) {
            const auto gas = roundedWithin(s.gasAmount, 0, maxField);
            if (!gas) {
                return amountRefusal(names, Input::Gas);
            }
            fields.extraGas = addResources(*gas, kResourceGas);
        }
        return std::nullopt;
    }
    case ActionKind::Score: {
        const auto points = roundedWithin(s.amount, 0, maxField);
        if (!points) {
            return amountRefusal(names, Input::Points);
        }
        const bool known =
            s.scoreKind >= 0 && static_cast<std::size_t>(s.scoreKind) < kScoreKindNames.size();
        const auto kind = static_cast<std::uint16_t>(known ? s.scoreKind : 0);
        fields.reward = ActionFields{kCurrentPlayer,  *points,      kind,
                                     kActionSetScore, kModifierAdd, kActionAlwaysDisplay};
        return std::nullopt;
    }
    case ActionKind::Switch: {
        const auto index = roundedWithin(s.amount, 0, kSwitchCount - 1); // typed from 1
        if (!index) {
            return base::Problem::refused(
                names.subject(Input::Switch) + " must hold a switch number from 1 to " +
                base::withThousands(kSwitchCount) + ". Please change it and try again.");
        }
        fields.reward =
            ActionFields{0, *index, 0, kActionSetSwitch, kSwitchStateSet, kActionAlwaysDisplay};
        return std::nullopt;
    }
    }
    return base::Problem::refused("The action type is unknown.");
}

} // namespace

const InputNames kPlainNames{plainSubject, plainMention};

std::uint64_t countThresholds(double killMax, std::uint32_t step) {
    const double s = step;
    if (!(killMax >= 2 * s)) {
        return 1; // the first trigger is always made
    }
    // Exact in doubles: both factors stay far below 2^53 once killMax is capped.
    const double cap = 4'294'967'296.0 * s;
    const double limit = killMax < cap ? killMax : cap;
    double count = std::floor(limit / s);
    while ((count + 1) * s <= limit) {
        count += 1;
    }
    while (count > 1 && count * s > limit) {
        count -= 1;
    }
    return static_cast<std::uint64_t>(count);
}

SeriesPlan planSeries(const KillRewardSettings& s, const InputNames& names) {
    // The first trigger waits for one step of kills, so a step past the
    // largest count a trigger holds could never be written.
    const auto step = roundedWithin(s.killStep, 1, kMaxFieldValue);
    if (!step) {
        return base::Problem::refused(
            names.subject(Input::KillStep) + " must hold a number of kills from 1 to " +
            base::withThousands(kMaxFieldValue) + ". Please change it and try again.");
    }
    if (!std::isfinite(s.killMax)) {
        return base::Problem::refused(names.subject(Input::KillMax) +
                                      " holds a number too large to use. " +
                                      "Please change it and try again.");
    }
    const std::uint64_t count = countThresholds(s.killMax, *step);
    const std::uint64_t last = count * *step;
    if (last > kMaxFieldValue) {
        const std::string lastText =
            last < 1'000'000'000'000ULL ? base::withThousands(last) + " kills" : "that many kills";
        return base::Problem::refused("The last trigger would wait for " + lastText +
                                      ", but a trigger can count at most " +
                                      base::withThousands(kMaxFieldValue) +
                                      " kills. Please lower " + names.mention(Input::KillMax) +
                                      " or " + names.mention(Input::KillStep) + " and try again.");
    }

    TriggerSeries series;
    series.killStep = *step;
    series.recordCount = static_cast<std::uint32_t>(count);

    // normalise() has already made any number past the list's highest "Men".
    const auto unit = roundedWithin(s.unitId, 0, kHighestUnitNumber);
    if (!unit) {
        return base::Problem::refused(names.subject(Input::Unit) +
                                      " must hold a unit number from 0 to " +
                                      base::withThousands(kHighestUnitNumber) +
                                      ", as the unit list shows. Please change it and try again.");
    }
    series.fields.unitId = static_cast<std::uint16_t>(*unit);

    if (auto refusal = planActions(s, names, series.fields)) {
        return *refusal;
    }
    series.fields.executionTable = executionTable(s);
    if (s.message) {
        auto message = planMessage(*s.message, placeholderAmount(series.fields),
                                   series.lastThreshold(), names.subject(Input::Message));
        if (!message.ok()) {
            return std::move(message.problem());
        }
        series.fields.showsMessage = true;
        series.message = std::move(*message);
    }
    return series;
}

} // namespace trigfile
