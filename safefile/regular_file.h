#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Tallyforge reads, replaces and edits regular files only. A named pipe
// waits for a writer that may never come, a device may never end, and a
// file put in the place of either is not what the user meant.
namespace safefile {

// Why a file of this type is not one Tallyforge takes ("it is a named pipe,
// not a file"), or nothing for a regular file or none at all.
std::optional<std::string> notARegularFile(std::filesystem::file_type type);

#ifndef _WIN32
// The same for the st_mode of a stat() or fstat().
std::optional<std::string> notARegularFile(unsigned int mode);
#endif

} // namespace safefile
