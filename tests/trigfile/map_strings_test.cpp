// Map strings: where a number finds its text in STR and STRx sections, and
// how the text's bytes are read.

#include "test_support.h"
#include "trigfile/game_text.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/string_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace trigfile {
// Failures print the text and its encoding rather than the object's bytes.
void PrintTo(const GameText& t, std::ostream* os) {
    *os << '"' << escapedText(t) << "\" (" << encodingName(t.encoding) << ")";
}
} // namespace trigfile

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::section;
using testsupport::stringSection;
using testsupport::operator+;
using trigfile::GameText;
using trigfile::StringTable;
using trigfile::TextEncoding;

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Count 3; string 1 at 8, string 2 at 11 runs to the end without a NUL,
// string 3's offset lies past the end.
const Bytes kStr = bytesOf(std::string("\x03\x00\x08\x00\x0b\x00\xc8\x00hi\x00yo", 13));
// A count of 100 in a section that holds one offset, pointing into the table.
const Bytes kShortTable = {100, 0, 2, 0};
// STRx: 32-bit count 1, offset 8, Korean in UTF-8.
const Bytes kStrx = bytesOf(std::string("\x01\x00\x00\x00\x08\x00\x00\x00\xec\x95\x88\x00", 12));

TEST(StringTable, FindsAStringOnlyWhereTheSectionHoldsIt) {
    const struct {
        const char* name;
        Bytes section;
        StringTable::Width width;
        std::uint32_t number;
        std::optional<std::string> text;
    } cases[] = {
        {"string 0 is no string", kStr, StringTable::Width::Str, 0, std::nullopt},
        {"a string up to its NUL", kStr, StringTable::Width::Str, 1, "hi"},
        {"the last string runs to the end", kStr, StringTable::Width::Str, 2, "yo"},
        {"an offset past the end", kStr, StringTable::Width::Str, 3, std::nullopt},
        {"a number beyond the count", kStr, StringTable::Width::Str, 4, std::nullopt},
        {"an offset into the table", kShortTable, StringTable::Width::Str, 1, "\x02"},
        {"a count the offsets do not fill", kShortTable, StringTable::Width::Str, 2, std::nullopt},
        {"an empty section", {}, StringTable::Width::Str, 1, std::nullopt},
        {"STRx's 32-bit fields", kStrx, StringTable::Width::Strx, 1, "\xec\x95\x88"},
        {"STRx beyond its count", kStrx, StringTable::Width::Strx, 2, std::nullopt},
        {"STR's fields read as STRx", kStr, StringTable::Width::Strx, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        const StringTable table(c.section, c.width);
        const auto got = table.bytes(c.number);
        EXPECT_EQ(got ? std::optional<std::string>(std::string(*got)) : std::nullopt, c.text)
            << c.name;
    }
}

TEST(StringTable, ComesFromStrxWhereAMapHasItAndLaysLaterSectionsOver) {
    const Bytes twoStrings = bytesOf(std::string("\x02\x00\x06\x00\x09\x00"
                                                 "aa\0bb\0",
                                                 12));
    const struct {
        const char* name;
        Bytes data;
        std::vector<std::optional<std::string>> strings; // 1, 2
    } cases[] = {
        {"STR alone", section("STR ", twoStrings), {"aa", "bb"}},
        {"STRx before STR",
         section("STRx", kStrx) + section("STR ", twoStrings),
         {"\xec\x95\x88", std::nullopt}},
        {"STRx after STR",
         section("STR ", twoStrings) + section("STRx", kStrx),
         {"\xec\x95\x88", std::nullopt}},
        {"a later STR changes only the count",
         section("STR ", twoStrings) + section("STR ", {1, 0}),
         {"aa", std::nullopt}},
        {"a longer later STR", section("STR ", {1, 0}) + section("STR ", twoStrings), {"aa", "bb"}},
        {"no string section", section("VER ", {206, 0}), {std::nullopt, std::nullopt}},
    };
    for (const auto& c : cases) {
        const auto read = trigfile::readScenarioTriggers(c.data);
        ASSERT_TRUE(read.ok()) << c.name;
        const auto& strings = read.value().strings;
        for (std::uint32_t n = 1; n <= 2; ++n) {
            const auto got = strings ? strings->bytes(n) : std::nullopt;
            EXPECT_EQ(got ? std::optional<std::string>(std::string(*got)) : std::nullopt,
                      c.strings[n - 1])
                << c.name << ", string " << n;
        }
    }
}

// UTF-8 when the bytes are UTF-8, else CP949, else CP1252.
TEST(GameText, ReadsEachTextInTheFirstEncodingItIsValidIn) {
    const struct {
        const char* name;
        std::string bytes;
        GameText read;
    } cases[] = {
        {"ASCII", "Reinforcements", {"Reinforcements", TextEncoding::Utf8}},
        {"empty", "", {"", TextEncoding::Utf8}},
        {"Korean in UTF-8",
         "\xec\x95\x88\xeb\x85\x95",
         {"\xec\x95\x88\xeb\x85\x95", TextEncoding::Utf8}},
        {"Korean in CP949", "\xbe\xc8\xb3\xe7", {"\xec\x95\x88\xeb\x85\x95", TextEncoding::Korean}},
        {"CP949 with colour codes",
         "\x03\xbe\xc8\x04!",
         {"\x03\xec\x95\x88\x04!", TextEncoding::Korean}},
        {"valid in both: UTF-8 wins", "\xc3\xa9", {"\xc3\xa9", TextEncoding::Utf8}},
        {"Latin in CP1252", "Caf\xe9", {"Caf\xc3\xa9", TextEncoding::Western}},
        {"the euro sign in CP1252", "\x80 5", {"\xe2\x82\xac 5", TextEncoding::Western}},
        {"an unassigned CP1252 byte", "A\x81", {"A\x81", TextEncoding::Unknown}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trigfile::decodeGameText(c.bytes), c.read) << c.name;
    }
}

// A text added to a map goes in the encoding its strings show; a string
// that reads as UTF-8 shows none, as the game reads it alike beside any.
TEST(StringTable, ShowsTheEncodingOfItsStringsThatAreNotUtf8) {
    const std::string korean = "\xbe\xc8\xb3\xe7"; // in CP949
    const struct {
        const char* name;
        Bytes section;
        StringTable::Width width;
        TextEncoding shown;
    } cases[] = {
        {"no strings", {}, StringTable::Width::Str, TextEncoding::Utf8},
        {"ASCII only", stringSection(2, {"hi", "Zerglings"}), StringTable::Width::Str,
         TextEncoding::Utf8},
        {"Korean in UTF-8", stringSection(2, {"hi", "\xec\x95\x88"}), StringTable::Width::Str,
         TextEncoding::Utf8},
        {"Korean in CP949", stringSection(2, {"hi", korean}), StringTable::Width::Str,
         TextEncoding::Korean},
        {"CP949 beside UTF-8", stringSection(4, {"\xec\x95\x88", korean}), StringTable::Width::Strx,
         TextEncoding::Korean},
        {"Latin in CP1252", stringSection(2, {"Caf\xe9"}), StringTable::Width::Str,
         TextEncoding::Western},
        {"CP1252 beside CP949", stringSection(2, {korean, "Caf\xe9"}), StringTable::Width::Str,
         TextEncoding::Western},
        {"bytes of no known encoding", stringSection(2, {"A\x81"}), StringTable::Width::Str,
         TextEncoding::Western},
        {"a count far past the offsets held",
         bytesOf(std::string("\xff\xff\xff\xff\x08\0\0\0", 8) + korean), StringTable::Width::Strx,
         TextEncoding::Korean},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trigfile::encodingShownBy(StringTable(c.section, c.width)), c.shown) << c.name;
    }
}

TEST(GameText, EscapesControlCharactersAndCutsWithoutSplittingOne) {
    const struct {
        const char* name;
        GameText text;
        std::size_t max;
        const char* shown;
    } cases[] = {
        {"line breaks and tabs",
         {"One\r\nTwo\tthree", TextEncoding::Utf8},
         0,
         "One\\r\\nTwo\\tthree"},
        {"colour codes, quotes, backslashes",
         {"\x03Yellow \"so\" a\\b\x7f", TextEncoding::Utf8},
         0,
         "\\x03Yellow \\\"so\\\" a\\\\b\\x7F"},
        {"Korean kept whole",
         {"\xec\x95\x88\xeb\x85\x95", TextEncoding::Korean},
         0,
         "\xec\x95\x88\xeb\x85\x95"},
        {"cut after three characters", {"abcdef", TextEncoding::Utf8}, 3, "abc..."},
        {"an escape and a Korean letter count as one each",
         {"\x03\xec\x95\x88\xeb\x85\x95!", TextEncoding::Utf8},
         2,
         "\\x03\xec\x95\x88..."},
        {"not cut when it fits", {"abc", TextEncoding::Utf8}, 3, "abc"},
        {"bytes of no known encoding", {"A\x81\x82", TextEncoding::Unknown}, 0, "A\\x81\\x82"},
        {"C1 controls, beside the letters after them",
         {"\xc2\x95\xc2\xa0\xc3\xac", TextEncoding::Utf8},
         0,
         "\\u0095\xc2\xa0\xc3\xac"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trigfile::escapedText(c.text, c.max), c.shown) << c.name;
    }
}

} // namespace
