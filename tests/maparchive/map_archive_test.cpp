#include "contained_read.h"
#include "map_archive.h"
#include "scenario_sections.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
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
        ASSERT_TRUE(std::holds_alternative<Bytes>(read))
            << compression << ": " << std::get<trigfile::Refusal>(read).reason;
        EXPECT_EQ(std::get<Bytes>(read), chk) << compression;

        const fs::path out = folder_ / ("out-" + compression);
        fs::create_directories(out);
        ASSERT_EQ(smpq(out, "-x " + quotedArg(map) + " staredit/scenario.chk"), 0);
        EXPECT_EQ(testsupport::readBytes(out / "staredit" / "scenario.chk"), std::get<Bytes>(read))
            << compression << ": smpq extracts other bytes than the reader";
        EXPECT_EQ(trigfile::readScenarioTriggers(std::get<Bytes>(read)).index(), 0u);
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
        ASSERT_TRUE(std::holds_alternative<trigfile::Refusal>(read)) << c.map;
        EXPECT_NE(std::get<trigfile::Refusal>(read).reason.find(c.mustMention), std::string::npos)
            << std::get<trigfile::Refusal>(read).reason;
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
    ASSERT_TRUE(std::holds_alternative<trigfile::Refusal>(read));
    EXPECT_NE(std::get<trigfile::Refusal>(read).reason.find("LZMA"), std::string::npos)
        << std::get<trigfile::Refusal>(read).reason;
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
    ASSERT_TRUE(std::holds_alternative<trigfile::Refusal>(read));
    EXPECT_NE(std::get<trigfile::Refusal>(read).reason.find("took too long"), std::string::npos)
        << std::get<trigfile::Refusal>(read).reason;
}

} // namespace
