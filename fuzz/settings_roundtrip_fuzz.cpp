// Round trip from what a user can put in the window to the bytes of the file:
// box texts, check-box values, action kind and score kind go through
// readSettings, normalise and planSeries. An independent model of the rules
// says whether the inputs can be written; if not, the program must refuse
// with a reason, and if so, the records it encodes (and, for short series,
// the whole file the writer streams) are decoded here by byte offsets and
// must carry exactly the values the rules give, with every other byte zero.
//
// Input layout:
//   byte 0        action kind, modulo 3: Money, Score, Switch
//   byte 1        score kind as a signed byte (the window gives 0..7)
//   bytes 2..14   check boxes modulo 3 (cleared, ticked, greyed):
//                 Player 1..8, Force 1..4, All Players
//   the rest      the five box texts separated by 0x1F: kill maximum,
//                 kill step, amount, gas, unit (missing ones are empty)

#include "app/box_names.h"
#include "reference_number.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_record.h"
#include "trigfile/trigger_series.h"

#include <array>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, long long got, long long want) {
    std::fprintf(stderr, "mismatch: %s: got %lld, want %lld\n", what, got, want);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

void expectEqual(long long got, long long want, const char* what) {
    if (got != want) {
        fail(what, got, want);
    }
}

struct Input {
    int kind = 0;
    int scoreKind = 0;
    std::array<int, 13> boxes{};
    std::array<std::string, 5> texts; // kill maximum, step, amount, gas, unit
};

Input parse(const std::uint8_t* data, std::size_t size) {
    Input in;
    auto byte = [&](std::size_t i) { return i < size ? data[i] : std::uint8_t{0}; };
    in.kind = byte(0) % 3;
    in.scoreKind = static_cast<std::int8_t>(byte(1));
    for (std::size_t i = 0; i < 13; ++i) {
        in.boxes[i] = byte(2 + i) % 3;
    }
    std::size_t field = 0;
    for (std::size_t i = 15; i < size && field < 5; ++i) {
        if (data[i] == 0x1F) {
            ++field;
        } else {
            in.texts[field] += static_cast<char>(data[i]);
        }
    }
    return in;
}

// --- The rules, stated independently of the program ------------------------

// Round to nearest, ties to even: the default mode of the floating-point unit.
double roundEven(double v) {
    return std::nearbyint(v);
}

// A rounded value if it lies in [low, high].
std::optional<std::int64_t> fits(double v, double low, double high) {
    const double r = roundEven(v);
    if (r >= low && r <= high) {
        return static_cast<std::int64_t>(r);
    }
    return std::nullopt;
}

struct Action {
    std::uint32_t group, value;
    std::uint16_t type;
    std::uint8_t action, modifier, flags;
};

struct Expected {
    std::uint32_t step = 0;
    std::uint32_t count = 0;
    std::uint16_t unit = 0;
    Action slot0{};
    std::optional<Action> slot1;
    std::array<std::uint8_t, 28> table{};
};

constexpr double kMaxField = 16777215;

std::optional<Expected> model(const Input& in) {
    double killMax = reference::leadingNumber(in.texts[0]);
    double step = reference::leadingNumber(in.texts[1]);
    double amount = reference::leadingNumber(in.texts[2]);
    double gas = reference::leadingNumber(in.texts[3]);
    double unit = reference::leadingNumber(in.texts[4]);

    if (in.kind == 2) {
        amount -= 1; // switch numbers are typed from 1
    }
    if (unit > 232) {
        unit = 230;
    }

    Expected e;
    const auto s = fits(step, 1, 2147483647); // a signed 32-bit step that moves on
    if (!s) {
        return std::nullopt;
    }
    e.step = static_cast<std::uint32_t>(*s);
    if (!std::isfinite(killMax)) {
        return std::nullopt; // the program refuses an infinite maximum outright
    }
    // Thresholds step, 2 step, ... while the next one stays <= killMax; at least one.
    std::int64_t count = 1;
    if (killMax >= 2.0 * e.step) {
        if (killMax >= kMaxField + 1 + e.step) {
            return std::nullopt; // the last threshold would pass 16,777,215
        }
        count = static_cast<std::int64_t>(std::floor(killMax)) / e.step;
    }
    if (count * e.step > kMaxField) {
        return std::nullopt;
    }
    e.count = static_cast<std::uint32_t>(count);

    const auto u = fits(unit, 0, 255);
    if (!u) {
        return std::nullopt;
    }
    e.unit = static_cast<std::uint16_t>(*u);

    switch (in.kind) {
    case 0: { // Money: the choice looks at the unrounded ore amount
        if (amount == 0) {
            const auto g = fits(gas, 0, kMaxField);
            if (!g) {
                return std::nullopt;
            }
            e.slot0 = {13, static_cast<std::uint32_t>(*g), 1, 26, 8, 4};
        } else {
            const auto o = fits(amount, 0, kMaxField);
            if (!o) {
                return std::nullopt;
            }
            e.slot0 = {13, static_cast<std::uint32_t>(*o), 0, 26, 8, 4};
            if (gas > 0) {
                const auto g = fits(gas, 0, kMaxField);
                if (!g) {
                    return std::nullopt;
                }
                e.slot1 = Action{13, static_cast<std::uint32_t>(*g), 1, 26, 8, 4};
            }
        }
        break;
    }
    case 1: { // Score
        const auto p = fits(amount, 0, kMaxField);
        if (!p) {
            return std::nullopt;
        }
        const int kind = in.scoreKind >= 0 && in.scoreKind <= 7 ? in.scoreKind : 0;
        e.slot0 = {13, static_cast<std::uint32_t>(*p), static_cast<std::uint16_t>(kind), 27, 8, 4};
        break;
    }
    default: { // Switch
        const auto index = fits(amount, 0, 255);
        if (!index) {
            return std::nullopt;
        }
        e.slot0 = {0, static_cast<std::uint32_t>(*index), 0, 13, 4, 4};
        break;
    }
    }

    for (int i = 0; i < 8; ++i) {
        e.table[i] = in.boxes[i] == 1;
    }
    for (int i = 0; i < 4; ++i) {
        e.table[18 + i] = in.boxes[8 + i] == 1;
    }
    e.table[17] = in.boxes[12] == 1;
    return e;
}

// --- Decoding the bytes ------------------------------------------------------

std::uint32_t u32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void decodeAction(const std::uint8_t* slot, const Action& a, std::vector<bool>& used,
                  std::size_t at) {
    expectEqual(u32(slot + 16), a.group, "action player group");
    expectEqual(u32(slot + 20), a.value, "action amount or index");
    expectEqual(u16(slot + 24), a.type, "action resource type or score kind");
    expectEqual(slot[26], a.action, "action type");
    expectEqual(slot[27], a.modifier, "action modifier or state");
    expectEqual(slot[28], a.flags, "action flags");
    for (std::size_t i = 16; i < 29; ++i) {
        used[at + i] = true;
    }
}

void decodeRecord(const std::uint8_t* r, const Expected& e, std::uint32_t threshold) {
    std::vector<bool> used(2400, false);
    expectEqual(u32(r + 4), 13, "condition player group");
    expectEqual(u32(r + 8), threshold, "kill threshold");
    expectEqual(u16(r + 12), e.unit, "unit number");
    expectEqual(r[15], 5, "condition type Kill");
    expectEqual(r[17], 0x10, "condition flags");
    for (std::size_t i : {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17}) {
        used[i] = true;
    }
    decodeAction(r + 320, e.slot0, used, 320);
    if (e.slot1) {
        decodeAction(r + 352, *e.slot1, used, 352);
    }
    for (std::size_t i = 0; i < 28; ++i) {
        expectEqual(r[2372 + i], e.table[i], "execution table byte");
        used[2372 + i] = true;
    }
    for (std::size_t i = 0; i < 2400; ++i) {
        if (!used[i] && r[i] != 0) {
            fail("a byte outside every field is not zero, at record offset",
                 static_cast<long long>(i), 0);
        }
    }
}

class MemorySink : public trigfile::ByteSink {
  public:
    void write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
    }
    std::vector<std::uint8_t> bytes;
};

void checkWholeFile(const trigfile::TriggerSeries& series, const Expected& e) {
    MemorySink sink;
    check(trigfile::writeSeries(sink, series), "the writer stopped early");
    const auto& f = sink.bytes;
    expectEqual(static_cast<long long>(f.size()), 2408LL + 2400LL * e.count, "file size");
    expectEqual(u32(f.data()), 0x36987771, "signature");
    expectEqual(u32(f.data() + 4), 24, "header value");
    for (std::size_t i = 8; i < 2408; ++i) {
        expectEqual(f[i], 0, "the empty trigger");
    }
    for (std::uint32_t k = 0; k < e.count; ++k) {
        decodeRecord(f.data() + 2408 + 2400 * static_cast<std::size_t>(k), e, (k + 1) * e.step);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input in = parse(data, size);

    trigfile::KillRewardSettings s = trigfile::readSettings(
        trigfile::BoxTexts{in.texts[0], in.texts[1], in.texts[2], in.texts[3], in.texts[4]});
    s.actionKind = in.kind == 0   ? trigfile::ActionKind::Money
                   : in.kind == 1 ? trigfile::ActionKind::Score
                                  : trigfile::ActionKind::Switch;
    s.scoreKind = in.scoreKind;
    for (int i = 0; i < 8; ++i) {
        s.players[i] = static_cast<trigfile::CheckValue>(in.boxes[i]);
    }
    for (int i = 0; i < 4; ++i) {
        s.forces[i] = static_cast<trigfile::CheckValue>(in.boxes[8 + i]);
    }
    s.allPlayers = static_cast<trigfile::CheckValue>(in.boxes[12]);

    const trigfile::SeriesPlan plan =
        trigfile::planSeries(trigfile::normalise(s), boxnames::kBoxNames);
    const std::optional<Expected> expected = model(in);

    if (!expected) {
        check(!plan.ok(), "the rules refuse these inputs, the program accepted them");
        bool namesABox = false;
        for (const char* caption :
             {boxnames::kKillStepCaption, boxnames::kKillMaxCaption, boxnames::kUnitCaption,
              boxnames::kOreCaption, boxnames::kPointsCaption, boxnames::kSwitchCaption,
              boxnames::kGasCaption}) {
            namesABox = namesABox || plan.reason().find(caption) != std::string::npos;
        }
        check(namesABox, "a refusal must name the box to change");
        return 0;
    }
    if (!plan.ok()) {
        std::fprintf(stderr, "refused: %s\n", plan.reason().c_str());
        check(false, "the rules accept these inputs, the program refused them");
    }
    const auto& series = plan.value();
    expectEqual(series.killStep, expected->step, "kill step");
    expectEqual(series.recordCount, expected->count, "record count");

    // The first, a middle and the last record from the encoder...
    for (std::uint32_t k : {0u, expected->count / 2, expected->count - 1}) {
        const trigfile::TriggerRecord r =
            trigfile::encodeRecord(series.fields, series.threshold(k));
        decodeRecord(r.data(), *expected, (k + 1) * expected->step);
    }
    // ...and every byte of a short file from the writer.
    if (expected->count <= 64) {
        checkWholeFile(series, *expected);
    }
    return 0;
}
