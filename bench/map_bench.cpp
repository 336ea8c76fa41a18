#include "bench.h"

#include "maparchive/add_to_map.h"
#include "maparchive/map_archive.h"
#include "maparchive/scenario_replace.h"

#include <StormLib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendSection(Bytes& chk, const char* name, const Bytes& data) {
    chk.insert(chk.end(), name, name + 4);
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i) {
        chk.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    }
    chk.insert(chk.end(), data.begin(), data.end());
}

// Scenario data like a map's: terrain, units and strings around a TRIG
// section holding `triggers` records of a money series.
Bytes scenarioWith(std::uint32_t triggers) {
    const trigfile::TriggerSeries series = seriesFor(Shape::MoneyWithGas, triggers);
    Bytes trig;
    trig.reserve(static_cast<std::size_t>(triggers) * trigfile::kRecordSize);
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const auto record = trigfile::encodeRecord(series.fields, series.threshold(k));
        trig.insert(trig.end(), record.begin(), record.end());
    }
    Bytes tiles(128 * 128 * 2);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        tiles[i] = static_cast<std::uint8_t>((i * 7) % 29);
    }
    Bytes chk;
    appendSection(chk, "VER ", {205, 0});
    appendSection(chk, "DIM ", {128, 0, 128, 0});
    appendSection(chk, "MTXM", tiles);
    appendSection(chk, "TRIG", trig);
    appendSection(chk, "STR ", {1, 0, 4, 0, 'h', 'i', 0, 0});
    return chk;
}

[[noreturn]] void stormFailed(const std::string& what) {
    throw std::runtime_error(what + ": StormLib error " + std::to_string(GetLastError()));
}

// A map as the game's editor stores one: the scenario data PKWARE-compressed
// and encrypted with an adjusted key, in an archive of the first version.
void writeMap(const fs::path& path, const Bytes& chk) {
    HANDLE mpq = nullptr;
    if (!SFileCreateArchive(path.c_str(), MPQ_CREATE_ARCHIVE_V1 | MPQ_CREATE_LISTFILE, 16, &mpq)) {
        stormFailed("SFileCreateArchive");
    }
    HANDLE file = nullptr;
    if (!SFileCreateFile(mpq, maparchive::kScenarioName, 0, static_cast<DWORD>(chk.size()), 0,
                         MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY, &file) ||
        !SFileWriteFile(file, chk.data(), static_cast<DWORD>(chk.size()), MPQ_COMPRESSION_PKWARE) ||
        !SFileFinishFile(file)) {
        SFileCloseArchive(mpq);
        stormFailed("storing the scenario data");
    }
    if (!SFileCloseArchive(mpq)) {
        stormFailed("SFileCloseArchive");
    }
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw std::runtime_error("open " + path.string() + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("write " + path.string() + ": " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
}

void syncFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

class Sink : public trigfile::ByteSink {
  public:
    void write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
    }
    Bytes bytes;
};

double timeAdd(const fs::path& target, const trigfile::TriggerSeries& series) {
    const auto start = Clock::now();
    const trigfile::AddOutcome outcome = maparchive::addSeries(target, series);
    const double seconds = secondsSince(start);
    if (!outcome.ok()) {
        throw std::runtime_error("the add failed: " + outcome.reason());
    }
    fs::remove(outcome->backup);
    return seconds;
}

} // namespace

std::vector<MapResult> runMaps(const fs::path& folder, std::uint32_t existing, std::uint32_t added,
                               int repeats) {
    MapResult r;
    r.existing = existing;
    r.added = added;
    const Bytes before = scenarioWith(existing);
    const trigfile::TriggerSeries series = seriesFor(Shape::Score, added);
    Sink after;
    {
        const auto plan = trigfile::planScenarioAddition(before, series);
        if (!plan.ok()) {
            throw std::runtime_error("the add was refused: " + plan.reason());
        }
        plan->write(after, series, nullptr);
    }
    r.scenarioBytesAfter = after.bytes.size();

    const fs::path map = folder / "Bench.scx";
    const fs::path chk = folder / "Bench.chk";
    const fs::path floor = folder / "Floor.scx";
    for (int i = 0; i < repeats; ++i) {
        stopIfRequested();
        writeMap(map, before);
        syncFile(map);
        r.mapBytesBefore = fs::file_size(map);

        // The disk's share: the copy of the map beside it.
        auto start = Clock::now();
        fs::copy_file(map, floor, fs::copy_options::overwrite_existing);
        syncFile(floor);
        r.copyFloor.push_back(secondsSince(start));

        // StormLib's share: storing the final scenario data in that copy,
        // compressed like the old, compacting, and the flush of the result.
        start = Clock::now();
        maparchive::replaceScenario(floor, after.bytes.size(), [&](trigfile::ByteSink& out) {
            out.write(after.bytes.data(), after.bytes.size());
            return true;
        });
        syncFile(floor);
        r.stormFloor.push_back(secondsSince(start));
        fs::remove(floor);

        r.archiveAdd.push_back(timeAdd(map, series));
        r.mapBytesAfter = fs::file_size(map);
        fs::remove(map);

        writeFile(chk, before);
        r.scenarioAdd.push_back(timeAdd(chk, series));
        fs::remove(chk);
        start = Clock::now();
        writeFile(chk, after.bytes);
        r.scenarioFloor.push_back(secondsSince(start));
        fs::remove(chk);
    }
    return {r};
}

} // namespace bench
