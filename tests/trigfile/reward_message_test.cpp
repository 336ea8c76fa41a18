// A message with each reward: the Display Text Message after the reward,
// its text block or map string, the placeholders and encodings, the
// refusals, and the series read back with its message.

#include "app/box_names.h"
#include "editor_trigger_file.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/add_series.h"
#include "trigfile/reward_message.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/series_recognition.h"
#include "trigfile/series_writer.h"
#include "trigfile/string_table.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_listing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testsupport::operator+;
using testsupport::section;
using testsupport::typed;
using trigfile::RewardMessage;
using trigfile::TextEncoding;

class Collect : public trigfile::ByteSink {
  public:
    void write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
    }
    Bytes bytes;
};

trigfile::KillRewardSettings
withMessage(trigfile::KillRewardSettings s, const std::string& text,
            std::optional<TextEncoding> encoding = TextEncoding::Utf8) {
    s.message = RewardMessage{text, encoding};
    return s;
}

Bytes fileOf(const trigfile::TriggerSeries& series) {
    Collect out;
    EXPECT_TRUE(trigfile::writeSeries(out, series));
    return out.bytes;
}

std::uint32_t u32At(const Bytes& b, std::size_t at) {
    return trigfile::getU32(b.data() + at);
}

// The text of the block after trigger `index` (0: the first of the series).
std::string blockText(const Bytes& file, std::size_t index) {
    const std::size_t at = 8 + 2400 + index * (2400 + 2048) + 2400;
    std::string text(file.begin() + static_cast<std::ptrdiff_t>(at),
                     file.begin() + static_cast<std::ptrdiff_t>(at + 2048));
    return text.substr(0, text.find('\0'));
}

TEST(RewardMessage, EachTriggerShowsItsTextAfterTheRewardWithItsBlockAfterTheRecord) {
    const auto series = testsupport::planOrFail(
        withMessage(typed("5", "15", "37", "100"), "{kills} down: +{amount}"));
    const Bytes file = fileOf(series);
    ASSERT_EQ(file.size(), 8 + 2400 + 3 * (2400 + 2048)) << "the empty first trigger has no block";
    EXPECT_EQ(series.fileSize(), file.size()) << "the size Create announces counts the blocks";
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t record = 8 + 2400 + i * (2400 + 2048);
        const std::size_t slot = record + 320 + 32; // action slot 1, after the ore
        EXPECT_EQ(file[slot + 26], 9) << "Display Text Message, trigger " << i;
        EXPECT_EQ(file[slot + 28], 0x04) << "always display, trigger " << i;
        EXPECT_EQ(u32At(file, slot + 4), i + 1) << "one string number per distinct text";
        for (const std::size_t zero : {0, 8, 12, 16, 20, 24, 25, 27, 29, 30, 31}) {
            EXPECT_EQ(file[slot + zero], 0) << "unused byte " << zero << " of the action";
        }
        EXPECT_EQ(file[slot + 32 + 26], 0) << "nothing after the message";
        const std::string want = std::to_string(5 * (i + 1)) + " down: +100";
        EXPECT_EQ(blockText(file, i), want);
        const std::size_t block = record + 2400;
        EXPECT_TRUE(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(block + want.size()),
                                file.begin() + static_cast<std::ptrdiff_t>(block + 2048),
                                [](std::uint8_t b) { return b == 0; }))
            << "the block is zero-padded, trigger " << i;
    }
}

TEST(RewardMessage, NumbersOneTextPerDistinctTextAndPlacesTheActionAfterTheRewards) {
    const struct {
        const char* name;
        trigfile::KillRewardSettings settings;
        std::size_t slot;
        std::vector<std::uint32_t> numbers;
        std::vector<std::string> texts;
    } cases[] = {
        {"no {kills}: one text for the series",
         withMessage(typed("5", "15", "37", "100"), "+{amount} ore"),
         1,
         {1, 1, 1},
         {"+100 ore", "+100 ore", "+100 ore"}},
        {"ore and gas: after the gas",
         withMessage(typed("2", "4", "37", "100", "25"), "{{{kills}}}"),
         2,
         {1, 2},
         {"{2}", "{4}"}},
        {"gas alone: {amount} is the gas",
         withMessage(typed("1", "1", "37", "0", "30"), "{amount} gas"),
         1,
         {1},
         {"30 gas"}},
        {"switch: {amount} as the editor numbers it",
         withMessage(typed("9", "9", "0", "7", "", trigfile::ActionKind::Switch),
                     "Switch {amount}"),
         1,
         {1},
         {"Switch 7"}},
        {"digits growing past a chunk of records",
         withMessage(typed("1", "1000", "0", "5"), "{kills}"),
         1,
         {},
         {}},
    };
    for (const auto& c : cases) {
        const auto series = testsupport::planOrFail(c.settings);
        const Bytes file = fileOf(series);
        for (std::size_t i = 0; i < c.numbers.size(); ++i) {
            const std::size_t slot = 8 + 2400 + i * (2400 + 2048) + 320 + 32 * c.slot;
            EXPECT_EQ(file[slot + 26], 9) << c.name << ", trigger " << i;
            EXPECT_EQ(u32At(file, slot + 4), c.numbers[i]) << c.name << ", trigger " << i;
            EXPECT_EQ(blockText(file, i), c.texts[i]) << c.name << ", trigger " << i;
        }
        if (c.numbers.empty()) {
            for (const std::size_t i : {0, 8, 9, 98, 99, 447, 448, 449, 999}) {
                EXPECT_EQ(blockText(file, i), std::to_string(i + 1)) << c.name << ", trigger " << i;
            }
        }
    }
}

TEST(RewardMessage, WritesTheTextInTheChosenEncoding) {
    const struct {
        const char* name;
        std::string text;
        TextEncoding encoding;
        std::string bytes;
    } cases[] = {
        {"UTF-8", "\xec\x95\x88\xeb\x85\x95 {kills}", TextEncoding::Utf8,
         "\xec\x95\x88\xeb\x85\x95 3"},
        {"CP949", "\xec\x95\x88\xeb\x85\x95 {kills}", TextEncoding::Korean, "\xbe\xc8\xb3\xe7 3"},
        {"CP1252", "Caf\xc3\xa9 \xe2\x82\xac{kills}", TextEncoding::Western,
         "Caf\xe9 \x80"
         "3"},
    };
    for (const auto& c : cases) {
        const auto series =
            testsupport::planOrFail(withMessage(typed("3", "3", "0", "1"), c.text, c.encoding));
        EXPECT_EQ(blockText(fileOf(series), 0), c.bytes) << c.name;
    }
}

TEST(RewardMessage, RefusesWhatATriggerCannotShowAndSaysWhy) {
    const std::string longest(2047, 'x');
    const struct {
        const char* name;
        std::string text;
        TextEncoding encoding;
        const char* killMax;
        std::string reason; // "" when it is written
    } cases[] = {
        {"2,047 bytes fit", longest, TextEncoding::Utf8, "5", ""},
        {"2,048 bytes do not", longest + "y", TextEncoding::Utf8, "5",
         "The message in the \"Reward message\" dialogue makes a text of 2,048 bytes in UTF-8"},
        {"the last trigger's kills make it too long", std::string(2045, 'x') + "{kills}",
         TextEncoding::Utf8, "100",
         "makes a text of 2,048 bytes in UTF-8 for the trigger at 100 kills"},
        {"a Korean letter in CP1252", "\xec\x95\x88 and \xc3\xa9 and \xec\x95\x88",
         TextEncoding::Western, "5",
         "holds characters that CP1252 cannot hold: \"\xec\x95\x88\" (U+C548)."},
        {"an accent and an emoji in CP949", "\xc3\xa9\xf0\x9f\x98\x80\xec\x95\x88",
         TextEncoding::Korean, "5",
         "CP949 cannot hold: \"\xc3\xa9\" (U+00E9), \"\xf0\x9f\x98\x80\" (U+1F600)."},
        {"an unknown placeholder", "{kill}", TextEncoding::Utf8, "5",
         "has {kill}, which is no placeholder"},
        {"a lone opening brace", "a { b", TextEncoding::Utf8, "5",
         "has a { that opens no placeholder"},
        {"a lone closing brace", "a } b", TextEncoding::Utf8, "5",
         "has a } that closes no placeholder"},
        {"an empty message", "", TextEncoding::Utf8, "5", "is empty"},
        {"bytes that are not UTF-8", "caf\xe9", TextEncoding::Utf8, "5", "is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        const auto plan = trigfile::planSeries(
            trigfile::normalise(withMessage(typed("5", c.killMax, "0", "1"), c.text, c.encoding)),
            boxnames::kBoxNames);
        if (c.reason.empty()) {
            EXPECT_TRUE(plan.ok()) << c.name << ": " << plan.reason();
            continue;
        }
        ASSERT_FALSE(plan.ok()) << c.name;
        EXPECT_TRUE(plan.is(base::Problem::Kind::Refused)) << c.name;
        EXPECT_NE(plan.reason().find(c.reason), std::string::npos)
            << c.name << ": " << plan.reason();
        // Each refusal asks the user once what to do.
        const auto please = plan.reason().find("Please");
        EXPECT_EQ(plan.reason().find("Please", please + 1), std::string::npos)
            << c.name << ": " << plan.reason();
    }
}

TEST(RewardMessage, WithoutAMessageTheSeriesHasNoTextAtAll) {
    const auto plain = testsupport::planOrFail(typed("5", "50", "37", "100"));
    EXPECT_FALSE(plain.message);
    EXPECT_EQ(fileOf(plain), testsupport::expectedFile(plain))
        << "the reference file of the series without a message";
}

// The texts read back: the listing, Fill the window and show --json see
// the message as typed where one pattern gives every trigger's text.
TEST(RewardMessage, ASeriesReadsBackWithItsMessage) {
    const struct {
        const char* name;
        std::string text;
        TextEncoding encoding;
        const char* kills;
        std::string readAs; // "" when it reads back as typed
    } cases[] = {
        {"kills and amount", "{kills} Zerglings down: +{amount} ore", TextEncoding::Utf8, "50", ""},
        {"braces and a fixed number", "{{7}} {kills}", TextEncoding::Utf8, "50", ""},
        {"CP949", "\xec\x95\x88 {kills}", TextEncoding::Korean, "20", ""},
        {"CP1252", "\xc3\xa9 {amount}", TextEncoding::Western, "20", ""},
        {"one trigger: its kills are {kills}", "5 and 100", TextEncoding::Utf8, "5",
         "{kills} and {amount}"},
    };
    for (const auto& c : cases) {
        const auto series = testsupport::planOrFail(
            withMessage(typed("5", c.kills, "37", "100"), c.text, c.encoding));
        const auto read = trigfile::parseTriggerFileBytes(fileOf(series));
        ASSERT_TRUE(read.ok()) << c.name << ": " << read.reason();
        const auto found = trigfile::findSeries(*read);
        ASSERT_EQ(found.size(), 1u) << c.name << "\n" << trigfile::listTriggers(*read);
        EXPECT_EQ(found[0].series.recordCount, series.recordCount) << c.name;
        const auto settings = trigfile::settingsOfOnlySeries(*read);
        ASSERT_TRUE(settings && settings->message) << c.name;
        EXPECT_EQ(settings->message->text, c.readAs.empty() ? c.text : c.readAs) << c.name;
        EXPECT_EQ(settings->message->encoding, c.encoding) << c.name;
    }
}

TEST(RewardMessage, TextsThatFitNoPatternAreNotOneSeries) {
    // Two triggers of one series whose second text is not the first's
    // pattern at its kills: each is a series of its own.
    const auto series =
        testsupport::planOrFail(withMessage(typed("5", "10", "37", "100"), "{kills} down"));
    Bytes file = fileOf(series);
    const std::size_t secondBlock = 8 + 2400 + (2400 + 2048) + 2400;
    file[secondBlock] = '9'; // "90 down" instead of "10 down"
    const auto read = trigfile::parseTriggerFileBytes(file);
    ASSERT_TRUE(read.ok());
    const auto found = trigfile::findSeries(*read);
    ASSERT_EQ(found.size(), 2u) << trigfile::listTriggers(*read);
    EXPECT_EQ(found[0].series.recordCount, 1u);
}

class AddWithMessage : public testsupport::ScratchFolder {};

TEST_F(AddWithMessage, TextNumbersContinueAfterTheOnesTheFileUses) {
    // PyMS's compiler numbers the file's two texts 1 and 2.
    const fs::path file = folder_ / "Editor.trg";
    const Bytes old = testsupport::editorMessageFile();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    const auto series =
        testsupport::planOrFail(withMessage(typed("5", "10", "37", "100"), "{kills}!"));
    const auto added = trigfile::addToTriggerFile(file, series);
    ASSERT_TRUE(added.ok()) << added.reason();
    const auto read = trigfile::readTriggerFile(file);
    ASSERT_TRUE(read.ok()) << read.reason();
    ASSERT_EQ(read->count(), 3u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        const auto action = trigfile::decodeTrigger(read->record(1 + i)).actions[1];
        EXPECT_EQ(action.text, 3 + i) << "trigger " << i << " of the series";
        const auto* blocks = read->blocksOf(1 + i, 1);
        ASSERT_NE(blocks, nullptr);
        EXPECT_EQ(*blocks->text, std::to_string(5 * (i + 1)) + "!");
    }
}

// Scenario data with a string section and a TRIG section.
Bytes scenario(const Bytes& strings, const char* name = "STR ") {
    return section("VER ", {205, 0}) + section(name, strings) + section("TRIG", {});
}

// STR: count 2, "hi" and "5 down".
const Bytes kTwoStrings =
    testsupport::bytes({2, 0, 6, 0, 9, 0, 'h', 'i', 0, '5', ' ', 'd', 'o', 'w', 'n', 0});

TEST(MapMessage, TheTextsGoIntoTheStringSectionReusingWhatIsThere) {
    const auto series =
        testsupport::planOrFail(withMessage(typed("5", "15", "37", "100"), "{kills} down"));
    const struct {
        const char* name;
        Bytes data;
        std::vector<std::uint32_t> numbers;
        std::uint32_t count;
        std::optional<std::string_view> firstString; // kept as it was
    } cases[] = {
        {"STR: the first text is there", scenario(kTwoStrings), {2, 3, 4}, 4, "hi"},
        {"STRx",
         scenario(testsupport::bytes({1, 0, 0, 0, 8, 0, 0, 0, 0}), "STRx"),
         {2, 3, 4},
         4,
         ""},
        {"no string section: one is made", section("VER ", {205, 0}), {1, 2, 3}, 3, "5 down"},
    };
    for (const auto& c : cases) {
        const auto plan = trigfile::planScenarioAddition(c.data, series);
        ASSERT_TRUE(plan.ok()) << c.name << ": " << plan.reason();
        Collect out;
        ASSERT_TRUE(plan->write(out, series, nullptr));
        EXPECT_EQ(out.bytes.size(), plan->newSize) << c.name;
        const auto read = trigfile::readScenarioTriggers(out.bytes);
        ASSERT_TRUE(read.ok()) << c.name << ": " << read.reason();
        ASSERT_TRUE(read->strings) << c.name;
        EXPECT_EQ(read->strings->count(), c.count) << c.name;
        ASSERT_EQ(read->count(), 3u) << c.name;
        for (std::uint32_t i = 0; i < 3; ++i) {
            const auto action = trigfile::decodeTrigger(read->record(i)).actions[1];
            EXPECT_EQ(action.type, 9) << c.name;
            EXPECT_EQ(action.text, c.numbers[i]) << c.name << ", trigger " << i;
            EXPECT_EQ(read->strings->bytes(action.text),
                      std::optional<std::string_view>(std::to_string(5 * (i + 1)) + " down"))
                << c.name << ", trigger " << i;
        }
        EXPECT_EQ(read->strings->bytes(1), c.firstString) << c.name;
        const auto settings = trigfile::settingsOfOnlySeries(*read);
        ASSERT_TRUE(settings && settings->message) << c.name;
        EXPECT_EQ(settings->message->text, "{kills} down") << c.name;
    }
}

TEST(MapMessage, RefusesBeforeWritingWhenTheStringSectionWouldOverflow) {
    // A STR section of 65,000 bytes: 536 left. Its one string starts in
    // CP949.
    // Made at its size: MinGW's GCC 12 warns falsely about a resize here.
    Bytes full(65'000, 'a');
    const Bytes head = testsupport::bytes({1, 0, 4, 0, 0xbe, 0xc8});
    std::copy(head.begin(), head.end(), full.begin());
    full.back() = 0;
    const struct {
        const char* name;
        const char* kills;
        std::string text;
        std::optional<TextEncoding> encoding; // none: the map's own
        std::string reason;                   // "" when it fits
    } cases[] = {
        {"one text that fits", "500", std::string(500, 'x'), TextEncoding::Utf8, ""},
        {"one text too long for the room", "5", std::string(540, 'x'), TextEncoding::Utf8,
         "The map's STR section has room for 536 more bytes (of 65,536), but the message's "
         "texts need 543."},
        {"a text per trigger", "5000", "{kills}", TextEncoding::Utf8, "room for 536 more bytes"},
        {"a character the map's encoding cannot hold", "5", "caf\xc3\xa9", std::nullopt,
         "The message, in CP949 like the map's strings, holds characters that CP949 cannot "
         "hold: \"\xc3\xa9\" (U+00E9)."},
    };
    for (const auto& c : cases) {
        const auto series = testsupport::planOrFail(
            withMessage(typed("5", c.kills, "37", "100"), c.text, c.encoding));
        const auto plan = trigfile::planScenarioAddition(scenario(full), series);
        if (c.reason.empty()) {
            EXPECT_TRUE(plan.ok()) << c.name << ": " << plan.reason();
            continue;
        }
        ASSERT_FALSE(plan.ok()) << c.name;
        EXPECT_NE(plan.reason().find(c.reason), std::string::npos)
            << c.name << ": " << plan.reason();
    }
}

} // namespace
