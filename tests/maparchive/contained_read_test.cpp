// The map reader on every system, Windows included, where its child process
// is the test program started again: maps made here with StormLib's own
// writer come back whole, and what StormLib refuses comes back as a reason.

#include "maparchive/contained_read.h"
#include "maparchive/map_archive.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/content_hash.h"

#include <gtest/gtest.h>

#include <StormLib.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <type_traits>
#include <variant>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

template <typename Char> std::basic_string<Char> stormName(const fs::path& p) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        return p.wstring();
    } else {
        return p.string();
    }
}

// A map holding `files` (name in the archive -> bytes), stored as the game's
// editor stores scenario data: PKWARE-compressed and encrypted.
bool makeMap(const fs::path& map, const std::vector<std::pair<const char*, Bytes>>& files) {
    HANDLE archive = nullptr;
    if (!SFileCreateArchive(stormName<TCHAR>(map).c_str(), MPQ_CREATE_ARCHIVE_V1, 16, &archive)) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, bytes] : files) {
        HANDLE file = nullptr;
        ok = ok &&
             SFileCreateFile(archive, name, 0, static_cast<DWORD>(bytes.size()), 0,
                             MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY, &file) &&
             SFileWriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                            MPQ_COMPRESSION_PKWARE) &&
             SFileFinishFile(file);
    }
    return SFileCloseArchive(archive) && ok;
}

Bytes scenario() {
    const Bytes trg = testsupport::expectedFile(
        testsupport::planOrFail(testsupport::typed("5", "50", "37", "100")));
    const std::uint8_t head[] = {'V', 'E', 'R', ' ', 2, 0, 0, 0, 205, 0, 'T', 'R', 'I', 'G'};
    const std::size_t records = trg.size() - 8;
    Bytes chk(sizeof head + 4 + records);
    std::copy(std::begin(head), std::end(head), chk.begin());
    trigfile::putU32(chk.data() + sizeof head, static_cast<std::uint32_t>(records));
    std::copy(trg.begin() + 8, trg.end(), chk.begin() + sizeof head + 4);
    chk.resize(chk.size() + 9000, 7); // more than one sector
    return chk;
}

class ContainedRead : public testsupport::ScratchFolder {};

TEST_F(ContainedRead, GivesBackTheScenarioDataStormLibStored) {
    const fs::path map = folder_ / "Castle.scx";
    ASSERT_TRUE(makeMap(map, {{"staredit\\scenario.chk", scenario()}}));
    const auto read = maparchive::readScenarioData(map);
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_TRUE(read.value() == scenario());
}

// The check of a map just written: its scenario data, several megabytes of
// it, read and hashed a part at a time in the child, comes back as the size
// and hash of what was stored; data whose sections do not cover it, which
// the plain read gives back, is refused.
TEST_F(ContainedRead, HashesTheScenarioDataAPartAtATime) {
    Bytes terrain(3'000'000);
    for (std::size_t i = 0; i < terrain.size(); ++i) {
        terrain[i] = static_cast<std::uint8_t>((i * 7) % 251 + i / 65536);
    }
    Bytes chk = {'M', 'T', 'X', 'M', 0, 0, 0, 0};
    trigfile::putU32(chk.data() + 4, static_cast<std::uint32_t>(terrain.size()));
    chk.insert(chk.end(), terrain.begin(), terrain.end());
    const Bytes tail = scenario(); // VER and TRIG sections, then 9,000 bytes that are not
    chk.insert(chk.end(), tail.begin(), tail.end() - 9000);
    trigfile::ContentHash expected;
    expected.add(chk);

    const fs::path map = folder_ / "Large.scx";
    ASSERT_TRUE(makeMap(map, {{"staredit\\scenario.chk", chk}}));
    const auto digest = maparchive::hashScenarioData(map);
    ASSERT_TRUE(digest.ok()) << digest.reason();
    EXPECT_EQ(digest->size, chk.size());
    EXPECT_EQ(digest->hash, expected.value());

    const fs::path notSections = folder_ / "Castle.scx";
    ASSERT_TRUE(makeMap(notSections, {{"staredit\\scenario.chk", scenario()}}));
    ASSERT_TRUE(maparchive::readScenarioData(notSections).ok());
    EXPECT_FALSE(maparchive::hashScenarioData(notSections).ok());
}

// The child's refusals travel back as they were made.
TEST_F(ContainedRead, BringsBackWhatStoppedTheChild) {
    const fs::path without = folder_ / "Without.scx";
    ASSERT_TRUE(makeMap(without, {{"staredit\\wav\\a.wav", Bytes(100, 1)}}));
    testsupport::writeBytes(folder_ / "Text.scx", std::string(5000, 'x'));
    const struct {
        maparchive::ContainedJob job;
        fs::path map;
        const char* mentions;
    } cases[] = {
        {maparchive::ContainedJob::ReadScenario, without, "no scenario data"},
        {maparchive::ContainedJob::ReadForWriting, without, "no scenario data"},
        {maparchive::ContainedJob::HashScenario, without, "no scenario data"},
        {maparchive::ContainedJob::ReadScenario, folder_ / "Text.scx", "StormLib"},
    };
    for (const auto& c : cases) {
        const auto read = maparchive::runContained(c.job, c.map, fs::file_size(c.map), "the map");
        ASSERT_TRUE(!read.ok()) << c.map;
        const std::string& reason = read.reason();
        EXPECT_NE(reason.find(c.mentions), std::string::npos) << reason;
        EXPECT_EQ(reason.find("memory"), std::string::npos) << reason;
    }
}

} // namespace
