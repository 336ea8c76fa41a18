#pragma once

#include <filesystem>
#include <string>

namespace base {

// A file as every message names it: its path in quotes, in UTF-8 whatever
// the system's code page ("\"C:\\Maps\\Castle.scx\"").
std::string displayName(const std::filesystem::path& path);

} // namespace base
