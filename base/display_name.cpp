#include "base/display_name.h"

namespace base {

std::string displayName(const std::filesystem::path& path) {
    // Appended rather than "\"" + ...: optimised GCC 12 builds warn falsely about that.
    std::string name(1, '"');
    // UTF-8 whatever the system's code page, which could not hold every name.
    const std::u8string utf8 = path.u8string();
    name.append(utf8.begin(), utf8.end());
    name += '"';
    return name;
}

Problem aboutFile(const std::filesystem::path& file, Problem problem) {
    const std::string name = displayName(file);
    if (problem.reason.find(name) == std::string::npos) {
        problem.reason = name + ": " + problem.reason;
    }
    return problem;
}

} // namespace base
