#pragma once

#include "scratch_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace testsupport {

// What one run of tallyforge-cli left behind.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuoted(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string fileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program in folder with args, as a script would, standard input
// closed.
inline CliRun runCli(const std::filesystem::path& folder, const std::vector<std::string>& args) {
    std::string command = "cd " + shellQuoted(folder.string()) + " && " + TALLYFORGE_CLI;
    for (const auto& arg : args) {
        command += " " + shellQuoted(arg);
    }
    const auto out = folder / ".stdout";
    const auto err = folder / ".stderr";
    command += " </dev/null >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string());
    const int raw = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = fileText(out);
    run.err = fileText(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace testsupport
