#pragma once

// Small maps that the tests build themselves: scenario data made of named
// sections, packed into an archive by smpq, StormLib's own archiver.

#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline std::string quotedArg(const std::filesystem::path& p) {
    return "'" + p.string() + "'"; // the scratch folder's names hold no quote
}

// Runs smpq in `folder`, so that archive names are the relative paths given.
inline int smpq(const std::filesystem::path& folder, const std::string& args) {
    const std::string command = "cd " + quotedArg(folder) + " && " SMPQ_PROGRAM " -q " + args;
    return std::system(command.c_str());
}

// One section of scenario data: a 4-byte name, its size, its data.
inline void appendSection(Bytes& chk, const char (&name)[5], const Bytes& data) {
    chk.insert(chk.end(), name, name + 4);
    chk.resize(chk.size() + 4);
    trigfile::putU32(chk.data() + chk.size() - 4, static_cast<std::uint32_t>(data.size()));
    chk.insert(chk.end(), data.begin(), data.end());
}

// The records of a series without a trigger file's header and empty trigger.
inline Bytes seriesRecords(const trigfile::TriggerSeries& series) {
    const Bytes file = expectedFile(series);
    return Bytes(file.begin() + trigfile::kPreambleSize, file.end());
}

// The records of a series whose message's texts are a map's strings from
// `first` on: one per trigger with {kills}, else one for all.
inline Bytes seriesRecordsNaming(const trigfile::TriggerSeries& series, std::uint32_t first) {
    Bytes records;
    const bool eachOwn = series.message->eachTriggerOwnText();
    for (std::uint32_t k = 0; k < series.recordCount; ++k) {
        const auto r =
            trigfile::encodeRecord(series.fields, series.threshold(k), first + (eachOwn ? k : 0));
        records.insert(records.end(), r.begin(), r.end());
    }
    return records;
}

// Writes `files` (name in the archive -> bytes) into a new map `name` in
// `folder` with smpq; `options` choose how smpq stores them. An empty path
// when smpq fails.
inline std::filesystem::path packMap(const std::filesystem::path& folder, const std::string& name,
                                     const std::vector<std::pair<std::string, Bytes>>& files,
                                     const std::string& options) {
    const std::filesystem::path source = folder / ("source-" + name);
    std::string list;
    for (const auto& [inside, bytes] : files) {
        const std::filesystem::path p = source / inside;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        list += " " + quotedArg(inside);
    }
    const int status = smpq(source, "-c -M 1 " + options + " " + quotedArg(folder / name) + list);
    std::filesystem::remove_all(source);
    return status == 0 ? folder / name : std::filesystem::path();
}

} // namespace testsupport
