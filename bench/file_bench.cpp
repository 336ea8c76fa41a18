#include "bench.h"

#include "safefile/atomic_file.h"
#include "trigfile/trigger_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

[[noreturn]] void failSys(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Flushes whatever an earlier run left behind (metadata, freed blocks), so
// that no run pays for the one before it.
void settle(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        failSys("open " + folder.string());
    }
    ::syncfs(fd);
    ::close(fd);
}

double timeWriter(const fs::path& target, const trigfile::TriggerSeries& series) {
    const auto start = Clock::now();
    const base::Outcome<base::Done> outcome = trigfile::writeTriggerFile(target, series);
    const double seconds = secondsSince(start);
    if (!outcome.ok()) {
        throw std::runtime_error("writer failed: " + outcome.reason());
    }
    if (fs::file_size(target) != series.fileSize()) {
        throw std::runtime_error("writer wrote the wrong size");
    }
    fs::remove(target);
    return seconds;
}

// The least a program can do to put these bytes in a file: large writes of a
// ready buffer, with or without waiting for the disk; paced, it also starts
// writeback early and drops written pages exactly as the writer does.
double timeFloor(const fs::path& target, std::uint64_t bytes, const std::uint8_t* data,
                 const FileRuns& how) {
    const auto start = Clock::now();
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        failSys("open " + target.string());
    }
    std::uint64_t done = 0, started = 0, dropped = 0;
    while (done < bytes) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes - done, how.writeSize));
        const ssize_t n = ::write(fd, data, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failSys("write " + target.string());
        }
        done += static_cast<std::uint64_t>(n);
        const std::uint64_t edge = done / safefile::kWritebackAlign * safefile::kWritebackAlign;
        if (how.paced && edge >= started + safefile::kWritebackStep) {
            if (::sync_file_range(fd, static_cast<off_t>(started),
                                  static_cast<off_t>(edge - started), SYNC_FILE_RANGE_WRITE) != 0) {
                failSys("sync_file_range " + target.string());
            }
            started = edge;
            if (started > dropped + safefile::kWritebackLag) {
                const std::uint64_t upTo = started - safefile::kWritebackLag;
                if (::sync_file_range(fd, static_cast<off_t>(dropped),
                                      static_cast<off_t>(upTo - dropped),
                                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                          SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
                    failSys("sync_file_range " + target.string());
                }
                ::posix_fadvise(fd, static_cast<off_t>(dropped), static_cast<off_t>(upTo - dropped),
                                POSIX_FADV_DONTNEED);
                dropped = upTo;
            }
        }
    }
    if (how.fsync && ::fsync(fd) != 0) {
        failSys("fsync " + target.string());
    }
    if (::close(fd) != 0) {
        failSys("close " + target.string());
    }
    const double seconds = secondsSince(start);
    fs::remove(target);
    return seconds;
}

std::uint64_t freeBytes(const fs::path& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) {
        failSys("statvfs " + folder.string());
    }
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

} // namespace

const FileRuns& FileResult::bestFloor(bool fsync) const {
    const FileRuns* best = nullptr;
    for (const auto& f : floors) {
        if (!f.paced && f.fsync == fsync && (!best || median(f.seconds) < median(best->seconds))) {
            best = &f;
        }
    }
    if (!best) {
        throw std::logic_error("no floor was measured");
    }
    return *best;
}

const FileRuns* FileResult::pacedFloor() const {
    for (const auto& f : floors) {
        if (f.paced) {
            return &f;
        }
    }
    return nullptr;
}

std::vector<FileResult> runFiles(const fs::path& folder, const std::vector<std::uint32_t>& sizes,
                                 int repeats, bool verbose) {
    std::vector<FileResult> results;
    for (std::uint32_t records : sizes) {
        const trigfile::TriggerSeries series = seriesFor(Shape::MoneyWithGas, records);
        FileResult result;
        result.records = records;
        result.bytes = series.fileSize();

        // One file at a time exists; keep a margin for the file system.
        const std::uint64_t needed = result.bytes + (512u << 20);
        if (freeBytes(folder) < needed) {
            result.skipped = true;
            result.note =
                "skipped: the folder has less than " + std::to_string(needed >> 20) + " MiB free";
            results.push_back(result);
            continue;
        }

        // The floors write the records' own bytes, not zeros.
        const trigfile::TriggerRecord record = trigfile::encodeRecord(series.fields, 1);
        std::vector<std::uint8_t> buf(
            *std::max_element(std::begin(kFloorWriteSizes), std::end(kFloorWriteSizes)));
        for (std::size_t i = 0; i < buf.size(); ++i) {
            buf[i] = record[i % record.size()];
        }

        result.writer.name = "writer (writeTriggerFile)";
        const auto floor = [](std::string name, std::size_t size, bool fsync, bool paced) {
            FileRuns f;
            f.name = std::move(name);
            f.writeSize = size;
            f.fsync = fsync;
            f.paced = paced;
            return f;
        };
        for (bool fsync : {true, false}) {
            for (std::size_t size : kFloorWriteSizes) {
                result.floors.push_back(floor("floor: " + std::to_string(size >> 20) +
                                                  " MiB writes" +
                                                  (fsync ? " + fsync" : ", no fsync"),
                                              size, fsync, false));
            }
        }
        // Whether the writer costs anything beyond its way of flushing.
        result.floors.push_back(floor("paced: 1 MiB writes + fsync", 1u << 20, true, true));

        const fs::path writerTarget = folder / "writer.trg";
        const fs::path floorTarget = folder / "floor.bin";
        const std::size_t kinds = 1 + result.floors.size();
        settle(folder);
        for (int r = 0; r < repeats; ++r) {
            stopIfRequested();
            // Rotating the order keeps any one kind of run from always going
            // first, right after the flush.
            for (std::size_t i = 0; i < kinds; ++i) {
                const std::size_t kind = (static_cast<std::size_t>(r) + i) % kinds;
                if (kind == 0) {
                    result.writer.seconds.push_back(timeWriter(writerTarget, series));
                } else {
                    FileRuns& f = result.floors[kind - 1];
                    f.seconds.push_back(timeFloor(floorTarget, result.bytes, buf.data(), f));
                }
                settle(folder);
                stopIfRequested();
            }
            if (verbose) {
                std::fprintf(stderr, "  %u records, round %d: writer %.3f s", records, r + 1,
                             result.writer.seconds.back());
                for (const auto& f : result.floors) {
                    std::fprintf(stderr, ", %s %.3f s", f.name.c_str(), f.seconds.back());
                }
                std::fprintf(stderr, "\n");
            }
        }
        results.push_back(result);
    }
    return results;
}

} // namespace bench
