#pragma once

#include "base/outcome.h"

#include <filesystem>
#include <string>

namespace base {

// A file as every message names it: its path in quotes, in UTF-8 whatever
// the system's code page ("\"C:\\Maps\\Castle.scx\"").
std::string displayName(const std::filesystem::path& path);

// The problem as one about `file`: its reason begins with the file's name,
// unless it names the file already.
Problem aboutFile(const std::filesystem::path& file, Problem problem);

} // namespace base
