#pragma once

#include "base/outcome.h"
#include "trigfile/game_text.h"
#include "trigfile/trigger_file_reader.h" // kTextBlockSize
#include "trigfile/trigger_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trigfile {

// The most bytes a text of a trigger may have once encoded: a trigger
// file's 2,048-byte text block holds it and its NUL.
inline constexpr std::size_t kMostMessageBytes = kTextBlockSize - 1;

// The message each trigger of a series shows when its reward lands, as the
// user typed it: {kills} stands for the trigger's kill threshold, {amount}
// for its reward, {{ and }} for braces.
struct RewardMessage {
    std::string text; // UTF-8
    // Utf8, Korean or Western; none leaves it to the map: the encoding its
    // strings show (encodingShownBy) where the series is added to a map,
    // else UTF-8.
    std::optional<TextEncoding> encoding;

    // The encoding the message is written in where no map decides it.
    TextEncoding chosenOrUtf8() const { return encoding.value_or(TextEncoding::Utf8); }

    bool operator==(const RewardMessage&) const = default;
};

// The Windows code page of an encoding a message may be written in.
unsigned codePageOf(TextEncoding encoding);

// A message checked against everything a text of the game must be, with its
// fixed pieces already encoded: each trigger's text is these bytes joined
// with the numbers the placeholders stand for.
struct MessagePlan {
    struct Piece {
        enum class Kind { Bytes, Kills, Amount };
        Kind kind = Kind::Bytes;
        std::string bytes; // Bytes: in the message's encoding

        bool operator==(const Piece&) const = default;
    };
    RewardMessage typed;
    std::uint32_t amount = 0; // what {amount} stands for
    std::vector<Piece> pieces;
    std::uint32_t lastKills = 0; // the series' last threshold, which makes the longest text

    // Whether every trigger has a text of its own: with {kills}, each
    // threshold makes another text; without, the series shares one.
    bool eachTriggerOwnText() const;
    // The encoded text of the trigger at `kills`, into out (cleared first).
    void textFor(std::uint32_t kills, std::string& out) const;

    bool operator==(const MessagePlan&) const = default;
};

// The message planned for a series whose last threshold is lastKills, or
// why it cannot be written; `subject` names the message as the front end
// shows it, to open the sentence ("The message in ...", "--message"). A
// placeholder other than {kills} and {amount}, a brace standing alone, text
// that is not UTF-8, a character the encoding cannot hold (each is named)
// and a text longer than kMostMessageBytes once encoded are refused.
base::Outcome<MessagePlan> planMessage(const RewardMessage& message, std::uint32_t amount,
                                       std::uint32_t lastKills, const std::string& subject);

// The message as a map whose strings show `shown` (encodingShownBy) takes
// it: planned again in that encoding where the message leaves its
// encoding to the map, refused where that encoding cannot hold it; as
// planned otherwise.
base::Outcome<MessagePlan> planForMap(const MessagePlan& planned, TextEncoding shown);

// The number {amount} stands for in a series of these fields: the ore (or
// the gas when it is the only reward), the points, or the switch number as
// the editor numbers switches, from 1.
std::uint32_t placeholderAmount(const RecordFields& fields);

// The message's text for one trigger as UTF-8, for people to read; the
// placeholders that do not parse are left as typed.
std::string messageText(std::string_view typed, std::uint32_t kills, std::uint32_t amount);

// The typed message that gives `first` for the trigger at firstKills and,
// when there is a second trigger, `second` for it: numbers that follow the
// kills become {kills}, numbers equal to the amount {amount}, braces {{ and
// }}. Nothing when the texts fit no such pattern.
std::optional<std::string> typedFromTexts(std::string_view first, std::uint32_t firstKills,
                                          const std::string_view* second, std::uint32_t secondKills,
                                          std::uint32_t amount);

// The number of each trigger's text. A trigger file numbers its texts from
// 1, one number per distinct text in order of first use; a series added to
// it numbers its own after the highest number the file already uses, since
// readers of trigger files (PyMS's among them) collect the texts by number
// and keep one text for each. A map's actions name strings of its string
// section, listed one per trigger.
struct TextNumbers {
    std::uint32_t before = 0; // trigger files: the highest number already in use
    // Maps: the number of each trigger's string, or of the one string the
    // series shares.
    std::vector<std::uint32_t> listed;

    // eachOwn: every trigger has a text of its own (MessagePlan::eachTriggerOwnText).
    std::uint32_t of(std::uint32_t index, bool eachOwn) const {
        if (!listed.empty()) {
            return listed[eachOwn ? index : 0];
        }
        return before + 1 + (eachOwn ? index : 0);
    }
};

// The highest text number the actions of one trigger of a trigger file use,
// as a walk through the file meets it: 0 for none.
std::uint32_t highestTextNumber(const WalkedTrigger& trigger);

} // namespace trigfile
