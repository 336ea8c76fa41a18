#include "bench.h"

#include "base/number_text.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace bench {
namespace {

constexpr double kFileRatioTarget = 1.10;
constexpr std::uint32_t kFileTargetRecords = 1'000'000;
constexpr double kMemoryGrowthTargetMiB = 8.0;

std::string format(const char* fmt, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

std::string thousands(std::uint64_t n) {
    return base::withThousands(n);
}

// Decimal units for sizes and rates, as disks are sold; MiB for memory.
std::string bytesText(double bytes) {
    if (bytes >= 1e9) {
        return format("%.2f GB", bytes / 1e9);
    }
    if (bytes >= 1e6) {
        return format("%.1f MB", bytes / 1e6);
    }
    return format("%.0f kB", bytes / 1e3);
}
std::string rateText(double bytesPerSecond) {
    return bytesText(bytesPerSecond) + "/s";
}
std::string recordRateText(double perSecond) {
    return format("%.1f M records/s", perSecond / 1e6);
}
std::string secondsText(double s) {
    return s >= 1 ? format("%.2f s", s) : format("%.1f ms", s * 1e3);
}
std::string mibText(std::uint64_t kib) {
    return format("%.1f MiB", static_cast<double>(kib) / 1024.0);
}
std::string writeSizeText(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB writes";
}

std::string firstLineValue(const char* file, const std::string& key, char separator) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) {
            continue;
        }
        const auto at = line.find(separator);
        if (at == std::string::npos) {
            continue;
        }
        std::string value = line.substr(at + 1);
        value.erase(0, value.find_first_not_of(" \t\""));
        while (!value.empty() && (value.back() == '"' || value.back() == ' ')) {
            value.pop_back();
        }
        return value;
    }
    return "unknown";
}

double fileBytes(std::uint64_t records) {
    return static_cast<double>(trigfile::kPreambleSize) +
           static_cast<double>(trigfile::kRecordSize) * static_cast<double>(records);
}

// The smallest and the largest successful memory runs, if there are two.
bool memoryPair(const std::vector<MemoryResult>& memory, const MemoryResult*& small,
                const MemoryResult*& large) {
    small = large = nullptr;
    for (const auto& m : memory) {
        if (m.failed) {
            continue;
        }
        if (!small || m.records < small->records) {
            small = &m;
        }
        if (!large || m.records > large->records) {
            large = &m;
        }
    }
    return small && large && small != large;
}

double peakDifferenceMiB(const MemoryResult& small, const MemoryResult& large) {
    return (static_cast<double>(large.peakKiB) - static_cast<double>(small.peakKiB)) / 1024.0;
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double maxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

} // namespace

RunInfo describeRun(const fs::path& folder) {
    RunInfo info;
    const std::string os = firstLineValue("/etc/os-release", "PRETTY_NAME", '=');
    const std::string cpu = firstLineValue("/proc/cpuinfo", "model name", ':');
    double memGiB = 0;
    try {
        memGiB = std::stod(firstLineValue("/proc/meminfo", "MemTotal", ':')) / (1024.0 * 1024.0);
    } catch (const std::exception&) {
    }
    info.machine = os + ", " + cpu + ", " + std::to_string(std::thread::hardware_concurrency()) +
                   " cores, " + format("%.1f GiB", memGiB) + " memory";
    info.folder = folder.string();

    // The mount that holds the folder: the longest mount point it lies under.
    std::error_code ec;
    const std::string where = fs::weakly_canonical(folder, ec).string();
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest;
    std::size_t best = 0;
    info.filesystem = "file system unknown";
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        const bool under =
            where.rfind(point, 0) == 0 &&
            (where.size() == point.size() || point == "/" || where[point.size()] == '/');
        if (under && point.size() >= best) {
            best = point.size();
            info.filesystem = type + " on " + device;
        }
    }
    const fs::space_info space = fs::space(folder, ec);
    if (!ec) {
        info.filesystem += ", " + bytesText(static_cast<double>(space.available)) + " free";
    }
    return info;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void printEncoding(const std::vector<EncodingResult>& results) {
    if (results.empty()) {
        return;
    }
    std::printf("\nEncoding in memory: %s records per run into a sink that drops the bytes;\n"
                "median of interleaved runs. Floor: one memcpy of the same number of bytes\n"
                "through 1 MiB buffers, the copy that write() makes anyway. A ratio below 1\n"
                "means producing the bytes costs less than that one copy.\n\n",
                thousands(results.front().records).c_str());
    std::printf("  %-15s %-29s %18s %12s %8s\n", "shape", "path", "records/s", "bytes/s", "ratio");
    for (const auto& r : results) {
        const double bytes = fileBytes(r.records);
        const auto row = [&](const char* shape, const char* path, double seconds) {
            std::printf("  %-15s %-29s %18s %12s %8.3f\n", shape, path,
                        recordRateText(static_cast<double>(r.records) / seconds).c_str(),
                        rateText(bytes / seconds).c_str(), seconds / r.memcpySeconds);
        };
        row(shapeName(r.shape), "encodeRecord per record", r.fromScratchSeconds);
        row("", "chunked writer (writeSeries)", r.chunkedSeconds);
        row("", "floor: memcpy", r.memcpySeconds);
        std::printf("  %-15s chunked writer: %.1f times as fast as encoding each record\n", "",
                    r.fromScratchSeconds / r.chunkedSeconds);
    }
}

void printFiles(const std::vector<FileResult>& results) {
    if (results.empty()) {
        return;
    }
    std::printf(
        "\nWhole file (Money with gas). Writer: writeTriggerFile, that is a temporary file,\n"
        "writes, fsync, close, rename and an fsync of the folder. Floors: the same number\n"
        "of bytes written to the same folder with plain writes of a ready buffer, then\n"
        "fsync and close (the writer's durability) or close alone. Kinds interleaved\n"
        "round by round, each file removed and the file system synced between runs.\n"
        "Ratios compare medians with the fastest floor of the stated durability. The\n"
        "paced run is the 1 MiB floor that also starts writeback early and drops written\n"
        "pages as the writer does on Linux: what the writer costs beyond its I/O.\n");
    for (const auto& r : results) {
        const double bytes = static_cast<double>(r.bytes);
        std::printf("\n%s records, %s", thousands(r.records).c_str(), bytesText(bytes).c_str());
        if (r.skipped) {
            std::printf(": %s\n", r.note.c_str());
            continue;
        }
        std::printf(", %zu rounds\n", r.writer.seconds.size());
        std::printf("  %-30s %10s %10s %10s %12s\n", "", "median", "min", "max", "at median");
        const auto row = [&](const FileRuns& f) {
            const double m = median(f.seconds);
            std::printf("  %-30s %10s %10s %10s %12s\n", f.name.c_str(), secondsText(m).c_str(),
                        secondsText(minOf(f.seconds)).c_str(),
                        secondsText(maxOf(f.seconds)).c_str(), rateText(bytes / m).c_str());
        };
        row(r.writer);
        for (const auto& f : r.floors) {
            row(f);
        }
        const double writer = median(r.writer.seconds);
        const FileRuns& synced = r.bestFloor(true);
        const FileRuns& plain = r.bestFloor(false);
        const double ratio = writer / median(synced.seconds);
        std::printf("  writer / floor with fsync (%s): %.2f",
                    writeSizeText(synced.writeSize).c_str(), ratio);
        if (r.records == kFileTargetRecords) {
            std::printf(", target at most %.2f: %s", kFileRatioTarget,
                        ratio <= kFileRatioTarget ? "met" : "MISSED");
        }
        std::printf("\n  writer / floor without fsync (%s): %.2f\n",
                    writeSizeText(plain.writeSize).c_str(), writer / median(plain.seconds));
        if (const FileRuns* paced = r.pacedFloor()) {
            std::printf("  writer / paced plain writes: %.2f\n", writer / median(paced->seconds));
        }
    }
}

void printMemory(const std::vector<MemoryResult>& results) {
    if (results.empty()) {
        return;
    }
    std::printf("\nPeak resident set (VmHWM) of a fresh process that writes one file; the page\n"
                "cache is not part of it.\n\n");
    std::printf("  %10s %12s %12s %12s\n", "records", "at start", "peak", "growth");
    for (const auto& m : results) {
        if (m.failed) {
            std::printf("  %10s  failed: %s\n", thousands(m.records).c_str(), m.note.c_str());
            continue;
        }
        std::printf("  %10s %12s %12s %12s\n", thousands(m.records).c_str(),
                    mibText(m.startKiB).c_str(), mibText(m.peakKiB).c_str(),
                    mibText(m.peakKiB - m.startKiB).c_str());
    }
    const MemoryResult* small = nullptr;
    const MemoryResult* large = nullptr;
    if (memoryPair(results, small, large)) {
        const double diff = peakDifferenceMiB(*small, *large);
        std::printf("  peak at %s records minus peak at %s records: %.1f MiB, target below %.0f "
                    "MiB: %s\n",
                    thousands(large->records).c_str(), thousands(small->records).c_str(), diff,
                    kMemoryGrowthTargetMiB, diff < kMemoryGrowthTargetMiB ? "met" : "MISSED");
    }
}

void printMaps(const std::vector<MapResult>& results) {
    for (const auto& r : results) {
        std::printf("\nAdding %s triggers to a map holding %s (medians of %zu runs)\n",
                    thousands(r.added).c_str(), thousands(r.existing).c_str(), r.archiveAdd.size());
        std::printf("  map %s before, %s after; scenario data %s after\n",
                    bytesText(static_cast<double>(r.mapBytesBefore)).c_str(),
                    bytesText(static_cast<double>(r.mapBytesAfter)).c_str(),
                    bytesText(static_cast<double>(r.scenarioBytesAfter)).c_str());
        const double add = median(r.archiveAdd);
        const double storm = median(r.stormFloor);
        const double copy = median(r.copyFloor);
        std::printf("  .scx add, whole:                       %s\n", secondsText(add).c_str());
        std::printf("  StormLib storing the same data + fsync: %s\n", secondsText(storm).c_str());
        std::printf("  copying the map beside it + fsync:      %s\n", secondsText(copy).c_str());
        std::printf("  add / (StormLib + copy):                %.2f\n", add / (storm + copy));
        const double chk = median(r.scenarioAdd);
        const double plain = median(r.scenarioFloor);
        std::printf("  .chk add, whole:                       %s\n", secondsText(chk).c_str());
        std::printf("  one write of the result + fsync:        %s (ratio %.2f)\n",
                    secondsText(plain).c_str(), chk / plain);
    }
}

void printSummary(const RunInfo& info, const std::vector<EncodingResult>& encoding,
                  const std::vector<FileResult>& files, const std::vector<MemoryResult>& memory,
                  const std::vector<MapResult>& maps) {
    std::printf("\nSummary (Markdown)\n\n");
    std::printf("%s; folder on %s.\n\n", info.machine.c_str(), info.filesystem.c_str());
    std::printf("| Case | Measured (median) | Floor (median) | Ratio |\n|---|---|---|---|\n");
    for (const auto& r : encoding) {
        const double bytes = fileBytes(r.records);
        const std::string floor = "memcpy " + rateText(bytes / r.memcpySeconds);
        const auto row = [&](const char* path, double seconds) {
            std::printf("| Encoding, %s, %s | %s, %s | %s | %.3f |\n", shapeName(r.shape), path,
                        recordRateText(static_cast<double>(r.records) / seconds).c_str(),
                        rateText(bytes / seconds).c_str(), floor.c_str(),
                        seconds / r.memcpySeconds);
        };
        row("encodeRecord per record", r.fromScratchSeconds);
        row("chunked writer", r.chunkedSeconds);
    }
    for (const auto& r : files) {
        if (r.skipped) {
            std::printf("| File, %s records | %s | | |\n", thousands(r.records).c_str(),
                        r.note.c_str());
            continue;
        }
        const double bytes = static_cast<double>(r.bytes);
        const double writer = median(r.writer.seconds);
        const FileRuns& synced = r.bestFloor(true);
        const FileRuns& plain = r.bestFloor(false);
        std::printf("| File, %s records (%s) | %s, %s | %s + fsync: %s | **%.2f** |\n",
                    thousands(r.records).c_str(), bytesText(bytes).c_str(),
                    secondsText(writer).c_str(), rateText(bytes / writer).c_str(),
                    writeSizeText(synced.writeSize).c_str(),
                    secondsText(median(synced.seconds)).c_str(), writer / median(synced.seconds));
        std::printf("| | | %s, no fsync: %s | %.2f |\n", writeSizeText(plain.writeSize).c_str(),
                    secondsText(median(plain.seconds)).c_str(), writer / median(plain.seconds));
        if (const FileRuns* paced = r.pacedFloor()) {
            std::printf("| | | 1 MiB writes paced like the writer + fsync: %s | %.2f |\n",
                        secondsText(median(paced->seconds)).c_str(),
                        writer / median(paced->seconds));
        }
    }
    for (const auto& m : memory) {
        if (!m.failed) {
            std::printf("| Peak resident set, %s records | %s | | |\n",
                        thousands(m.records).c_str(), mibText(m.peakKiB).c_str());
        }
    }
    const MemoryResult* small = nullptr;
    const MemoryResult* large = nullptr;
    if (memoryPair(memory, small, large)) {
        std::printf("| Peak at %s minus peak at %s records | %.1f MiB (target: below %.0f MiB) "
                    "| | |\n",
                    thousands(large->records).c_str(), thousands(small->records).c_str(),
                    peakDifferenceMiB(*small, *large), kMemoryGrowthTargetMiB);
    }
    for (const auto& r : maps) {
        const double add = median(r.archiveAdd);
        const double storm = median(r.stormFloor);
        const double copy = median(r.copyFloor);
        std::printf("| Add %s triggers to a .scx holding %s (%s after) | %s | StormLib storing "
                    "it: %s + copying the map: %s | **%.2f** |\n",
                    thousands(r.added).c_str(), thousands(r.existing).c_str(),
                    bytesText(static_cast<double>(r.mapBytesAfter)).c_str(),
                    secondsText(add).c_str(), secondsText(storm).c_str(), secondsText(copy).c_str(),
                    add / (storm + copy));
        const double chk = median(r.scenarioAdd);
        const double plain = median(r.scenarioFloor);
        std::printf("| The same into a .chk (%s after) | %s | one write + fsync: %s | %.2f |\n",
                    bytesText(static_cast<double>(r.scenarioBytesAfter)).c_str(),
                    secondsText(chk).c_str(), secondsText(plain).c_str(), chk / plain);
    }
}

} // namespace bench
