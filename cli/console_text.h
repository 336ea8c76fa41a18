#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// The program's arguments in UTF-8. On Windows they are taken from the wide
// command line, so that any file name survives whatever the code page.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// A path from a UTF-8 argument, and a path's name in UTF-8 for messages.
std::filesystem::path pathFromArgument(const std::string& utf8);

// Writes "tallyforge-cli: text" and a line end to standard error.
void printError(const std::string& text);

} // namespace cli
