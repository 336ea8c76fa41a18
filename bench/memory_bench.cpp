#include "bench.h"

#include "trigfile/trigger_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

// The peak resident set of this process so far, in KiB. Unlike ru_maxrss,
// which a child inherits from its parent across fork and exec, VmHWM
// starts afresh with the new program.
std::uint64_t peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoull(line.substr(6));
        }
    }
    return 0;
}

// Runs this program again as a child that writes one file, and reads back
// what it measured.
MemoryResult measureInChild(std::uint32_t records, const fs::path& folder) {
    MemoryResult result;
    result.records = records;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string count = std::to_string(records);

    int out[2];
    if (::pipe(out) != 0) {
        result.failed = true;
        result.note = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        const char* argv[] = {self.c_str(), "--memory-child", count.c_str(), folder.c_str(),
                              nullptr};
        ::execv(self.c_str(), const_cast<char* const*>(argv));
        _exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        result.failed = true;
        result.note = "the child failed: " + text;
        return result;
    }
    std::istringstream in(text);
    std::string startTag, peakTag;
    in >> startTag >> result.startKiB >> peakTag >> result.peakKiB;
    if (!in || startTag != "start" || peakTag != "peak") {
        result.failed = true;
        result.note = "unreadable child output: " + text;
    }
    return result;
}

} // namespace

int memoryChildMain(std::uint32_t records, const fs::path& folder) {
    const std::uint64_t start = peakResidentKiB();
    const trigfile::TriggerSeries series = seriesFor(Shape::MoneyWithGas, records);
    const fs::path target = folder / ("memory-" + std::to_string(records) + ".trg");
    const base::Outcome<base::Done> outcome = trigfile::writeTriggerFile(target, series);
    const std::uint64_t peak = peakResidentKiB();
    std::error_code ignored;
    fs::remove(target, ignored);
    if (!outcome.ok()) {
        std::printf("%s\n", outcome.reason().c_str());
        return 1;
    }
    std::printf("start %llu peak %llu\n", static_cast<unsigned long long>(start),
                static_cast<unsigned long long>(peak));
    return 0;
}

std::vector<MemoryResult> runMemory(const fs::path& folder,
                                    const std::vector<std::uint32_t>& sizes) {
    std::vector<MemoryResult> results;
    for (std::uint32_t records : sizes) {
        stopIfRequested();
        results.push_back(measureInChild(records, folder));
    }
    return results;
}

} // namespace bench
