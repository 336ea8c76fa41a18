// Measures the trigger-file writer against the least that writing the same
// bytes can cost, and prints the figures with their ratios.
//
//   tallyforge_bench [[--folder] DIR] [--repeats N] [--sizes 1000,100000,...]
//                    [--encoding-records N] [--skip-encoding] [--skip-files]
//                    [--skip-memory] [--skip-maps] [--map-triggers EXISTING,ADDED]
//                    [--verbose]
//
// Without --folder the files go to a new folder under the system's temporary
// folder, removed at the end.

#include "bench.h"

#include "trigfile/kill_reward_settings.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>

namespace fs = std::filesystem;

namespace bench {

const char* shapeName(Shape shape) {
    switch (shape) {
    case Shape::MoneyWithGas:
        return "Money with gas";
    case Shape::Score:
        return "Score";
    case Shape::Switch:
        return "Switch";
    }
    return "?";
}

// The series a user gets by typing a kill step of 1 and the record count as
// the maximum, planned the way Create plans it.
trigfile::TriggerSeries seriesFor(Shape shape, std::uint32_t records) {
    const std::string amount = shape == Shape::Switch ? "7" : "100";
    trigfile::KillRewardSettings s = trigfile::readSettings(
        trigfile::BoxTexts{std::to_string(records), "1", amount, "50", "37"});
    s.actionKind = shape == Shape::MoneyWithGas ? trigfile::ActionKind::Money
                   : shape == Shape::Score      ? trigfile::ActionKind::Score
                                                : trigfile::ActionKind::Switch;
    s.scoreKind = 4;
    s.players[0] = trigfile::CheckValue::Ticked;
    s.forces[1] = trigfile::CheckValue::Ticked;
    const trigfile::SeriesPlan plan = trigfile::planSeries(trigfile::normalise(s));
    if (!plan.ok()) {
        throw std::runtime_error("the series was refused: " + plan.reason());
    }
    const auto& series = plan.value();
    if (series.recordCount != records) {
        throw std::runtime_error("planned " + std::to_string(series.recordCount) +
                                 " records instead of " + std::to_string(records));
    }
    return series;
}

namespace {
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void requestStop(int) {
    stopRequested = 1;
}
} // namespace

void installStopHandler() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe must not skip the clean-up
}

void stopIfRequested() {
    if (stopRequested) {
        throw std::runtime_error("interrupted");
    }
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace bench

namespace {

struct Options {
    fs::path folder;
    int repeats = 7;
    std::vector<std::uint32_t> sizes{1'000, 100'000, 1'000'000};
    std::uint32_t encodingRecords = 1'000'000;
    bool encoding = true;
    bool files = true;
    bool memory = true;
    bool maps = true;
    std::uint32_t mapExisting = 10'000;
    std::uint32_t mapAdded = 100'000;
    bool verbose = false;
};

std::uint32_t parseCount(const std::string& text) {
    std::size_t used = 0;
    const unsigned long long n = std::stoull(text, &used);
    if (used != text.size() || n < 1 || n > 16'777'215) {
        throw std::invalid_argument("not a record count from 1 to 16777215: " + text);
    }
    return static_cast<std::uint32_t>(n);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::invalid_argument(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--folder") {
            o.folder = value();
        } else if (arg == "--repeats") {
            o.repeats = static_cast<int>(parseCount(value()));
        } else if (arg == "--sizes") {
            o.sizes.clear();
            std::istringstream list(value());
            for (std::string item; std::getline(list, item, ',');) {
                o.sizes.push_back(parseCount(item));
            }
        } else if (arg == "--encoding-records") {
            o.encodingRecords = parseCount(value());
        } else if (arg == "--skip-encoding") {
            o.encoding = false;
        } else if (arg == "--skip-files") {
            o.files = false;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--skip-memory") {
            o.memory = false;
        } else if (arg == "--skip-maps") {
            o.maps = false;
        } else if (arg == "--map-triggers") {
            // EXISTING,ADDED
            std::istringstream pair(value());
            std::string a, b;
            std::getline(pair, a, ',');
            std::getline(pair, b);
            o.mapExisting = parseCount(a);
            o.mapAdded = parseCount(b);
        } else if (arg.rfind("--", 0) != 0 && o.folder.empty()) {
            o.folder = arg;
        } else {
            throw std::invalid_argument("unknown argument " + arg);
        }
    }
    return o;
}

fs::path makeTemporaryFolder() {
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path p = fs::temp_directory_path() / ("tallyforge-bench-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            return p;
        }
    }
    throw std::runtime_error("could not make a temporary folder");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--memory-child") {
        std::signal(SIGINT, SIG_IGN); // finish and remove the file; the parent stops after
        try {
            return bench::memoryChildMain(parseCount(argv[2]), argv[3]);
        } catch (const std::exception& e) {
            std::printf("%s\n", e.what());
            return 1;
        }
    }
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyforge_bench: %s\n", e.what());
        return 2;
    }
    bench::installStopHandler();
    const bool ownFolder = options.folder.empty();
    int rc = 0;
    try {
        if (ownFolder) {
            options.folder = makeTemporaryFolder();
        } else if (!fs::is_directory(options.folder)) {
            throw std::runtime_error("no such folder: " + options.folder.string());
        }
        const bench::RunInfo info = bench::describeRun(options.folder);
        std::printf("Machine: %s\nFolder: %s, %s\nLoad average at the start: %s\n",
                    info.machine.c_str(), info.folder.c_str(), info.filesystem.c_str(),
                    bench::loadAverage().c_str());
        std::fflush(stdout);

        std::vector<bench::EncodingResult> encoding;
        std::vector<bench::FileResult> files;
        std::vector<bench::MemoryResult> memory;
        std::vector<bench::MapResult> maps;
        if (options.encoding) {
            encoding = bench::runEncoding(options.encodingRecords, options.repeats);
            bench::printEncoding(encoding);
            std::fflush(stdout);
        }
        if (options.files) {
            files =
                bench::runFiles(options.folder, options.sizes, options.repeats, options.verbose);
            bench::printFiles(files);
            std::fflush(stdout);
        }
        if (options.memory) {
            memory = bench::runMemory(options.folder, options.sizes);
            bench::printMemory(memory);
            std::fflush(stdout);
        }
        if (options.maps) {
            maps = bench::runMaps(options.folder, options.mapExisting, options.mapAdded,
                                  std::min(options.repeats, 3));
            bench::printMaps(maps);
        }
        std::printf("\nLoad average at the end: %s\n", bench::loadAverage().c_str());
        bench::printSummary(info, encoding, files, memory, maps);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyforge_bench: %s\n", e.what());
        rc = 1;
    }
    if (ownFolder && !options.folder.empty()) {
        std::error_code ignored;
        fs::remove_all(options.folder, ignored);
    }
    return rc;
}
