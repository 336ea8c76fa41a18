// tallyforge-cli as scripts use it: the exit statuses they test, silence on
// success, and files byte for byte the same as the window's Create writes.
#include "cli_run.h"
#include "editor_trigger_file.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

using testsupport::runCli;
using Args = std::vector<std::string>;

// A series every row below starts from.
Args series(Args more) {
    Args args{"create", "--every", "5", "--up-to", "50", "--unit", "0", "--ore", "100"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct StatusCase {
    const char* what;
    Args args;
    int status;
    const char* errMentions; // in standard error; "" means it must be empty
    const char* outMentions; // in standard output; "" means it must be empty
    friend void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.what; }
};

class CliStatus : public testsupport::ScratchFolder,
                  public testing::WithParamInterface<StatusCase> {};

TEST_P(CliStatus, ExitsWithTheDocumentedStatus) {
    const StatusCase& c = GetParam();
    const auto run = runCli(folder_, c.args);
    EXPECT_EQ(run.status, c.status) << c.what << "; stderr: " << run.err;
    for (const auto& [text, mentions, stream] :
         {std::tuple{run.err, std::string(c.errMentions), "stderr"},
          std::tuple{run.out, std::string(c.outMentions), "stdout"}}) {
        if (mentions.empty()) {
            EXPECT_EQ(text, "") << c.what << ": " << stream << " must stay silent";
        } else {
            EXPECT_NE(text.find(mentions), std::string::npos)
                << c.what << ": " << stream << " \"" << text << "\" should mention " << mentions;
        }
    }
    if (c.status != 0) {
        EXPECT_EQ(testsupport::namesIn(folder_), std::vector<std::string>{})
            << c.what << ": a refused or failed run leaves no file";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, CliStatus,
    testing::Values(
        StatusCase{"a series is written in silence", series({"--player", "1", "-o", "a"}), 0, "",
                   ""},
        StatusCase{"--verbose says what was written",
                   series({"--player", "1", "-o", "a", "--verbose"}), 0, "",
                   "10 triggers to \"a.trg\""},
        StatusCase{"a number with letters after it", series({"--player", "1x", "-o", "a"}), 2,
                   "--player", ""},
        StatusCase{"a kill step written with an exponent",
                   {"create", "--every", "1e3", "--up-to", "5", "--unit", "0", "--ore", "1",
                    "--player", "1", "-o", "a"},
                   2,
                   "--every takes a whole number",
                   ""},
        StatusCase{"the core's refusal names the option",
                   {"create", "--every", "1", "--up-to", "5", "--unit", "0", "--ore", "16777216",
                    "--player", "1", "-o", "a"},
                   2,
                   "--ore must hold a number from 0 to 16,777,215",
                   ""},
        StatusCase{"an unknown unit lists near matches",
                   {"create", "--every", "1", "--up-to", "5", "--unit", "Zerglng", "--ore", "1",
                    "--player", "1", "-o", "a"},
                   2,
                   "Zergling (37)",
                   ""},
        StatusCase{"a negative unit number gives the range",
                   {"create", "--every", "1", "--up-to", "5", "--unit", "-1", "--ore", "1",
                    "--player", "1", "-o", "a"},
                   2,
                   "a unit number from 0 to 232 or a name from the unit list, not -1.",
                   ""},
        StatusCase{"an ambiguous unit lists the candidates",
                   {"create", "--every", "1", "--up-to", "5", "--unit", "kerrigan", "--ore", "1",
                    "--player", "1", "-o", "a"},
                   2,
                   "Sara Kerrigan (16), Infested Kerrigan (51)",
                   ""},
        StatusCase{"no owner", series({"-o", "a"}), 2, "--all-players", ""},
        StatusCase{"two rewards", series({"--switch", "3", "--player", "1", "-o", "a"}), 2,
                   "--switch", ""},
        StatusCase{"a message the encoding cannot hold",
                   series({"--player", "1", "--message", "\xec\x95\x88", "--encoding", "CP1252",
                           "-o", "a"}),
                   2, "--message holds characters that CP1252 cannot hold: \"\xec\x95\x88\"", ""},
        StatusCase{"an unknown encoding",
                   series({"--player", "1", "--message", "hi", "--encoding", "latin1", "-o", "a"}),
                   2, "--encoding takes utf-8, cp949 or cp1252", ""},
        StatusCase{"an encoding without a message",
                   series({"--player", "1", "--encoding", "cp949", "-o", "a"}), 2, "--message", ""},
        StatusCase{"an unknown placeholder",
                   series({"--player", "1", "--message", "{kils}", "-o", "a"}), 2,
                   "--message has {kils}, which is no placeholder", ""},
        StatusCase{"an unknown command", {"frobnicate"}, 2, "tallyforge-cli", ""},
        StatusCase{"-o a name ending in a separator", series({"--player", "1", "-o", "out/"}), 2,
                   "folder", ""},
        StatusCase{"-o the current folder", series({"--player", "1", "-o", "."}), 2, "folder", ""},
        StatusCase{"-o the folder above", series({"--player", "1", "-o", ".."}), 2, "folder", ""},
        StatusCase{"-o an empty name", series({"--player", "1", "-o", ""}), 2, "empty name", ""},
        StatusCase{"a folder that does not exist",
                   series({"--player", "1", "-o", "no/such/folder/a"}), 3, "No such file", ""},
        StatusCase{
            "show of a file that is not there", {"show", "missing.trg"}, 3, "missing.trg", ""},
        StatusCase{"show of a file of another kind", {"show", "notes.txt"}, 2, "notes.txt", ""},
        StatusCase{"show of a name that starts with -",
                   {"show", "--json.scx"},
                   2,
                   "(show -- --json.scx) or as ./--json.scx",
                   ""},
        StatusCase{"help lists the exit statuses", {"--help"}, 0, "", "130"},
        StatusCase{"each command has its help", {"create", "--help"}, 0, "", "--score-kind"},
        StatusCase{"the version", {"--version"}, 0, "", "tallyforge-cli 1."}));

trigfile::KillRewardSettings owners(trigfile::KillRewardSettings s, std::vector<int> players,
                                    std::vector<int> forces, bool allPlayers, int scoreKind = 0) {
    s.players = {};
    for (int p : players) {
        s.players[static_cast<std::size_t>(p - 1)] = trigfile::CheckValue::Ticked;
    }
    for (int f : forces) {
        s.forces[static_cast<std::size_t>(f - 1)] = trigfile::CheckValue::Ticked;
    }
    s.allPlayers = allPlayers ? trigfile::CheckValue::Ticked : trigfile::CheckValue::Cleared;
    s.scoreKind = scoreKind;
    return s;
}

using testsupport::typed;
using trigfile::ActionKind;

trigfile::KillRewardSettings withMessage(trigfile::KillRewardSettings s, const std::string& text,
                                         trigfile::TextEncoding encoding) {
    s.message = trigfile::RewardMessage{text, encoding};
    return s;
}

class CliReplace : public testsupport::ScratchFolder {};

TEST_F(CliReplace, AnExistingFileIsReplacedOnlyWhenAsked) {
    testsupport::writeBytes(folder_ / "old.trg", "the author's file");
    const auto refused = runCli(folder_, series({"--player", "1", "-o", "old"}));
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("--replace"), std::string::npos) << refused.err;
    EXPECT_EQ(testsupport::fileText(folder_ / "old.trg"), "the author's file")
        << "without --replace the file stays as it was";

    const auto replaced = runCli(folder_, series({"--player", "1", "-o", "old", "--replace"}));
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(std::filesystem::file_size(folder_ / "old.trg"), 2408u + 10u * 2400u);
}

// Ctrl+C, and SIGTERM and SIGHUP as timeout, kill and a closed terminal send
// them, cancel a write as the window's Cancel does: the old file stays as it
// was and no temporary file is left. Ctrl+C then ends with status 130, the
// others end the program by their signal, as the sender expects.
struct InterruptCase {
    const char* what;
    int signal;
    bool adding; // to a big .chk; otherwise a big create
    friend void PrintTo(const InterruptCase& c, std::ostream* os) { *os << c.what; }
};

class CliInterrupt : public testsupport::ScratchFolder,
                     public testing::WithParamInterface<InterruptCase> {};

TEST_P(CliInterrupt, ASignalDuringTheWriteKeepsTheOldFileLikeCancel) {
    const InterruptCase& c = GetParam();
    const std::string program = TALLYFORGE_CLI;
    // Scenario data of one section, or an old trigger file; then far more
    // triggers than are written before the signal: 100,000 added (240 MB),
    // or a million created (2.4 GB).
    const std::string old = c.adding ? std::string("VER \x02\x00\x00\x00\xcd\x00", 10)
                                     : std::string("the author's file");
    const std::string name = c.adding ? "big.chk" : "big.trg";
    testsupport::writeBytes(folder_ / name, old);
    std::vector<std::string> args{program,    c.adding ? "add" : "create",
                                  "--every",  "1",
                                  "--up-to",  c.adding ? "100000" : "1000000",
                                  "--unit",   "0",
                                  "--ore",    "1",
                                  "--player", "1"};
    for (const char* more : c.adding ? std::vector<const char*>{"--to", name.c_str()}
                                     : std::vector<const char*>{"-o", "big", "--replace"}) {
        args.emplace_back(more);
    }
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (folder_ / ".stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string folder = folder_.string();
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The add's 240 MB can land in the page cache in a tenth of a second.
    // At the lowest priority the program yields to this test on a busy
    // machine, so the signal comes while it writes, not after.
    setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 19);

    // Signal once the new file has started beside the old one.
    const auto writing = [&] { return testsupport::namesIn(folder_).size() > 2; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!writing() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(writing()) << "the write never started";
    kill(pid, c.signal);
    int raw = 0;
    waitpid(pid, &raw, 0);

    if (c.signal == SIGINT) {
        EXPECT_TRUE(WIFEXITED(raw)) << "Ctrl+C must stop the write, not kill the program";
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 130);
    } else {
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == c.signal)
            << "the program must end by the signal once the write is cancelled";
    }
    // Compared as a whole rather than printed: the new file is 240 MB.
    const std::string now = testsupport::fileText(folder_ / name);
    EXPECT_TRUE(now == old) << "the file is now " << now.size() << " bytes, not the old "
                            << old.size();
    std::filesystem::remove(folder_ / ".stderr");
    EXPECT_EQ(testsupport::namesIn(folder_), std::vector<std::string>{name})
        << "no temporary file and no backup are left";
}

INSTANTIATE_TEST_SUITE_P(Signals, CliInterrupt,
                         testing::Values(InterruptCase{"Ctrl+C during a create", SIGINT, false},
                                         InterruptCase{"SIGTERM during a create", SIGTERM, false},
                                         InterruptCase{"SIGHUP during a create", SIGHUP, false},
                                         InterruptCase{"SIGTERM during an add to a .chk", SIGTERM,
                                                       true}));

TEST_F(CliReplace, SeveralAddsBuildATriggerFileSeriesBySeries) {
    const Args first{"--every", "5",     "--up-to", "12",       "--unit",
                     "0",       "--ore", "100",     "--player", "1"};
    const Args second{"--every",  "1",        "--up-to", "3",       "--unit",
                      "Zergling", "--switch", "7",       "--force", "2"};
    Args create{"create"};
    create.insert(create.end(), first.begin(), first.end());
    create.insert(create.end(), {"-o", "series"});
    Args add{"add"};
    add.insert(add.end(), second.begin(), second.end());
    add.insert(add.end(), {"--to", "series.trg"});
    for (const Args& args : {create, add, add}) {
        const auto run = runCli(folder_, args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err + run.out, "") << "success is silent";
    }

    // The first file whole, then the second series' records twice, without
    // a second empty trigger.
    auto expected =
        testsupport::expectedFile(testsupport::planOrFail(typed("5", "12", "0", "100")));
    auto switches = owners(typed("1", "3", "37", "7", "", ActionKind::Switch), {}, {2}, false);
    const auto added = testsupport::expectedFile(testsupport::planOrFail(switches));
    for (int i = 0; i < 2; ++i) {
        expected.insert(expected.end(), added.begin() + 2408, added.end());
    }
    EXPECT_TRUE(testsupport::readBytes(folder_ / "series.trg") == expected)
        << "series.trg is not the first series followed by the second one twice";
    EXPECT_EQ(testsupport::namesIn(folder_),
              (std::vector<std::string>{"series.before-tallyforge-2.trg",
                                        "series.before-tallyforge.trg", "series.trg"}))
        << "each add keeps the trigger file as it was, as a map's, and leaves nothing else";
    EXPECT_EQ(std::filesystem::file_size(folder_ / "series.before-tallyforge.trg"),
              2408u + 2u * 2400u)
        << "the first backup is the file create wrote";
}

TEST_F(CliReplace, ShowPrintsTheListingAndAJsonDocumentOfTheDocumentedShape) {
    const Args create{"create", "--every", "5",        "--up-to", "12", "--unit", "Zergling",
                      "--ore",  "100",     "--player", "1",       "-o", "two.trg"};
    const Args add{"add", "--every",      "1",     "--up-to", "3", "--unit", "Marine", "--score",
                   "20",  "--score-kind", "Kills", "--force", "2", "--to",   "two.trg"};
    ASSERT_EQ(runCli(folder_, create).status, 0);
    ASSERT_EQ(runCli(folder_, add).status, 0);

    const auto text = runCli(folder_, {"show", "two.trg"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Money: every 5 kills of Zergling (37) up to 10, 100 ore, Player 1"),
              std::string::npos)
        << text.out;

    const auto run = runCli(folder_, {"show", "two.trg", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << "not one JSON document: " << run.out;
    EXPECT_EQ(doc.at("file"), "two.trg");
    EXPECT_EQ(doc.at("kind"), "trg");
    EXPECT_EQ(doc.at("triggerCount"), 6) << "the empty first trigger, 2 money, 3 score";
    ASSERT_EQ(doc.at("triggers").size(), 6u);

    const auto& money = doc.at("triggers").at(1);
    EXPECT_EQ(money.at("number"), 2) << "triggers are numbered from 1, as the listing does";
    EXPECT_EQ(money.at("owners"), nlohmann::json::parse(R"([{"number":0,"name":"Player 1"}])"));
    const auto& kill = money.at("conditions").at(0);
    EXPECT_EQ(kill.at("type"), nlohmann::json::parse(R"({"number":5,"name":"Kill"})"));
    EXPECT_EQ(kill.at("unit"), nlohmann::json::parse(R"({"number":37,"name":"Zergling"})"));
    EXPECT_EQ(kill.at("quantity"), 5);
    EXPECT_EQ(kill.at("player").at("name"), "Current Player");
    const auto& ore = money.at("actions").at(0);
    EXPECT_EQ(ore.at("type").at("name"), "Set Resources");
    EXPECT_EQ(ore.at("amount"), 100);
    EXPECT_EQ(money.at("actions").size(), 1u) << "only the slots in use are listed";

    const auto& series = doc.at("series");
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[0].at("firstTrigger"), 2);
    EXPECT_EQ(series[0].at("triggerCount"), 2);
    EXPECT_EQ(series[0].at("every"), 5);
    EXPECT_EQ(series[0].at("upTo"), 10);
    EXPECT_EQ(series[0].at("reward"),
              nlohmann::json::parse(R"({"kind":"Money","ore":100,"gas":0})"));
    EXPECT_EQ(series[1].at("firstTrigger"), 4);
    EXPECT_EQ(series[1].at("unit").at("name"), "Marine");
    EXPECT_EQ(series[1].at("reward"),
              nlohmann::json::parse(
                  R"({"kind":"Score","points":20,"scoreKind":{"number":4,"name":"Kills"}})"));
    EXPECT_EQ(series[1].at("owners"), nlohmann::json::parse(R"([{"number":19,"name":"Force 2"}])"));
    EXPECT_NE(series[1].at("summary").get<std::string>().find("Kills"), std::string::npos);
}

// A trigger file as PyTRG compiles it: a message, unit properties and a
// comment, their blocks after the record, no empty first record.
TEST_F(CliReplace, AnEditorsTriggerFileShowsItsTextsAndTakesASeriesByteForByte) {
    const auto editor = testsupport::editorMessageFile("Wave 1");
    testsupport::writeBytes(folder_ / "editor.trg", std::string(editor.begin(), editor.end()));

    const auto run = runCli(folder_, {"show", "editor.trg", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << run.out;
    EXPECT_EQ(doc.at("triggerCount"), 1);
    EXPECT_EQ(doc.at("stacked"), false);
    const auto& actions = doc.at("triggers").at(0).at("actions");
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].at("text"), "Display text message: \"Reinforcements are on their way\".");
    EXPECT_EQ(actions[0].at("string"),
              nlohmann::json::parse(R"({"number":1,"text":"Reinforcements are on their way",)"
                                    R"("encoding":"UTF-8"})"));
    EXPECT_TRUE(actions[0].at("unitProperties").is_null());
    EXPECT_TRUE(actions[1].at("string").is_null());
    const auto& properties = actions[1].at("unitProperties");
    EXPECT_EQ(properties.at("hitPoints"), 50);
    EXPECT_EQ(properties.at("shields"), 100);
    EXPECT_EQ(properties.at("resources"), 5000);
    EXPECT_EQ(properties.at("fieldsUsed"), 0x16);
    EXPECT_EQ(properties.at("states"), 1);
    EXPECT_EQ(properties.at("text"), "hit points 50%, shields 100%, resources 5,000, cloaked");
    EXPECT_EQ(actions[2].at("string").at("text"), "Wave 1");

    const Args add{"add",   "--every", "5",        "--up-to", "10",   "--unit",    "0",
                   "--ore", "100",     "--player", "1",       "--to", "editor.trg"};
    ASSERT_EQ(runCli(folder_, add).status, 0);
    auto expected = editor;
    const auto created = testsupport::expectedFile(
        testsupport::planOrFail(testsupport::typed("5", "10", "0", "100")));
    expected.insert(expected.end(), created.begin() + 2408, created.end());
    EXPECT_TRUE(testsupport::readBytes(folder_ / "editor.trg") == expected)
        << "every old byte, the blocks included, then the new records alone";
    const auto text = runCli(folder_, {"show", "editor.trg"});
    EXPECT_NE(text.out.find("Triggers 2 to 3: Money: every 5 kills of Marine (0) up to 10"),
              std::string::npos)
        << text.out;
}

TEST_F(CliReplace, AddToAMapKeepsABackupAndRefusesADamagedOneUntouched) {
    // Scenario data with one section and no TRIG: "VER ", size 2, version 205.
    const std::string map("VER \x02\x00\x00\x00\xcd\x00", 10);
    testsupport::writeBytes(folder_ / "castle.chk", map);
    const Args add{"add",   "--every", "1",        "--up-to", "3",    "--unit",     "0",
                   "--gas", "5",       "--player", "4",       "--to", "castle.chk", "--verbose"};
    const auto run = runCli(folder_, add);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("castle.before-tallyforge.chk"), std::string::npos)
        << "--verbose names the backup: " << run.out;
    EXPECT_EQ(testsupport::fileText(folder_ / "castle.before-tallyforge.chk"), map);
    EXPECT_EQ(std::filesystem::file_size(folder_ / "castle.chk"), 10u + 8u + 3u * 2400u)
        << "a TRIG section with the three new triggers follows the old section";

    // A series longer than the map can take is a value that cannot be used.
    Args tooLong = add;
    tooLong[4] = "120000";
    const auto refusedLong = runCli(folder_, tooLong);
    EXPECT_EQ(refusedLong.status, 2) << refusedLong.err;
    EXPECT_NE(refusedLong.err.find("Please add a shorter series"), std::string::npos)
        << refusedLong.err;
    EXPECT_FALSE(std::filesystem::exists(folder_ / "castle.before-tallyforge-2.chk"));

    // A section that claims more bytes than there are.
    const std::string damaged("VER \xff\x00\x00\x00\xcd\x00", 10);
    testsupport::writeBytes(folder_ / "damaged.chk", damaged);
    Args toDamaged = add;
    toDamaged[toDamaged.size() - 2] = "damaged.chk";
    const auto refused = runCli(folder_, toDamaged);
    EXPECT_EQ(refused.status, 3) << "a map that cannot be read safely is a read failure";
    EXPECT_NE(refused.err.find("damaged.chk"), std::string::npos) << refused.err;
    EXPECT_EQ(testsupport::fileText(folder_ / "damaged.chk"), damaged);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "damaged.before-tallyforge.chk"));

    // Two TRIG sections: listed, never added to.
    std::string stacked("VER \x02\x00\x00\x00\xcd\x00", 10);
    for (int i = 0; i < 2; ++i) {
        stacked += std::string("TRIG\x60\x09\x00\x00", 8) + std::string(2400, '\0');
    }
    testsupport::writeBytes(folder_ / "stacked.chk", stacked);
    toDamaged[toDamaged.size() - 2] = "stacked.chk";
    const auto refusedStacked = runCli(folder_, toDamaged);
    EXPECT_EQ(refusedStacked.status, 3) << "a protected map is refused like a damaged one";
    EXPECT_NE(refusedStacked.err.find("stacked"), std::string::npos) << refusedStacked.err;
    EXPECT_EQ(testsupport::fileText(folder_ / "stacked.chk"), stacked);
    const auto shown = runCli(folder_, {"show", "stacked.chk"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("The map is stacked"), std::string::npos) << shown.out;
}

// The same inputs typed into the window; the reference is the plain encoder.
struct SameFileCase {
    const char* what;
    Args args;
    trigfile::KillRewardSettings window;
    const char* writtenName;
    friend void PrintTo(const SameFileCase& c, std::ostream* os) { *os << c.what; }
};

class CliSameFile : public testsupport::ScratchFolder,
                    public testing::WithParamInterface<SameFileCase> {};

TEST_P(CliSameFile, WritesTheBytesTheWindowsCreateWrites) {
    const SameFileCase& c = GetParam();
    const auto run = runCli(folder_, c.args);
    ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
    const auto expected = testsupport::expectedFile(testsupport::planOrFail(c.window));
    EXPECT_TRUE(testsupport::readBytes(folder_ / c.writtenName) == expected)
        << c.what << ": " << c.writtenName << " differs from the window's file";
}

using testsupport::typed;
using trigfile::ActionKind;

INSTANTIATE_TEST_SUITE_P(
    Kinds, CliSameFile,
    testing::Values(
        SameFileCase{"ore, player 1, a name without .trg",
                     {"create", "--every", "5", "--up-to", "12", "--unit", "0", "--ore", "100",
                      "--player", "1", "-o", "Map1"},
                     typed("5", "12", "0", "100"),
                     "Map1.trg"},
        SameFileCase{"ore and gas, a unit by name in any case, an upper-case .TRG",
                     {"create", "--every", "3", "--up-to", "10", "--unit", "zERGLING", "--ore",
                      "70000", "--gas", "50", "--player", "2", "--player", "8", "-o", "MAP.TRG"},
                     owners(typed("3", "10", "37", "70000", "50"), {2, 8}, {}, false),
                     "MAP.TRG"},
        SameFileCase{"gas alone",
                     {"create", "--every", "7", "--up-to", "30", "--unit", "230", "--gas", "300",
                      "--force", "1", "-o", "gas.trg"},
                     owners(typed("7", "30", "230", "", "300"), {}, {1}, false),
                     "gas.trg"},
        SameFileCase{
            "score of a kind by name, force 2",
            {"create", "--every", "1", "--up-to", "4", "--unit", "Siege Tank(Siege mode)",
             "--score", "1000", "--score-kind", "kills and razings", "--force", "2", "-o",
             "score.trg"},
            owners(typed("1", "4", "30", "1000", "", ActionKind::Score), {}, {2}, false, 6),
            "score.trg"},
        SameFileCase{"switch 256, all players and a force",
                     {"create", "--every", "10", "--up-to", "9", "--unit", "Alan Schezar",
                      "--switch", "256", "--all-players", "--force", "4", "-o", "switch.trg"},
                     owners(typed("10", "9", "17", "256", "", ActionKind::Switch), {}, {4}, true),
                     "switch.trg"},
        SameFileCase{"a message in CP949",
                     {"create", "--every", "5", "--up-to", "20", "--unit", "0", "--ore", "100",
                      "--player", "1", "--message", "{kills} \xec\x95\x88 +{amount}", "--encoding",
                      "cp949", "-o", "told.trg"},
                     withMessage(typed("5", "20", "0", "100"), "{kills} \xec\x95\x88 +{amount}",
                                 trigfile::TextEncoding::Korean),
                     "told.trg"}));

} // namespace
