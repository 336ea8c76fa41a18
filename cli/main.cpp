// tallyforge-cli: the trigger-file core from the command line, for scripts
// that build maps.
#include "console_text.h"
#include "create_command.h"
#include "exit_status.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kCreateExample =
    "Example:\n"
    "  tallyforge-cli create --every 5 --up-to 50 --unit Zergling --ore 100 --player 1 "
    "-o rewards.trg";

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
        std::cerr << "Run 'tallyforge-cli --help' or 'tallyforge-cli COMMAND --help' for more.\n";
        return cli::kExitRefused;
    }

    if (createCommand->parsed()) {
        return cli::runCreate(create);
    }
    return cli::kExitRefused;
}
