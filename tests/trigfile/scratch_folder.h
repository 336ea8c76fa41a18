#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace testsupport {

namespace fs = std::filesystem;

inline std::vector<std::uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The names in a folder, sorted; what a failed write must leave unchanged.
inline std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Everything about an existing file that a failed write must not change:
// its bytes, its permissions and (where there are inodes) its identity, so
// that a copy put back in its place does not pass for the original.
struct FileState {
    std::vector<std::uint8_t> bytes;
    fs::perms permissions = fs::perms::unknown;
    std::uint64_t identity = 0;
    bool operator==(const FileState&) const = default;
};

inline FileState stateOf(const fs::path& p) {
    FileState s;
    s.bytes = readBytes(p);
    std::error_code ec;
    s.permissions = fs::status(p, ec).permissions();
#ifndef _WIN32
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
        s.identity = static_cast<std::uint64_t>(st.st_ino);
    }
#endif
    return s;
}

// A fresh empty folder under the system's temporary folder for each test.
class ScratchFolder : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        folder_ = fs::temp_directory_path() /
                  ("tallyforge-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder_, ec), end; !ec && it != end;
             it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_, ec);
    }
    fs::path folder_;
};

} // namespace testsupport
