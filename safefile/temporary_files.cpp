#include "safefile/temporary_files.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace safefile {
namespace {

using Native = fs::path::string_type;

constexpr std::string_view kSuffix = ".tallyforge.tmp";
constexpr std::size_t kSaltDigits = 8;
constexpr std::size_t kLongestKeptName = 72;

// Added to a temporary file's name: the working copy handed to StormLib;
// StormLib's rebuild of that copy (its name with ".tmp" added); a backup
// being copied; and StormLib's rebuild of the temporary file itself, which
// versions before the working copy left when killed. Longest first.
constexpr std::string_view kWorkingCopySuffix = ".work";
constexpr std::string_view kBackupCopySuffix = ".backup";
constexpr std::string_view kWriterSuffixes[] = {".work.tmp", ".backup", ".work", ".tmp"};

// True for the code units that continue a character: UTF-8 continuation
// bytes on POSIX, low surrogates of UTF-16 on Windows.
bool continuesACharacter(fs::path::value_type unit) {
    const auto u = static_cast<std::uint32_t>(unit);
    if constexpr (sizeof(fs::path::value_type) == 1) {
        return (u & 0xC0u) == 0x80u;
    } else {
        return u >= 0xDC00u && u <= 0xDFFFu;
    }
}

bool isHexDigit(fs::path::value_type unit) {
    return (unit >= '0' && unit <= '9') || (unit >= 'a' && unit <= 'f');
}

bool endsWith(const Native& name, std::size_t end, std::string_view tail) {
    return end >= tail.size() &&
           std::equal(tail.begin(), tail.end(),
                      name.begin() + static_cast<std::ptrdiff_t>(end - tail.size()),
                      [](char a, fs::path::value_type b) {
                          return static_cast<fs::path::value_type>(a) == b;
                      });
}

Native withAdded(Native name, std::string_view tail) {
    for (char c : tail) {
        name += static_cast<fs::path::value_type>(c);
    }
    return name;
}

// Whether the first `size` units of name are a name temporaryNameFor makes:
// "." + name + "." + digits + suffix, the name perhaps empty.
bool isTemporaryFileName(const Native& name, std::size_t size) {
    const std::size_t tail = 1 + kSaltDigits + kSuffix.size();
    if (size < 1 + tail || name.front() != '.') {
        return false;
    }
    const std::size_t dot = size - tail;
    if (name[dot] != '.') {
        return false;
    }
    for (std::size_t i = dot + 1; i < dot + 1 + kSaltDigits; ++i) {
        if (!isHexDigit(name[i])) {
            return false;
        }
    }
    return endsWith(name, size, kSuffix);
}

} // namespace

std::size_t writerNameLength(const fs::path::string_type& name) {
    if (isTemporaryFileName(name, name.size())) {
        return name.size();
    }
    for (const std::string_view added : kWriterSuffixes) {
        if (endsWith(name, name.size(), added) &&
            isTemporaryFileName(name, name.size() - added.size())) {
            return name.size() - added.size();
        }
    }
    return 0;
}

fs::path temporaryNameFor(const fs::path& target, std::uint32_t salt) {
    // Built from the native name, so no code-page conversion can garble or
    // refuse it.
    Native base = target.filename().native();
    std::size_t keep = std::min(base.size(), kLongestKeptName);
    while (keep > 0 && keep < base.size() && continuesACharacter(base[keep])) {
        --keep;
    }
    base.resize(keep);
    static constexpr char kHex[] = "0123456789abcdef";
    Native name(1, '.');
    name += base;
    name += '.';
    for (std::size_t i = 0; i < kSaltDigits; ++i) {
        name += static_cast<fs::path::value_type>(kHex[(salt >> (4 * i)) & 0xF]);
    }
    for (char c : kSuffix) {
        name += static_cast<fs::path::value_type>(c);
    }
    return target.parent_path() / fs::path(name);
}

fs::path workingCopyNameFor(const fs::path& temporary) {
    return fs::path(withAdded(temporary.native(), kWorkingCopySuffix));
}

fs::path backupCopyNameFor(const fs::path& temporary) {
    return fs::path(withAdded(temporary.native(), kBackupCopySuffix));
}

bool isTemporaryName(const fs::path& path) {
    return writerNameLength(path.native()) != 0;
}

std::vector<fs::path> namesOfWriter(const fs::path& temporary) {
    std::vector<fs::path> names;
    for (const std::string_view added : kWriterSuffixes) {
        names.emplace_back(withAdded(temporary.native(), added));
    }
    names.push_back(temporary);
    return names;
}

} // namespace safefile
