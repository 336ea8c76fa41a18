// Writes maps for readers outside the program: for each way of storing the
// scenario data, a map packed by smpq with a series added by Tallyforge
// (NAME.scx), and the scenario data it must hold (NAME.expected.chk), built
// from the encoder's records, not from the add. Used by the check with the
// npm package scm-extractor, which reads maps by the game's own rules.

#include "map_builder.h"
#include "maparchive/add_to_map.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using testsupport::appendSection;
using testsupport::Bytes;

Bytes scenario(const Bytes& trig) {
    Bytes chk;
    appendSection(chk, "VER ", {205, 0});
    appendSection(chk, "DIM ", {64, 0, 64, 0});
    appendSection(chk, "TRIG", trig);
    appendSection(chk, "STR ", {1, 0, 4, 0, 'h', 'i', 0, 0});
    return chk;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: added_map_maker FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(folder);
    const auto old = testsupport::planOrFail(testsupport::typed("5", "15", "37", "100"));
    const auto added = testsupport::planOrFail(testsupport::typed("1", "400", "0", "7", "3"));
    const Bytes oldRecords = testsupport::seriesRecords(old);
    Bytes all = oldRecords;
    const Bytes addedRecords = testsupport::seriesRecords(added);
    all.insert(all.end(), addedRecords.begin(), addedRecords.end());
    const Bytes expected = scenario(all);

    const std::pair<const char*, const char*> storages[] = {
        {"editor", "-C PKWARE -E -F"}, {"pkware", "-C PKWARE"}, {"zlib", "-C ZLIB -E"},
        {"implode", "-C IMPLODE"},     {"plain", "-C none"},
    };
    for (const auto& [name, options] : storages) {
        const std::string map = std::string(name) + ".scx";
        if (testsupport::packMap(folder, map, {{"staredit/scenario.chk", scenario(oldRecords)}},
                                 options)
                .empty()) {
            std::fprintf(stderr, "smpq could not pack %s\n", map.c_str());
            return 1;
        }
        const auto outcome = maparchive::addSeries(folder / map, added);
        if (!outcome.ok()) {
            std::fprintf(stderr, "%s: %s\n", map.c_str(), outcome.reason().c_str());
            return 1;
        }
        std::filesystem::remove(outcome->backup);
        std::ofstream(folder / (std::string(name) + ".expected.chk"), std::ios::binary)
            .write(reinterpret_cast<const char*>(expected.data()),
                   static_cast<std::streamsize>(expected.size()));
    }
    return 0;
}
