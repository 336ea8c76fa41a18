// Any bytes as a map file, opened through StormLib: the reader must return
// scenario data no larger than its limit or refuse with a reason, and never
// crash. StormLib runs in the reader's contained child process, so what this
// finds are faults of the reader and of the containment, not StormLib's own
// (those it contains: see the seeds). StormLib opens files by name, so each
// input goes through a scratch file.

#include "maparchive/map_archive.h"
#include "safefile/bounded_read.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() /
        ("tallyforge-map-fuzz-" + std::to_string(std::rand()) + ".scx");
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto read = maparchive::readScenarioData(scratch);
    if (!read.ok()) {
        if (read.reason().empty()) {
            std::fprintf(stderr, "mismatch: a refusal without a reason\n");
            std::abort();
        }
    } else if (read.value().size() > safefile::kMaxReadBytes) {
        std::fprintf(stderr, "mismatch: more scenario data than the limit\n");
        std::abort();
    }
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    return 0;
}
