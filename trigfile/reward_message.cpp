#include "trigfile/reward_message.h"

#include "base/number_text.h"
#include "trigfile/code_page.h"
#include "trigfile/game_limits.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace trigfile {

unsigned codePageOf(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Korean:
        return kCodePageKorean;
    case TextEncoding::Western:
        return kCodePageWestern;
    case TextEncoding::Utf8:
    case TextEncoding::Unknown:
        break;
    }
    return kCodePageUtf8;
}

namespace {

constexpr std::string_view kKills = "kills";
constexpr std::string_view kAmount = "amount";

using Piece = MessagePlan::Piece;

// The typed message in pieces, its fixed text still UTF-8; or what is wrong,
// to follow the subject of a sentence.
base::Outcome<std::vector<Piece>> parse(std::string_view typed) {
    std::vector<Piece> pieces;
    const auto literal = [&](std::string_view text) {
        if (pieces.empty() || pieces.back().kind != Piece::Kind::Bytes) {
            pieces.push_back({Piece::Kind::Bytes, {}});
        }
        pieces.back().bytes += text;
    };
    for (std::size_t i = 0; i < typed.size();) {
        const char c = typed[i];
        if (c == '}') {
            if (i + 1 < typed.size() && typed[i + 1] == '}') {
                literal("}");
                i += 2;
                continue;
            }
            return base::Problem::refused(
                " has a } that closes no placeholder. Write }} for a brace.");
        }
        if (c != '{') {
            literal(typed.substr(i, 1));
            ++i;
            continue;
        }
        if (i + 1 < typed.size() && typed[i + 1] == '{') {
            literal("{");
            i += 2;
            continue;
        }
        const std::size_t close = typed.find('}', i + 1);
        if (close == std::string_view::npos) {
            return base::Problem::refused(
                " has a { that opens no placeholder. Write {{ for a brace.");
        }
        const std::string_view name = typed.substr(i + 1, close - i - 1);
        if (name == kKills) {
            pieces.push_back({Piece::Kind::Kills, {}});
        } else if (name == kAmount) {
            pieces.push_back({Piece::Kind::Amount, {}});
        } else {
            return base::Problem::refused(
                " has {" + std::string(name) +
                "}, which is no placeholder: {kills} stands for the trigger's kills, {amount} "
                "for its reward, and {{ and }} for braces.");
        }
        i = close + 1;
    }
    return pieces;
}

void appendNumber(std::string& out, std::uint32_t n) {
    char digits[10];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}

// The length of the UTF-8 character that starts with lead (1 for a stray byte).
std::size_t characterLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// The code point of one UTF-8 character.
std::uint32_t codePointOf(std::string_view character) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(character[i]); };
    std::uint32_t cp = b(0);
    if (character.size() == 2) {
        cp = (b(0) & 0x1Fu) << 6 | (b(1) & 0x3Fu);
    } else if (character.size() == 3) {
        cp = (b(0) & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
    } else if (character.size() == 4) {
        cp = (b(0) & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
    }
    return cp;
}

// A character by its code point: U+00E9.
std::string codePointText(std::uint32_t cp) {
    char text[12];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
    return text;
}

// The characters of a valid UTF-8 text that a code page has no code for,
// each once, in order: "é" (U+00E9), "€" (U+20AC).
std::string unheldCharacters(std::string_view text, unsigned codePage) {
    constexpr std::size_t kMostNamed = 10;
    std::vector<std::string_view> unheld;
    std::size_t more = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length =
            std::min(characterLength(static_cast<unsigned char>(text[i])), text.size() - i);
        const std::string_view character = text.substr(i, length);
        i += length;
        if (utf8ToCodePage(character, codePage) ||
            std::find(unheld.begin(), unheld.end(), character) != unheld.end()) {
            continue;
        }
        if (unheld.size() == kMostNamed) {
            ++more;
            continue;
        }
        unheld.push_back(character);
    }
    std::string named;
    for (const std::string_view character : unheld) {
        named += named.empty() ? "" : ", ";
        const std::uint32_t cp = codePointOf(character);
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0); // shown by number alone
        // Appended piece by piece: GCC 12 at -O3 takes "\"" + string for an
        // overlapping copy (a false -Wrestrict).
        if (control) {
            named += codePointText(cp);
            continue;
        }
        named += '"';
        named += character;
        named += "\" (";
        named += codePointText(cp);
        named += ')';
    }
    if (more > 0) {
        named += " and " + base::withThousands(more) + " more";
    }
    return named;
}

} // namespace

bool MessagePlan::eachTriggerOwnText() const {
    return std::any_of(pieces.begin(), pieces.end(),
                       [](const Piece& p) { return p.kind == Piece::Kind::Kills; });
}

void MessagePlan::textFor(std::uint32_t kills, std::string& out) const {
    out.clear();
    for (const Piece& piece : pieces) {
        switch (piece.kind) {
        case Piece::Kind::Bytes:
            out += piece.bytes;
            break;
        case Piece::Kind::Kills:
            appendNumber(out, kills);
            break;
        case Piece::Kind::Amount:
            appendNumber(out, amount);
            break;
        }
    }
}

base::Outcome<MessagePlan> planMessage(const RewardMessage& message, std::uint32_t amount,
                                       std::uint32_t lastKills, const std::string& subject) {
    const auto refused = [&](const std::string& rest) {
        return base::Problem::refused(subject + rest + " Please change it and try again.");
    };
    // For reasons that end by saying what to do.
    const auto refusedSaying = [&](const std::string& rest) {
        return base::Problem::refused(subject + rest);
    };
    if (message.text.empty()) {
        return refused(" is empty; a trigger cannot show an empty message.");
    }
    if (!utf8ToCodePage(message.text, kCodePageUtf8)) {
        return refused(" is not valid UTF-8 text.");
    }
    if (message.text.find('\0') != std::string::npos) {
        return refused(" holds the character U+0000, which would end the text there.");
    }
    const TextEncoding encoding = message.chosenOrUtf8();
    if (encoding == TextEncoding::Unknown) {
        return refused(" has no encoding: choose UTF-8, CP949 or CP1252.");
    }
    auto parsed = parse(message.text);
    if (!parsed.ok()) {
        return refused(parsed.reason());
    }
    MessagePlan plan;
    plan.typed = message;
    plan.amount = amount;
    plan.pieces = std::move(*parsed);
    plan.lastKills = lastKills;
    const unsigned codePage = codePageOf(encoding);
    for (Piece& piece : plan.pieces) {
        if (piece.kind != Piece::Kind::Bytes) {
            continue;
        }
        auto encoded = utf8ToCodePage(piece.bytes, codePage);
        if (!encoded) {
            return refusedSaying(" holds characters that " + std::string(encodingName(encoding)) +
                                 " cannot hold: " + unheldCharacters(message.text, codePage) +
                                 ". Please change them or choose another encoding.");
        }
        piece.bytes = std::move(*encoded);
    }
    // The longest text is the last trigger's: the kills only grow.
    std::string longest;
    plan.textFor(lastKills, longest);
    if (longest.size() > kMostMessageBytes) {
        return refusedSaying(
            " makes a text of " + base::withThousands(longest.size()) + " bytes in " +
            std::string(encodingName(encoding)) +
            (plan.eachTriggerOwnText()
                 ? " for the trigger at " + base::withThousands(lastKills) + " kills"
                 : std::string()) +
            ", but a trigger's text holds at most " + base::withThousands(kMostMessageBytes) +
            " bytes. Please shorten it.");
    }
    return plan;
}

base::Outcome<MessagePlan> planForMap(const MessagePlan& planned, TextEncoding shown) {
    if (planned.typed.encoding || shown == TextEncoding::Utf8) {
        return planned; // chosen, or planned in UTF-8 already
    }
    return planMessage(RewardMessage{planned.typed.text, shown}, planned.amount, planned.lastKills,
                       "The message, in " + std::string(encodingName(shown)) +
                           " like the map's strings,");
}

std::uint32_t placeholderAmount(const RecordFields& fields) {
    if (fields.reward.action == kActionSetSwitch) {
        return fields.reward.value + 1; // the editor numbers switches from 1
    }
    return fields.reward.value;
}

std::string messageText(std::string_view typed, std::uint32_t kills, std::uint32_t amount) {
    auto parsed = parse(typed);
    if (!parsed.ok()) {
        return std::string(typed);
    }
    MessagePlan plan;
    plan.amount = amount;
    plan.pieces = std::move(*parsed);
    std::string text;
    plan.textFor(kills, text);
    return text;
}

namespace {

// A text cut into runs of decimal digits and the text between them.
std::vector<std::string_view> digitRuns(std::string_view text) {
    std::vector<std::string_view> runs;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i + 1;
        while (end < text.size() && isDigit(text[end]) == isDigit(text[i])) {
            ++end;
        }
        runs.push_back(text.substr(i, end - i));
        i = end;
    }
    return runs;
}

std::string escapedBraces(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '{' || c == '}') {
            out += c;
        }
    }
    return out;
}

} // namespace

std::optional<std::string> typedFromTexts(std::string_view first, std::uint32_t firstKills,
                                          const std::string_view* second, std::uint32_t secondKills,
                                          std::uint32_t amount) {
    const std::vector<std::string_view> runs = digitRuns(first);
    const std::vector<std::string_view> others =
        second ? digitRuns(*second) : std::vector<std::string_view>{};
    if (second && others.size() != runs.size()) {
        return std::nullopt;
    }
    const std::string kills = std::to_string(firstKills);
    const std::string nextKills = std::to_string(secondKills);
    const std::string amountText = std::to_string(amount);
    std::string typed;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::string_view run = runs[i];
        const bool digits = run[0] >= '0' && run[0] <= '9';
        if (!digits) {
            if (second && others[i] != run) {
                return std::nullopt;
            }
            typed += escapedBraces(run);
        } else if (run == kills && (!second || others[i] == nextKills)) {
            typed += "{kills}";
        } else if (second && others[i] != run) {
            return std::nullopt;
        } else {
            typed += run == amountText ? "{amount}" : std::string(run);
        }
    }
    return typed;
}

std::uint32_t highestTextNumber(const WalkedTrigger& trigger) {
    std::uint32_t highest = 0;
    for (const auto& block : trigger.blocks) {
        if (block.unitProperties) {
            continue;
        }
        const std::uint8_t* slot = trigger.bytes + record::kActions + block.slot * action::kSize;
        highest = std::max(highest, getU32(slot + action::kText));
    }
    return highest;
}

} // namespace trigfile
