#include "editor_trigger_file.h"
#include "maparchive/contained_read.h"
#include "maparchive/map_archive.h"
#include "maparchive/open_triggers.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/scenario_sections.h"
#include "trigfile/trigger_listing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string quotedArg(const fs::path& p) {
    return "'" + p.string() + "'"; // the scratch folder's names hold no quote
}

// Runs smpq in `folder`, so that archive names are the relative paths given.
int smpq(const fs::path& folder, const std::string& args) {
    const std::string command = "cd " + quotedArg(folder) + " && " SMPQ_PROGRAM " -q " + args;
    return std::system(command.c_str());
}

Bytes scenarioWithTriggers() {
    const auto series = testsupport::planOrFail(testsupport::typed("5", "50", "37", "100"));
    const Bytes trg = testsupport::expectedFile(series);
    Bytes chk = {'V', 'E', 'R', ' ', 2, 0, 0, 0, 205, 0};
    const Bytes trig = {'T', 'R', 'I', 'G'};
    chk.insert(chk.end(), trig.begin(), trig.end());
    chk.resize(chk.size() + 4);
    trigfile::putU32(chk.data() + chk.size() - 4, static_cast<std::uint32_t>(trg.size() - 8));
    chk.insert(chk.end(), trg.begin() + 8, trg.end());
    return chk;
}

class MapArchive : public testsupport::ScratchFolder {
  protected:
    // Writes `chk` as staredit\scenario.chk into a new map with smpq.
    fs::path makeMap(const Bytes& chk, const std::string& compression, const std::string& name) {
        fs::create_directories(folder_ / "staredit");
        std::ofstream(folder_ / "staredit" / "scenario.chk", std::ios::binary)
            .write(reinterpret_cast<const char*>(chk.data()),
                   static_cast<std::streamsize>(chk.size()));
        EXPECT_EQ(
            smpq(folder_, "-c -M 1 -C " + compression + " " + name + " staredit/scenario.chk"), 0);
        return folder_ / name;
    }
};

// The reader gives back exactly the scenario data the map was made from, and
// exactly what smpq itself extracts: two readers of the same archive agree.
TEST_F(MapArchive, ReadsTheScenarioDataSmpqStoredAndExtracts) {
    const Bytes chk = scenarioWithTriggers();
    for (const std::string compression : {"none", "PKWARE", "ZLIB"}) {
        const fs::path map = makeMap(chk, compression, "map-" + compression + ".scx");
        const auto read = maparchive::readScenarioData(map);
        ASSERT_TRUE(read.ok()) << compression << ": " << read.reason();
        EXPECT_EQ(read.value(), chk) << compression;

        const fs::path out = folder_ / ("out-" + compression);
        fs::create_directories(out);
        ASSERT_EQ(smpq(out, "-x " + quotedArg(map) + " staredit/scenario.chk"), 0);
        EXPECT_EQ(testsupport::readBytes(out / "staredit" / "scenario.chk"), read.value())
            << compression << ": smpq extracts other bytes than the reader";
        EXPECT_TRUE(trigfile::readScenarioTriggers(read.value()).ok());
    }
}

TEST_F(MapArchive, RefusesWhatItCannotReadWithAReason) {
    const fs::path notAMap = folder_ / "triggers.scm";
    testsupport::writeBytes(notAMap, std::string(5000, 'x'));
    fs::create_directories(folder_ / "folder.scm");
    testsupport::writeBytes(folder_ / "other.txt", "not the scenario");
    ASSERT_EQ(smpq(folder_, "-c -M 1 without.scm other.txt"), 0);
    // A 324-byte archive whose header claims two million hash entries and
    // three billion blocks: StormLib alone would set aside gigabytes for it.
    std::string greedy(324, '\0');
    const std::uint32_t header[8] = {0x1A51504D, 32,    324,      0x00030000,
                                     0x9F,       0x11F, 0x200008, 0xC5521094};
    std::memcpy(greedy.data(), header, sizeof header); // little-endian like the file
    testsupport::writeBytes(folder_ / "greedy.scx", greedy);
    // A sector shift of 93: StormLib's sector size becomes 0 and reading divides by it.
    std::string zeroSectors = greedy;
    zeroSectors[0x0E] = 93;
    zeroSectors[0x18] = zeroSectors[0x1C] = 8;
    zeroSectors[0x19] = zeroSectors[0x1A] = zeroSectors[0x1D] = zeroSectors[0x1E] = 0;
    testsupport::writeBytes(folder_ / "zero-sectors.scx", zeroSectors);
    // A map whose scenario data spans several sectors, with a sector size
    // (byte 14 of the archive header) of 16 MiB: StormLib reads it as one
    // piece and hands back zeros where the data does not unpack.
    Bytes big = scenarioWithTriggers();
    big.resize(big.size() + 20000, 0x5A);
    Bytes shifted = testsupport::readBytes(makeMap(big, "PKWARE", "shifted.scx"));
    shifted[0x0E] = 15;
    std::ofstream(folder_ / "shifted.scx", std::ios::binary)
        .write(reinterpret_cast<const char*>(shifted.data()),
               static_cast<std::streamsize>(shifted.size()));
    const struct {
        fs::path map;
        const char* mustMention;
    } cases[] = {
        {folder_ / "shifted.scx", "damaged"},
        {folder_ / "missing.scm", "missing.scm"},
        {notAMap, "StormLib"},
        {folder_ / "folder.scm", "folder"},
        {folder_ / "without.scm", "scenario.chk"},
        {folder_ / "greedy.scx", "claims more than the file holds"},
        {folder_ / "zero-sectors.scx", "claims more than the file holds"},
    };
    for (const auto& c : cases) {
        const auto read = maparchive::readScenarioData(c.map);
        ASSERT_TRUE(!read.ok()) << c.map;
        EXPECT_NE(read.reason().find(c.mustMention), std::string::npos) << read.reason();
    }
}

// StormLib stops on one of its own checks for scenario data packed with
// LZMA, which StarCraft's maps never use: the reason says so, and StormLib's
// own words about it do not reach the terminal.
TEST_F(MapArchive, ScenarioDataPackedWithLzmaIsRefusedQuietly) {
    const fs::path map = makeMap(scenarioWithTriggers(), "LZMA", "lzma.scx");
    std::fflush(stderr);
    const int terminal = ::dup(2);
    const int captured = ::open((folder_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(captured, 2);
    const auto read = maparchive::readScenarioData(map);
    std::fflush(stderr);
    ::dup2(terminal, 2);
    ::close(terminal);
    ::close(captured);
    ASSERT_TRUE(!read.ok());
    EXPECT_NE(read.reason().find("LZMA"), std::string::npos) << read.reason();
    EXPECT_EQ(testsupport::readBytes(folder_ / "stderr"), Bytes{}) << "printed on the terminal";
}

// A child that waits instead of working (on a named pipe here, on a share
// that stopped answering elsewhere) is ended by the clock.
TEST_F(MapArchive, AChildThatWaitsIsEndedByTheClock) {
    const fs::path pipe = folder_ / "pipe.scx";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    maparchive::ChildLimits limits;
    limits.wallClock = std::chrono::seconds(1);
    const auto start = std::chrono::steady_clock::now();
    const auto read = maparchive::runContained(maparchive::ContainedJob::ReadScenario, pipe, 512,
                                               "\"pipe.scx\"", limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ASSERT_TRUE(!read.ok());
    EXPECT_NE(read.reason().find("took too long"), std::string::npos) << read.reason();
}

using testsupport::section;
using testsupport::operator+;

// A string table: count and offsets of `width` bytes, then the texts, each
// with its NUL; an offset of `outside` for a text given as "".
Bytes stringTable(std::size_t width, const std::vector<std::string>& texts, std::uint32_t outside) {
    Bytes table((texts.size() + 1) * width);
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < width; ++i) {
            table[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(0, static_cast<std::uint32_t>(texts.size()));
    Bytes chars;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].empty()) {
            put((i + 1) * width, outside);
            continue;
        }
        put((i + 1) * width, static_cast<std::uint32_t>(table.size() + chars.size()));
        chars.insert(chars.end(), texts[i].begin(), texts[i].end());
        chars.push_back(0);
    }
    return table + chars;
}

// A trigger whose actions show strings 1 to 4 and 9.
Bytes messages() {
    std::vector<testsupport::EditorAction> actions;
    for (const std::uint32_t string : {1u, 2u, 3u, 4u, 9u}) {
        actions.push_back({actions.size(), 9, string, 0x04});
    }
    return testsupport::editorRecord(actions);
}

const std::string kUtf8 = "\xec\x95\x88\xeb\x85\x95";        // "annyeong" in UTF-8
const std::string kCp949 = "\xbc\xbc\xb0\xe8";               // "segye" in CP949
const std::string kCp949AsUtf8 = "\xec\x84\xb8\xea\xb3\x84"; // the same in UTF-8

// Maps made with smpq, read the way Open and show read them: each message
// shown as its text, from STRx where the map has it, in UTF-8 or CP949,
// and a string that is not there shown by its number.
TEST_F(MapArchive, ListsAMapsMessagesFromItsStrings) {
    const std::vector<std::string> texts = {kUtf8, kCp949, "", "Plain"};
    const Bytes str = section("STR ", stringTable(2, texts, 0xFFFF));
    const Bytes strx = section("STRx", stringTable(4, texts, 0xFFFFFFF0));
    const Bytes junkStr = section("STR ", stringTable(2, {"junk", "junk"}, 0));
    const Bytes trig = section("TRIG", messages());
    const struct {
        const char* name;
        Bytes chk;
    } cases[] = {
        {"Brood War map with STR", section("VER ", {205, 0}) + trig + str},
        {"Remastered map with STRx", section("VER ", {206, 0}) + junkStr + trig + strx},
    };
    int made = 0;
    for (const auto& c : cases) {
        const fs::path map = makeMap(c.chk, "PKWARE", "strings" + std::to_string(++made) + ".scx");
        const auto source = maparchive::triggerSourceOf(map);
        ASSERT_TRUE(source.ok()) << c.name;
        std::ostringstream out;
        ASSERT_TRUE(trigfile::writeListing(**source, out).ok()) << c.name;
        const std::string listing = out.str();
        for (const std::string& line : {
                 "Display text message: \"" + kUtf8 + "\".\n",
                 "Display text message: \"" + kCp949AsUtf8 + "\".\n",
                 std::string("Display text message: string 3 (no such string).\n"),
                 std::string("Display text message: \"Plain\".\n"),
                 std::string("Display text message: string 9 (no such string).\n"),
             }) {
            EXPECT_NE(listing.find(line), std::string::npos) << c.name << ": " << line << listing;
        }
    }
}

TEST_F(MapArchive, ListsAStackedMapsTriggersAsTheGameReadsThem) {
    const Bytes chk = section("VER ", {205, 0}) + section("TRIG", messages()) +
                      section("STR ", stringTable(2, {"first"}, 0)) +
                      section("TRIG", testsupport::editorRecord({{0, 4, 0, 0x04}}));
    const fs::path map = makeMap(chk, "PKWARE", "stacked.scm");
    const auto source = maparchive::triggerSourceOf(map);
    ASSERT_TRUE(source.ok());
    const auto totals = (*source)->walk([](const trigfile::TriggerView&) {});
    ASSERT_TRUE(totals.ok());
    EXPECT_EQ(totals->triggers, 2u);
    EXPECT_EQ(totals->trigSections, 2u);
    std::ostringstream out;
    ASSERT_TRUE(trigfile::writeListing(**source, out).ok());
    const std::string listing = out.str();
    EXPECT_NE(listing.find("The map is stacked"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Trigger 1, for Player 1: 1 condition, 5 actions: \"first\".\n"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("Wait for 0 milliseconds."), std::string::npos) << listing;
}

} // namespace
