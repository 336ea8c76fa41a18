#pragma once

#include "trigfile/trigger_series.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// The three reward shapes a user can ask for, as planned from typed boxes.
enum class Shape { MoneyWithGas, Score, Switch };
const char* shapeName(Shape shape);
trigfile::TriggerSeries seriesFor(Shape shape, std::uint32_t records);

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}
double median(std::vector<double> values);

// Ctrl-C lets the run in progress finish, so that its file is removed, then
// throws from here; the caller removes the folder.
void installStopHandler();
void stopIfRequested();

// Keeps the compiler from dropping work whose result nobody reads.
inline void keep(const void* p) {
    asm volatile("" : : "g"(p) : "memory");
}

struct EncodingResult {
    Shape shape;
    std::uint64_t records = 0;
    double fromScratchSeconds = 0; // encodeRecord for every threshold
    double chunkedSeconds = 0;     // writeSeries into a sink that drops the bytes
    double memcpySeconds = 0;      // copying the same bytes through 1 MiB buffers
};
std::vector<EncodingResult> runEncoding(std::uint32_t records, int repeats);

// One way of putting the bytes in a file, and how long each round took.
struct FileRuns {
    std::string name;
    std::size_t writeSize = 0; // for the floors: bytes per write() call
    bool fsync = true;
    bool paced = false; // writeback started early, as the writer does on Linux
    std::vector<double> seconds;
};

struct FileResult {
    std::uint32_t records = 0;
    std::uint64_t bytes = 0;
    FileRuns writer; // writeTriggerFile: temporary file, writes, fsync, close, rename, folder fsync
    std::vector<FileRuns> floors; // large writes of a ready buffer
    bool skipped = false;
    std::string note;

    // The fastest plain floor (by median) with or without fsync.
    const FileRuns& bestFloor(bool fsync) const;
    // Plain writes paced like the writer's, if measured.
    const FileRuns* pacedFloor() const;
};
std::vector<FileResult> runFiles(const std::filesystem::path& folder,
                                 const std::vector<std::uint32_t>& sizes, int repeats,
                                 bool verbose);

struct MemoryResult {
    std::uint32_t records = 0;
    std::uint64_t startKiB = 0; // VmHWM of the fresh process, before the write
    std::uint64_t peakKiB = 0;  // VmHWM after the write
    bool failed = false;
    std::string note;
};
std::vector<MemoryResult> runMemory(const std::filesystem::path& folder,
                                    const std::vector<std::uint32_t>& sizes);
// The child side: writes one file and prints its VmHWM before and after.
int memoryChildMain(std::uint32_t records, const std::filesystem::path& folder);

// Adding a series to a map: a map archive (.scx) and bare scenario data
// (.chk) holding `existing` triggers get `added` more.
struct MapResult {
    std::uint32_t existing = 0;
    std::uint32_t added = 0;
    std::uint64_t mapBytesBefore = 0;
    std::uint64_t mapBytesAfter = 0;
    std::uint64_t scenarioBytesAfter = 0;
    std::vector<double> archiveAdd;  // maparchive::addSeries on the .scx, whole
    std::vector<double> stormFloor;  // StormLib storing the final scenario data, compacting, fsync
    std::vector<double> copyFloor;   // copying the map beside it with fsync
    std::vector<double> scenarioAdd; // maparchive::addSeries on the .chk, whole
    std::vector<double> scenarioFloor; // one write of the final .chk bytes with fsync
};
std::vector<MapResult> runMaps(const std::filesystem::path& folder, std::uint32_t existing,
                               std::uint32_t added, int repeats);

// Write sizes of the floors: the fastest of them counts.
inline constexpr std::size_t kFloorWriteSizes[] = {1u << 20, 8u << 20};

struct RunInfo {
    std::string machine;
    std::string folder;
    std::string filesystem;
};
RunInfo describeRun(const std::filesystem::path& folder);
// Other work on the machine skews the figures; the load average shows it.
std::string loadAverage();

void printEncoding(const std::vector<EncodingResult>& results);
void printFiles(const std::vector<FileResult>& results);
void printMemory(const std::vector<MemoryResult>& results);
void printMaps(const std::vector<MapResult>& results);
void printSummary(const RunInfo& info, const std::vector<EncodingResult>& encoding,
                  const std::vector<FileResult>& files, const std::vector<MemoryResult>& memory,
                  const std::vector<MapResult>& maps);

} // namespace bench
