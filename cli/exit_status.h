#pragma once

// What tallyforge-cli tells the script that ran it. Scripts test these
// numbers, so they never change meaning.
namespace cli {

enum ExitStatus : int {
    kExitOk = 0,
    // The command line asked for something that is not done: a usage error,
    // a value out of range, an unknown unit, an existing file without
    // --replace. Nothing was written.
    kExitRefused = 2,
    // A file could not be read, was refused as unsafe to read, or could not
    // be written. Any file that was there is left as it was.
    kExitFileFailed = 3,
    // Interrupted (Ctrl+C) during a write: the old file is kept, as with the
    // window's Cancel. 128 + SIGINT, as shells report it.
    kExitInterrupted = 130,
};

// The statuses as --help and the manual page list them.
inline constexpr const char* kExitStatusHelp =
    "Exit status:\n"
    "  0    done\n"
    "  2    refused: a usage error or a value that "
    "cannot be used; nothing written\n"
    "  3    a file could not be read or written; any "
    "old file left as it was\n"
    "  130  interrupted (Ctrl+C) while writing; the "
    "old file left as it was\n"
    "SIGTERM or SIGHUP while writing leave the old file "
    "as it was too, then end the program by that signal.";

} // namespace cli
