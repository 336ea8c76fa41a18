#include "base/display_name.h"
#include "editor_trigger_file.h"
#include "safefile/streamed_file.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/decoded_trigger.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::expectedFile;
using testsupport::section;
using testsupport::operator+;
using testsupport::planOrFail;
using testsupport::typed;
using trigfile::ActionKind;
using Bytes = std::vector<std::uint8_t>;

const Bytes& header() {
    static const Bytes h = [] {
        const auto p = trigfile::encodePreamble();
        return Bytes(p.begin(), p.begin() + 8);
    }();
    return h;
}

std::string refusalOf(const trigfile::TriggerFileRead& read) {
    return read.reason();
}

struct ReadCase {
    const char* name;
    Bytes bytes;
    int records; // -1: refused
};

void expectRead(const ReadCase& c, const trigfile::TriggerFileRead& read) {
    if (c.records < 0) {
        EXPECT_FALSE(refusalOf(read).empty()) << c.name << " must be refused with a reason";
    } else {
        ASSERT_TRUE(read.ok()) << c.name << ": " << refusalOf(read);
        EXPECT_EQ(read.value().count(), std::size_t(c.records)) << c.name;
    }
}

TEST(TriggerFileReader, AcceptsOnlyTheHeaderAndWholeRecords) {
    const Bytes record(2400, 0);
    Bytes badSignature = header() + record;
    badSignature[1] = 'W';
    Bytes badValue = header() + record;
    badValue[4] = 25;
    const ReadCase cases[] = {
        {"empty", {}, -1},
        {"shorter than the header", Bytes(header().begin(), header().end() - 1), -1},
        {"wrong signature", badSignature, -1},
        {"wrong header value", badValue, -1},
        {"one byte short", header() + Bytes(2399, 0), -1},
        {"one byte over", header() + record + Bytes(1, 0), -1},
        {"header alone", header(), 0},
        {"header and two records", header() + record + record, 2},
    };
    for (const auto& c : cases) {
        expectRead(c, trigfile::parseTriggerFileBytes(c.bytes));
    }
}

// Files as the editors' compilers write them: each record followed by the
// blocks its actions call for, and nothing that fits no record.
TEST(TriggerFileReader, ReadsTheBlocksAfterEachRecordAndRefusesWhatDoesNotFit) {
    using testsupport::editorRecord;
    using testsupport::textBlock;
    const Bytes message = editorRecord({{0, 9, 1, 0x04}});
    const Bytes properties = editorRecord({{3, 11, 0, 0x0C, 1, 0, 0, 0, 1}});
    const Bytes text = textBlock("Hello");
    const Bytes props = testsupport::propertiesBlock(50, 100, 0, 0);
    const Bytes editorFile = testsupport::editorMessageFile();
    const ReadCase cases[] = {
        {"a message and its text, no empty first record", header() + message + text, 1},
        {"unit properties", header() + properties + props, 1},
        {"the empty record, then a message", header() + Bytes(2400, 0) + message + text, 2},
        {"PyTRG's file: text, properties, text", editorFile, 1},
        {"two triggers, each with its block", header() + message + text + properties + props, 2},
        // An empty slot carries nothing, whatever its string number says.
        {"a string number in an empty slot", header() + editorRecord({{0, 0, 5, 0x08}}), 1},
        {"text block cut short", header() + message + Bytes(text.begin(), text.end() - 1), -1},
        {"text block missing", header() + message, -1},
        {"properties cut short", header() + properties + Bytes(19, 0), -1},
        {"bytes after the last block", header() + message + text + Bytes(5, 0), -1},
        {"properties where a text must be", header() + message + props, -1},
        {"the file cut inside its second block",
         Bytes(editorFile.begin(), editorFile.end() - 2048 - 1), -1},
    };
    for (const auto& c : cases) {
        expectRead(c, trigfile::parseTriggerFileBytes(c.bytes));
    }
}

using TriggerFileOnDisk = testsupport::ScratchFolder;

TEST_F(TriggerFileOnDisk, GivesEachActionItsOwnTextAndProperties) {
    const Bytes file = testsupport::editorMessageFile("Wave 1");
    const auto read = trigfile::parseTriggerFileBytes(file);
    ASSERT_TRUE(read.ok()) << refusalOf(read);
    const auto& records = read.value();
    ASSERT_EQ(records.count(), 1u);
    EXPECT_TRUE(std::equal(records.bytes.begin(), records.bytes.end(), file.begin() + 8))
        << "the record comes back without its blocks";
    const auto* message = records.blocksOf(0, 0);
    const auto* create = records.blocksOf(0, 1);
    const auto* comment = records.blocksOf(0, 2);
    ASSERT_TRUE(message && create && comment);
    EXPECT_EQ(message->text, "Reinforcements are on their way") << "the text ends at its NUL";
    EXPECT_FALSE(message->unitProperties);
    EXPECT_FALSE(create->text);
    ASSERT_TRUE(create->unitProperties);
    EXPECT_EQ(create->unitProperties->hitPoints, 50);
    EXPECT_EQ(create->unitProperties->shields, 100);
    EXPECT_EQ(create->unitProperties->resources, 5000u);
    EXPECT_EQ(create->unitProperties->fieldsUsed, 0x16);
    EXPECT_EQ(create->unitProperties->states, trigfile::kUnitCloaked);
    EXPECT_EQ(comment->text, "Wave 1");
    EXPECT_EQ(records.blocksOf(0, 3), nullptr);

    // The same file on disk reads the same, its records moved over the blocks.
    const auto path = folder_ / "editor.trg";
    testsupport::writeBytes(path, std::string(file.begin(), file.end()));
    const auto fromDisk = trigfile::readTriggerFile(path);
    ASSERT_TRUE(fromDisk.ok()) << refusalOf(fromDisk);
    const auto& diskRecords = fromDisk.value();
    EXPECT_EQ(diskRecords.bytes, records.bytes);
    ASSERT_EQ(diskRecords.blocks.size(), 3u);
    EXPECT_EQ(diskRecords.blocksOf(0, 2)->text, "Wave 1");
}

// A file read a buffer at a time is refused for the same reason, naming the
// same trigger and byte, as the same bytes read whole, wherever the cut falls
// against the buffer's edge; and a whole one gives the same records.
TEST_F(TriggerFileOnDisk, ReadInBuffersRefusesACutWhereverItFalls) {
    const Bytes message = testsupport::editorRecord({{0, 9, 1, 0x04}});
    const Bytes text = testsupport::textBlock("Hello");
    Bytes whole = header();
    while (whole.size() < safefile::ByteWindow::kBufferSize + 3 * (message.size() + text.size())) {
        whole = whole + message + text;
    }
    const std::size_t edge = safefile::ByteWindow::kBufferSize;
    const std::size_t cuts[] = {whole.size(),
                                whole.size() - 1,
                                edge - 1,
                                edge,
                                edge + 1,
                                edge + 2400 + 2047,
                                8 + 2399,
                                8,
                                whole.size() - 2048 - 5};
    for (const std::size_t cut : cuts) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const Bytes bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto path = folder_ / "cut.trg";
        testsupport::writeBytes(path, std::string(bytes.begin(), bytes.end()));
        const auto read = trigfile::parseTriggerFileBytes(bytes);
        std::size_t visited = 0;
        std::size_t sameTexts = 0;
        auto walked = trigfile::triggerFileSource(path)->walk([&](const trigfile::TriggerView& t) {
            ++visited;
            sameTexts += t.blocks.size() == 1 && t.blocks[0].text == "Hello";
        });
        if (read.ok()) {
            ASSERT_TRUE(walked.ok()) << walked.reason();
            EXPECT_EQ(walked->triggers, read->count());
            EXPECT_EQ(sameTexts, read->count()) << "each trigger comes with its own text";
        } else {
            ASSERT_FALSE(walked.ok()) << "a file cut short must be refused";
            EXPECT_EQ(walked.reason(), base::displayName(path) + ": " + read.reason());
        }
    }
}

TEST(ScenarioSections, SkipsUnknownSectionsAndRefusesTricks) {
    const Bytes record(2400, 7);
    const ReadCase cases[] = {
        {"no sections", {}, 0},
        {"no TRIG", section("VER ", {205, 0}) + section("DIM ", Bytes(4, 1)), 0},
        {"TRIG between others",
         section("VER ", {205, 0}) + section("TRIG", record + record) + section("STR ", Bytes(9)),
         2},
        {"empty TRIG", section("TRIG", {}), 0},
        {"TRIG of a half record", section("TRIG", Bytes(1200)), -1},
        {"size past the end", section("TRIG", record, 4800), -1},
        {"size near 4 GiB", section("VER ", {1, 2}, 0xFFFFFFFF), -1},
        {"ends inside a header", section("VER ", {205, 0}) + Bytes{'T', 'R', 'I'}, -1},
        {"two TRIG sections, read one after the other",
         section("TRIG", record) + section("STR ", Bytes(4)) + section("TRIG", record + record), 3},
        {"too many sections",
         [] {
             Bytes many;
             for (std::size_t i = 0; i <= trigfile::kMaxSections; ++i) {
                 const Bytes junk = section("JUNK", {});
                 many.insert(many.end(), junk.begin(), junk.end());
             }
             return many;
         }(),
         -1},
    };
    for (const auto& c : cases) {
        expectRead(c, trigfile::readScenarioTriggers(c.bytes));
        // The same data passing by three bytes at a time, as a map's new data
        // is checked without being held: the same sections or refusal.
        trigfile::SectionHeaderCollector passing;
        for (std::size_t at = 0; at < c.bytes.size(); at += 3) {
            passing.add(
                std::span(c.bytes).subspan(at, std::min<std::size_t>(3, c.bytes.size() - at)));
        }
        const auto whole = trigfile::parseScenarioSections(c.bytes);
        const auto streamed = passing.sections();
        EXPECT_EQ(streamed.reason(), whole.reason()) << c.name;
        EXPECT_EQ(streamed.ok() ? streamed->size() : 0, whole.ok() ? whole->size() : 0) << c.name;
    }
}

TEST(ScenarioSections, CoverTheDataSoOneCanBeReplacedAndTheRestKept) {
    const Bytes data =
        section("VER ", {205, 0}) + section("TRIG", Bytes(2400, 1)) + section("\x01zz ", Bytes(3));
    const auto parsed = trigfile::parseScenarioSections(data);
    ASSERT_TRUE(parsed.ok());
    const auto& sections = parsed.value();
    ASSERT_EQ(sections.size(), 3u);
    std::size_t at = 0;
    for (const auto& s : sections) {
        EXPECT_EQ(s.offset, at) << "sections must follow one another without a gap";
        at = s.end();
    }
    EXPECT_EQ(at, data.size());
    EXPECT_TRUE(sections[1].isNamed("TRIG"));
    EXPECT_EQ(sections[1].dataOffset(), 8u + 2 + 8);
    EXPECT_EQ(trigfile::sectionNameText(sections[2].name), "\\x01zz ");
}

// What the encoder writes, the reader gives back field by field.
TEST(DecodedTrigger, ReadsBackWhatTheEncoderWrote) {
    auto score = typed("5", "12", "37", "1000", "", ActionKind::Score);
    score.scoreKind = 5;
    score.forces[1] = trigfile::CheckValue::Ticked;
    const trigfile::KillRewardSettings cases[] = {
        typed("5", "12", "0", "70000", "50"),
        score,
        typed("3", "3", "230", "256", "", ActionKind::Switch),
    };
    for (const auto& s : cases) {
        const auto series = planOrFail(s);
        const auto read = trigfile::parseTriggerFileBytes(expectedFile(series));
        ASSERT_TRUE(read.ok()) << refusalOf(read);
        const auto& records = read.value();
        ASSERT_EQ(records.count(), series.recordCount + 1u);
        EXPECT_EQ(trigfile::decodeTrigger(records.record(0)), trigfile::DecodedTrigger{})
            << "the leading trigger is empty";
        for (std::uint32_t k = 0; k < series.recordCount; ++k) {
            const auto t = trigfile::decodeTrigger(records.record(k + 1));
            const auto& kill = t.conditions[0];
            EXPECT_EQ(kill.quantity, series.threshold(k));
            EXPECT_EQ(kill.unitType, series.fields.unitId);
            EXPECT_EQ(kill.playerGroup, trigfile::kCurrentPlayer);
            EXPECT_EQ(kill.type, trigfile::kConditionKill);
            EXPECT_EQ(kill.flags, trigfile::kConditionUnitTypeUsed);
            const auto asWritten = [](const trigfile::DecodedAction& a) {
                return trigfile::ActionFields{a.playerGroup, a.amountOrSwitch,  a.resourceOrScore,
                                              a.type,        a.modifierOrState, a.flags};
            };
            EXPECT_EQ(asWritten(t.actions[0]), series.fields.reward);
            EXPECT_EQ(asWritten(t.actions[1]),
                      series.fields.extraGas.value_or(trigfile::ActionFields{}));
            EXPECT_EQ(t.executionTable, series.fields.executionTable);
        }
    }
}

// Each byte of a record lands in exactly one decoded field: no byte is
// dropped and no two fields overlap.
TEST(DecodedTrigger, EveryByteOfTheRecordLandsInOneField) {
    const trigfile::DecodedTrigger zero{};
    for (std::size_t i = 0; i < trigfile::kRecordSize; ++i) {
        trigfile::TriggerRecord r{};
        r[i] = 0xA5;
        const auto t = trigfile::decodeTrigger(r);
        int changed = 0;
        for (std::size_t k = 0; k < t.conditions.size(); ++k) {
            const auto &c = t.conditions[k], &z = zero.conditions[k];
            changed += (c.location != z.location) + (c.playerGroup != z.playerGroup) +
                       (c.quantity != z.quantity) + (c.unitType != z.unitType) +
                       (c.comparison != z.comparison) + (c.type != z.type) +
                       (c.resourceType != z.resourceType) + (c.flags != z.flags) +
                       (c.reserved != z.reserved);
        }
        for (std::size_t k = 0; k < t.actions.size(); ++k) {
            const auto &a = t.actions[k], &z = zero.actions[k];
            changed += (a.location != z.location) + (a.text != z.text) + (a.sound != z.sound) +
                       (a.time != z.time) + (a.playerGroup != z.playerGroup) +
                       (a.amountOrSwitch != z.amountOrSwitch) +
                       (a.resourceOrScore != z.resourceOrScore) + (a.type != z.type) +
                       (a.modifierOrState != z.modifierOrState) + (a.flags != z.flags) +
                       (a.padding != z.padding);
        }
        changed += (t.executionFlags != 0) + (t.executionTable != zero.executionTable);
        ASSERT_EQ(changed, 1) << "record byte " << i;
    }
}

} // namespace
