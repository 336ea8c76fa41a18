// Adding a series to maps the tests build: the old triggers and every other
// section keep their bytes, the new records are exactly those Create writes,
// the archive stores the new scenario data the way it stored the old, the
// original is kept as a backup, and a map that cannot be read safely is
// never written.

#include "base/display_name.h"
#include "map_builder.h"
#include "maparchive/add_to_map.h"
#include "maparchive/map_archive.h"
#include "maparchive/scenario_replace.h"
#include "trigfile/series_recognition.h"

#include <gtest/gtest.h>

#include <StormLib.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace {

namespace fs = std::filesystem;
using testsupport::appendSection;
using testsupport::Bytes;
using testsupport::namesIn;
using testsupport::packMap;
using testsupport::readBytes;
using testsupport::seriesRecords;
using Kind = base::Problem::Kind;

const trigfile::TriggerSeries& oldSeries() {
    static const auto s = testsupport::planOrFail(testsupport::typed("5", "15", "37", "100"));
    return s;
}

const trigfile::TriggerSeries& newSeries() {
    static const auto s = [] {
        auto settings = testsupport::typed("2", "600", "0", "7", "", trigfile::ActionKind::Score);
        settings.scoreKind = 5;
        settings.players[0] = trigfile::CheckValue::Cleared;
        settings.forces[1] = trigfile::CheckValue::Ticked;
        return testsupport::planOrFail(settings);
    }();
    return s;
}

// Terrain that compresses well, so that even a map without triggers shows
// how the archive compresses its scenario data.
const Bytes kTiles = [] {
    Bytes tiles(8192);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        tiles[i] = static_cast<std::uint8_t>(i % 7);
    }
    return tiles;
}();

// Scenario data with sections before and after the triggers.
Bytes scenario(bool withTriggers, const Bytes& extraTrig = {}) {
    Bytes chk;
    appendSection(chk, "VER ", {205, 0});
    appendSection(chk, "DIM ", {64, 0, 64, 0});
    appendSection(chk, "MTXM", kTiles);
    if (withTriggers) {
        Bytes trig = seriesRecords(oldSeries());
        trig.insert(trig.end(), extraTrig.begin(), extraTrig.end());
        appendSection(chk, "TRIG", trig);
    }
    appendSection(chk, "STR ", {1, 0, 4, 0, 'h', 'i', 0, 0});
    return chk;
}

// What the scenario data must be after the add: the TRIG section grown by
// the new records, made at the end if there was none.
Bytes scenarioAfter(bool hadTriggers) {
    Bytes chk;
    appendSection(chk, "VER ", {205, 0});
    appendSection(chk, "DIM ", {64, 0, 64, 0});
    appendSection(chk, "MTXM", kTiles);
    Bytes trig = hadTriggers ? seriesRecords(oldSeries()) : Bytes{};
    const Bytes added = seriesRecords(newSeries());
    trig.insert(trig.end(), added.begin(), added.end());
    if (hadTriggers) {
        appendSection(chk, "TRIG", trig);
    }
    appendSection(chk, "STR ", {1, 0, 4, 0, 'h', 'i', 0, 0});
    if (!hadTriggers) {
        appendSection(chk, "TRIG", trig);
    }
    return chk;
}

const Bytes kSound = Bytes(3000, 0x5A);

class AddToMap : public testsupport::ScratchFolder {
  protected:
    fs::path archive(const std::string& name, const Bytes& chk, const std::string& options) {
        const fs::path map =
            packMap(folder_, name, {{"staredit/scenario.chk", chk}, {"staredit/wav/a.wav", kSound}},
                    options);
        EXPECT_FALSE(map.empty()) << "smpq could not pack " << name;
        return map;
    }
};

struct Storage {
    const char* smpqOptions;
    std::uint32_t flags; // as StormLib reports them, storage bits only
    std::uint32_t compression;
};

// The game's editor stores scenario data PKWARE-compressed and encrypted
// with an adjusted key; other tools use the rest.
const Storage kStorages[] = {
    {"-C PKWARE -E -F", MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY,
     MPQ_COMPRESSION_PKWARE},
    {"-C PKWARE", MPQ_FILE_COMPRESS, MPQ_COMPRESSION_PKWARE},
    {"-C ZLIB -E", MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED, MPQ_COMPRESSION_ZLIB},
    {"-C BZIP2", MPQ_FILE_COMPRESS, MPQ_COMPRESSION_BZIP2},
    {"-C IMPLODE", MPQ_FILE_IMPLODE, 0},
    {"-C PKWARE -U", MPQ_FILE_COMPRESS | MPQ_FILE_SINGLE_UNIT, MPQ_COMPRESSION_PKWARE},
    {"-C none", 0, 0},
};

TEST_F(AddToMap, EveryStorageKeepsItsShapeTheOldBytesAndABackup) {
    for (const Storage& storage : kStorages) {
        for (const bool hadTriggers : {true, false}) {
            SCOPED_TRACE(std::string(storage.smpqOptions) + (hadTriggers ? "" : ", no TRIG"));
            const fs::path map = archive("Castle.scx", scenario(hadTriggers), storage.smpqOptions);
            const maparchive::StoredAs before = maparchive::scenarioStorage(map);
            ASSERT_EQ(before.flags, storage.flags) << "smpq stored it otherwise than expected";
            if (storage.compression != 0) {
                ASSERT_EQ(before.compression, storage.compression);
            }
            const Bytes original = readBytes(map);

            const trigfile::AddOutcome outcome = maparchive::addSeries(map, newSeries());
            ASSERT_TRUE(outcome.ok()) << outcome.reason();
            EXPECT_EQ(outcome->backup, folder_ / "Castle.before-tallyforge.scx");
            EXPECT_EQ(readBytes(outcome->backup), original) << "the backup is the map as it was";

            const auto read = maparchive::readScenarioData(map);
            ASSERT_TRUE(read.ok());
            EXPECT_TRUE(read.value() == scenarioAfter(hadTriggers))
                << "old sections and triggers byte for byte, then exactly Create's records";

            const maparchive::StoredAs after = maparchive::scenarioStorage(map);
            EXPECT_EQ(after.flags, before.flags);
            EXPECT_EQ(after.compression, before.compression);
            EXPECT_EQ(after.locale, before.locale);

            // smpq, reading through StormLib on its own, sees the same data
            // and the other file as it was.
            const fs::path out = folder_ / "out";
            fs::create_directories(out);
            ASSERT_EQ(testsupport::smpq(out, "-x " + testsupport::quotedArg(map)), 0);
            EXPECT_TRUE(readBytes(out / "staredit" / "scenario.chk") == scenarioAfter(hadTriggers));
            EXPECT_TRUE(readBytes(out / "staredit" / "wav" / "a.wav") == kSound);
            fs::remove_all(out);
            fs::remove(outcome->backup);
            fs::remove(map);
        }
    }
}

// A series with a message: its texts join the map's string section, which
// smpq and our reader both read back with the text as typed.
TEST_F(AddToMap, AMessageGoesIntoTheStringSectionInTheSameWrite) {
    using trigfile::TextEncoding;
    const struct {
        const char* name;
        const char (&section)[5];
        std::size_t width;
        std::optional<TextEncoding> chosen; // none: left to the map
        std::string old;                    // the string the map holds
        TextEncoding written;
        std::vector<std::string> texts; // as the map must hold them
    } cases[] = {
        {"UTF-8 in STR",
         "STR ",
         2,
         TextEncoding::Utf8,
         "hi",
         TextEncoding::Utf8,
         {"5 \xec\x95\x88 +7", "10 \xec\x95\x88 +7"}},
        {"CP949 in STRx",
         "STRx",
         4,
         TextEncoding::Korean,
         "hi",
         TextEncoding::Korean,
         {"5 \xbe\xc8 +7", "10 \xbe\xc8 +7"}},
        {"left to a map whose strings are CP949",
         "STR ",
         2,
         std::nullopt,
         "\xbe\xc8\xb3\xe7",
         TextEncoding::Korean,
         {"5 \xbe\xc8 +7", "10 \xbe\xc8 +7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto settings = testsupport::typed("5", "10", "0", "7");
        settings.message = trigfile::RewardMessage{"{kills} \xec\x95\x88 +{amount}", c.chosen};
        const auto series = testsupport::planOrFail(settings);
        const auto chk = [&](const Bytes& trig, const std::vector<std::string>& strings) {
            Bytes data;
            appendSection(data, "VER ", {205, 0});
            appendSection(data, "TRIG", trig);
            appendSection(data, c.section, testsupport::stringSection(c.width, strings));
            appendSection(data, "MTXM", kTiles);
            return data;
        };
        const fs::path map =
            archive("Told.scx", chk(seriesRecords(oldSeries()), {c.old}), "-C PKWARE -E -F");
        const trigfile::AddOutcome outcome = maparchive::addSeries(map, series);
        ASSERT_TRUE(outcome.ok()) << outcome.reason();

        Bytes trig = seriesRecords(oldSeries());
        const Bytes added = testsupport::seriesRecordsNaming(series, 2);
        trig.insert(trig.end(), added.begin(), added.end());
        const Bytes expected = chk(trig, {c.old, c.texts[0], c.texts[1]});
        const auto read = maparchive::readScenarioData(map);
        ASSERT_TRUE(read.ok()) << read.reason();
        EXPECT_TRUE(read.value() == expected) << "the records name strings 2 and 3, added after "
                                                 "the map's own";
        const auto triggers = trigfile::readScenarioTriggers(*read);
        ASSERT_TRUE(triggers.ok());
        const auto found = trigfile::findSeries(*triggers);
        ASSERT_EQ(found.size(), 2u);
        ASSERT_TRUE(found[1].series.message);
        EXPECT_EQ(found[1].series.message->typed,
                  (trigfile::RewardMessage{settings.message->text, c.written}))
            << "read back as typed";

        const fs::path out = folder_ / "out";
        fs::create_directories(out);
        ASSERT_EQ(testsupport::smpq(out, "-x " + testsupport::quotedArg(map)), 0);
        EXPECT_TRUE(readBytes(out / "staredit" / "scenario.chk") == expected) << "smpq's view";
        fs::remove_all(out);
        fs::remove(outcome->backup);
        fs::remove(map);
    }
}

TEST_F(AddToMap, TheArchiveIsCompactedSoTheOldDataLeavesNoSpace) {
    // Data that compresses badly makes any leftover plain in the size.
    Bytes noise(200'000);
    std::uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    Bytes chk = scenario(true);
    appendSection(chk, "MTXM", noise);
    const fs::path map = archive("Noise.scm", chk, "-C PKWARE -E -F");
    const auto before = fs::file_size(map);
    ASSERT_TRUE(maparchive::addSeries(map, newSeries()).ok());
    // The new records compress to little; a second copy of the noise would
    // add 200,000 bytes.
    EXPECT_LT(fs::file_size(map), before + 100'000);
}

// What StormLib is handed differs in one byte from what the add meant to
// store: the map read back does not match, so it is not put in place.
TEST_F(AddToMap, AStoredResultThatDiffersInOneByteIsRefused) {
    constexpr std::size_t kFlipAt = 5'000; // inside the terrain
    class FlipsOneByte : public safefile::ByteSink {
      public:
        explicit FlipsOneByte(safefile::ByteSink& next) : next_(next) {}
        void write(const std::uint8_t* data, std::size_t size) override {
            Bytes bytes(data, data + size);
            if (at_ <= kFlipAt && kFlipAt < at_ + size) {
                bytes[kFlipAt - at_] ^= 0x10;
            }
            at_ += size;
            next_.write(bytes.data(), bytes.size());
        }

      private:
        safefile::ByteSink& next_;
        std::size_t at_ = 0;
    };
    const fs::path map = archive("Castle.scx", scenario(true), "-C PKWARE -E -F");
    const Bytes before = readBytes(map);
    const trigfile::AddOutcome outcome =
        maparchive::addSeries(map, newSeries(), nullptr, [](safefile::ByteSink& next) {
            return std::make_unique<FlipsOneByte>(next);
        });
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.reason(), "Could not change " + base::displayName(map) +
                                    ": the rebuilt map did not read back as written. It was "
                                    "left as it was.");
    EXPECT_TRUE(readBytes(map) == before);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

TEST_F(AddToMap, ScenarioFilesAndTriggerFilesGrowTheSameWay) {
    const fs::path chk = folder_ / "Castle.chk";
    std::ofstream(chk, std::ios::binary)
        .write(reinterpret_cast<const char*>(scenario(true).data()),
               static_cast<std::streamsize>(scenario(true).size()));
    const trigfile::AddOutcome chkOutcome = maparchive::addSeries(chk, newSeries());
    ASSERT_TRUE(chkOutcome.ok()) << chkOutcome.reason();
    EXPECT_TRUE(readBytes(chk) == scenarioAfter(true));
    EXPECT_TRUE(readBytes(chkOutcome->backup) == scenario(true));
    EXPECT_EQ(chkOutcome->triggersAfter, oldSeries().recordCount + newSeries().recordCount);

    const fs::path trg = folder_ / "Old.trg";
    const Bytes oldFile = testsupport::expectedFile(oldSeries());
    std::ofstream(trg, std::ios::binary)
        .write(reinterpret_cast<const char*>(oldFile.data()),
               static_cast<std::streamsize>(oldFile.size()));
    const trigfile::AddOutcome trgOutcome = maparchive::addSeries(trg, newSeries());
    ASSERT_TRUE(trgOutcome.ok()) << trgOutcome.reason();
    Bytes expected = oldFile;
    const Bytes added = seriesRecords(newSeries());
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_TRUE(readBytes(trg) == expected) << "no second empty first trigger";
    EXPECT_EQ(trgOutcome->backup, folder_ / "Old.before-tallyforge.trg");
    EXPECT_TRUE(readBytes(trgOutcome->backup) == oldFile) << "the backup is the file as it was";
    EXPECT_EQ(namesIn(folder_),
              (std::vector<std::string>{"Castle.before-tallyforge.chk", "Castle.chk",
                                        "Old.before-tallyforge.trg", "Old.trg"}))
        << "each is backed up the same way, with no leftover";
}

TEST_F(AddToMap, CountsTheTriggersEachOwnerAlreadyHas) {
    const fs::path map = archive("Castle.scx", scenario(true), "-C PKWARE -E -F");
    const trigfile::Inspection inspection = maparchive::inspectTarget(map);
    ASSERT_TRUE(inspection.ok());
    const auto& counts = inspection.value();
    EXPECT_EQ(counts.triggers, 3u);
    EXPECT_EQ(counts.perPlayer[0], 3u);
    EXPECT_EQ(counts.perPlayer[1], 0u);
    // Force 2 owns the new series, Player 1 the old one: without a FORC
    // section Player 1 may be in Force 2, so they add up.
    EXPECT_EQ(trigfile::mostTriggersForOnePlayer(counts, newSeries()),
              3u + newSeries().recordCount);
}

// Maps that cannot be read safely: each is refused with a reason, and the
// folder is exactly as it was (no copy, no backup, the map untouched).
// A version 1 header that says a later version, as map protectors make
// them: the game, and the listing, read it as version 1; StormLib would
// change it as the version it says, so the add is refused for that reason,
// before anything is written.
class HeaderVersion : public AddToMap, public testing::WithParamInterface<std::uint8_t> {};

TEST_P(HeaderVersion, AHeaderThatSaysALaterVersionIsListedButNotChanged) {
    const fs::path map = archive("Castle.scx", scenario(true), "-C PKWARE -E -F");
    Bytes bytes = readBytes(map);
    bytes[0x0C] = static_cast<std::uint8_t>(GetParam()); // the format version, less one
    std::ofstream(map, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(maparchive::readScenarioData(map).ok());
    const std::string says = "says format version " + std::to_string(GetParam() + 1);
    const trigfile::Inspection inspection = maparchive::inspectTarget(map);
    ASSERT_FALSE(inspection.ok());
    EXPECT_NE(inspection.reason().find(says), std::string::npos) << inspection.reason();
    const trigfile::AddOutcome outcome = maparchive::addSeries(map, newSeries());
    EXPECT_TRUE(outcome.is(Kind::Refused)) << outcome.reason();
    EXPECT_NE(outcome.reason().find(says), std::string::npos) << outcome.reason();
    EXPECT_TRUE(readBytes(map) == bytes);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

INSTANTIATE_TEST_SUITE_P(Versions, HeaderVersion, testing::Values<std::uint8_t>(1, 2, 3));

TEST_F(AddToMap, AMapThatCannotBeReadSafelyIsNeverWritten) {
    Bytes badTrig = scenario(true, Bytes(100, 1)); // TRIG not whole records
    Bytes pastEnd = scenario(true);
    trigfile::putU32(pastEnd.data() + 4, 0x7FFFFFFF); // VER runs past the end
    Bytes twoTrigs = scenario(true);
    appendSection(twoTrigs, "TRIG", seriesRecords(oldSeries()));

    std::vector<fs::path> maps = {
        archive("BadTrig.scx", badTrig, "-C PKWARE -E -F"),
        archive("PastEnd.scm", pastEnd, "-C PKWARE"),
        archive("TwoTrigs.scx", twoTrigs, "-C ZLIB"),
        packMap(folder_, "NoScenario.scx", {{"staredit/wav/a.wav", kSound}}, "-C PKWARE"),
    };
    // A good map cut short, and one with bytes flipped in its tables and data.
    const fs::path good = archive("Good.scx", scenario(true), "-C PKWARE -E -F");
    Bytes bytes = readBytes(good);
    for (const std::size_t keep : {bytes.size() / 2, std::size_t{40}}) {
        const fs::path cut = folder_ / ("Cut" + std::to_string(keep) + ".scx");
        std::ofstream(cut, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(keep));
        maps.push_back(cut);
    }
    std::uint32_t x = 7;
    for (int round = 0; round < 40; ++round) {
        Bytes fuzzed = bytes;
        for (int flips = 0; flips < 4; ++flips) {
            x = x * 1103515245u + 12345u;
            fuzzed[32 + x % (fuzzed.size() - 32)] ^= static_cast<std::uint8_t>(1u << (x >> 29));
        }
        const fs::path f = folder_ / ("Fuzzed" + std::to_string(round) + ".scx");
        std::ofstream(f, std::ios::binary)
            .write(reinterpret_cast<const char*>(fuzzed.data()),
                   static_cast<std::streamsize>(fuzzed.size()));
        maps.push_back(f);
    }

    auto triggersOf = [](const fs::path& map) {
        const auto read = maparchive::readScenarioData(map);
        EXPECT_TRUE(read.ok()) << map;
        const trigfile::TriggerFileRead records =
            read.ok() ? trigfile::readScenarioTriggers(read.value())
                      : trigfile::TriggerFileRead(base::Problem::refused("unread"));
        EXPECT_TRUE(records.ok()) << map;
        return records.ok() ? records.value().bytes : Bytes{};
    };
    int added = 0;
    for (const fs::path& map : maps) {
        const auto names = namesIn(folder_);
        const Bytes before = readBytes(map);
        const trigfile::AddOutcome outcome = maparchive::addSeries(map, newSeries());
        if (outcome.ok()) {
            // A flip that leaves the map readable (in unused space, in stored
            // terrain, in the list of names) is a map like any other: its
            // triggers, whatever they are, must be followed by the series.
            ++added;
            Bytes expected = triggersOf(outcome->backup);
            const Bytes records = seriesRecords(newSeries());
            expected.insert(expected.end(), records.begin(), records.end());
            EXPECT_TRUE(triggersOf(map) == expected) << map;
            fs::rename(outcome->backup, map);
            continue;
        }
        EXPECT_FALSE(outcome.reason().empty()) << map;
        EXPECT_TRUE(readBytes(map) == before) << map;
        EXPECT_EQ(namesIn(folder_), names) << map << ": " << outcome.reason();
    }
    EXPECT_LT(added, 40) << "the fuzzed maps must include some that are refused";
}

} // namespace
