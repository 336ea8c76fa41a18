// tallyforge-cli: the trigger-file core from the command line, for scripts
// that build maps.
#include "cli/add_command.h"
#include "cli/console_text.h"
#include "cli/console_write.h"
#include "cli/create_command.h"
#include "cli/exit_status.h"
#include "cli/show_command.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kCreateExample =
    "Example:\n"
    "  tallyforge-cli create --every 5 --up-to 50 --unit Zergling --ore 100 --player 1 "
    "-o rewards.trg";
constexpr const char* kAddExample =
    "Example:\n"
    "  tallyforge-cli add --every 10 --up-to 200 --unit Hydralisk --score 50 --score-kind Kills "
    "--force 1 --to castle.scx\n\n"
    "A trigger file or map (.trg, .chk, .scm, .scx) is changed as a copy beside it, which\n"
    "takes its place once complete; the file as it was is kept beside it as\n"
    "NAME.before-tallyforge.EXT (then NAME.before-tallyforge-2.EXT, ...). It stays as it\n"
    "was on any failure.";

// An argument that looks like an option but is none of the command's:
// most likely a file whose name starts with "-", which is taken for an
// option (so "show --json.scx" would only say that FILE is missing).
std::string optionLikeNameHint(CLI::App& command, const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        const bool negativeNumber = arg.size() > 1 && arg[1] >= '0' && arg[1] <= '9';
        if (arg.size() < 2 || arg[0] != '-' || negativeNumber ||
            command.get_option_no_throw(arg.substr(0, arg.find('='))) != nullptr) {
            continue;
        }
        return "\"" + arg + "\" is no option of " + command.get_name() +
               ". A file whose name starts with \"-\" is named after \"--\" (" +
               command.get_name() + " -- " + arg + ") or as ./" + arg + ".";
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Writes StarCraft kill-reward trigger series (.trg) for StarEdit: every K "
                 "kills of one unit type, up to M kills, the current player gets ore or gas, "
                 "score points, or a switch is set.",
                 "tallyforge-cli");
    // The same option spellings on every system: no /option on Windows.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "tallyforge-cli " TALLYFORGE_VERSION);
    app.require_subcommand(1);
    app.footer(cli::kExitStatusHelp);

    cli::CreateOptions create;
    CLI::App* createCommand = app.add_subcommand(
        "create", "Write a new trigger file holding one series, as the window's Create does");
    cli::addSeriesOptions(*createCommand, create.series);
    createCommand
        ->add_option("-o", create.output,
                     "The trigger file to write (.trg is added "
                     "unless the name ends with it)")
        ->option_text("FILE")
        ->required();
    createCommand->add_flag("--replace", create.replace, "Replace FILE if it exists");
    createCommand->add_flag("--verbose", create.verbose, "Say what was written");
    createCommand->footer(std::string(kCreateExample) + "\n\n" + cli::kExitStatusHelp);

    cli::AddOptions add;
    CLI::App* addCommand = app.add_subcommand(
        "add", "Add one series to a trigger file (.trg) or a map (.chk, .scm, .scx), as the "
               "window's \"Add to trigger file...\" and \"Add to map...\" do");
    cli::addSeriesOptions(*addCommand, add.series);
    addCommand->add_option("--to", add.target, "The trigger file or map to add to")
        ->option_text("FILE")
        ->required();
    addCommand->add_flag("--verbose", add.verbose, "Say what was added, and the backup's name");
    addCommand->footer(std::string(kAddExample) + "\n\n" + cli::kExitStatusHelp);

    cli::ShowOptions show;
    CLI::App* showCommand = app.add_subcommand(
        "show", "List the triggers of a trigger file (.trg) or a map (.chk, .scm, .scx) in "
                "words, as the window's Open... does, with each series found in one line");
    showCommand->add_option("FILE", show.file, "The trigger file or map to list")->required();
    showCommand->add_flag("--json", show.json,
                          "Print one JSON document instead (its shape is in the README)");
    showCommand->footer(cli::kExitStatusHelp);

    std::vector<std::string> args = cli::utf8Arguments(argc, argv);
    std::vector<std::string> reversed(args.rbegin(), args.rend() - 1); // CLI11 takes them reversed
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, std::cout, std::cerr);
    } catch (const CLI::ParseError& e) {
        cli::printError(e.what());
        for (CLI::App* command : {createCommand, addCommand, showCommand}) {
            if (command->parsed()) {
                if (const std::string hint = optionLikeNameHint(*command, args); !hint.empty()) {
                    cli::printError(hint);
                }
            }
        }
        std::cerr << "Run 'tallyforge-cli --help' or 'tallyforge-cli COMMAND --help' for more.\n";
        return cli::kExitRefused;
    }

    int status = cli::kExitRefused;
    try {
        if (createCommand->parsed()) {
            status = cli::runCreate(create);
        } else if (addCommand->parsed()) {
            status = cli::runAdd(add);
        } else if (showCommand->parsed()) {
            status = cli::runShow(show);
        }
    } catch (const std::exception& e) {
        cli::printError(std::string("Could not finish: ") + e.what());
        status = cli::kExitFileFailed;
    }
    return cli::finish(status);
}
