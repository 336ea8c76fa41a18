// What must hold for the written file on every system the program runs on,
// Windows above all: names in any script, long names, bytes that a text-mode
// file would change, and replacing an existing file in one step.

#include "safefile/atomic_file.h"
#include "safefile/temporary_files.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "trigfile/trigger_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::namesIn;
using testsupport::readBytes;
using Kind = base::Problem::Kind;
using testsupport::expectedFile;

const trigfile::TriggerSeries& smallSeries() {
    static const trigfile::TriggerSeries series =
        testsupport::planOrFail(testsupport::typed("5", "50", "0", "100"));
    return series;
}

// The UTF-8 bytes as a plain string, for comparing and printing.
std::string utf8(const std::u8string& s) {
    return std::string(s.begin(), s.end());
}

// Notes the name of the writer's temporary file while it exists.
class TemporaryNameSpy : public trigfile::ByteSink {
  public:
    TemporaryNameSpy(trigfile::ByteSink& file, fs::path folder, std::string& seen)
        : file_(file), folder_(std::move(folder)), seen_(seen) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        file_.write(data, size);
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = utf8(entry.path().filename().u8string());
            if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
                seen_ = name;
            }
        }
    }

  private:
    trigfile::ByteSink& file_;
    fs::path folder_;
    std::string& seen_;
};

using PortableFileTest = testsupport::ScratchFolder;

// Names as the save dialogue hands them over, in UTF-8.
struct Name {
    const char* what;
    std::u8string name;
    friend void PrintTo(const Name& n, std::ostream* os) { *os << n.what; }
};

class NameTest : public testsupport::ScratchFolder, public testing::WithParamInterface<Name> {};

TEST_P(NameTest, IsWrittenUnderExactlyThatName) {
    const fs::path target = folder_ / fs::path(GetParam().name);
    std::string temporary;
    const auto outcome =
        trigfile::writeTriggerFile(target, smallSeries(), nullptr, [&](trigfile::ByteSink& file) {
            return std::make_unique<TemporaryNameSpy>(file, folder_, temporary);
        });
    ASSERT_TRUE(outcome.ok()) << outcome.reason();

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        names.push_back(utf8(entry.path().filename().u8string()));
    }
    EXPECT_EQ(names, std::vector<std::string>{utf8(GetParam().name)});
    EXPECT_EQ(readBytes(target), expectedFile(smallSeries()));

    ASSERT_FALSE(temporary.empty()) << "no temporary file was seen during the write";
    EXPECT_EQ(temporary.front(), '.');
    EXPECT_LE(temporary.size(), 255u) << "the temporary name must fit where the name fits";
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, NameTest,
    testing::Values(Name{"ASCII", u8"Triggers.trg"}, Name{"Latin accents", u8"Überfälle.trg"},
                    Name{"Cyrillic with a blank", u8"Карта 1.trg"},
                    Name{"Japanese", u8"ザーグ狩り.trg"},
                    Name{"a character outside the BMP", u8"\U0001F3AE map.trg"}));

#ifndef _WIN32
// Windows limits a whole path to 260 characters unless told otherwise; these
// are about the 255 bytes a POSIX file system allows for one name.
INSTANTIATE_TEST_SUITE_P(LongestNames, NameTest,
                         testing::Values(Name{"250 bytes", std::u8string(246, u8'x') + u8".trg"},
                                         Name{"255 bytes", std::u8string(251, u8'y') + u8".trg"},
                                         Name{"84 three-byte characters", [] {
                                                  std::u8string n;
                                                  for (int i = 0; i < 82; ++i) {
                                                      n += u8"字";
                                                  }
                                                  return n + u8".trg";
                                              }()}));
#endif

// Bytes that a text-mode file changes: line feeds become CR LF on Windows,
// and 0x1A ends a file read in text mode.
struct Bytes {
    const char* what;
    trigfile::KillRewardSettings settings;
    std::size_t recordOffset; // a byte of record 0 that must come out as is
    std::uint8_t value;
    friend void PrintTo(const Bytes& b, std::ostream* os) { *os << b.what; }
};

class BinaryBytes : public testsupport::ScratchFolder, public testing::WithParamInterface<Bytes> {};

TEST_P(BinaryBytes, AreWrittenUnchanged) {
    const auto series = testsupport::planOrFail(GetParam().settings);
    const fs::path target = folder_ / "bytes.trg";
    ASSERT_TRUE(trigfile::writeTriggerFile(target, series).ok());
    EXPECT_EQ(fs::file_size(target), series.fileSize());
    const auto file = readBytes(target);
    ASSERT_EQ(file, expectedFile(series));
    EXPECT_EQ(file[trigfile::kPreambleSize + GetParam().recordOffset], GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    TextModeTraps, BinaryBytes,
    testing::Values(
        // thresholds 10, 20, ... 2560 and unit 10: line feeds everywhere
        Bytes{"line feeds", testsupport::typed("10", "2560", "10", "1"), 8, 0x0A},
        // switch 14 is index 13: a carriage return before the Set Switch 13
        Bytes{"carriage returns",
              testsupport::typed("13", "1300", "13", "14", "", trigfile::ActionKind::Switch),
              320 + 20, 0x0D},
        // 2573 ore is 0D 0A: a CR LF pair inside the amount
        Bytes{"a CR LF pair", testsupport::typed("1", "300", "0", "2573"), 320 + 20, 0x0D},
        // every Money action is Set Resources, 26 = 0x1A
        Bytes{"end-of-file marks", testsupport::typed("1", "300", "26", "26", "26"), 320 + 26,
              0x1A}));

TEST_F(PortableFileTest, ReplacingAnExistingFileLeavesOnlyTheNewOne) {
    const fs::path target = folder_ / "Triggers.trg";
    testsupport::writeBytes(target, std::string(50000, '\n'));
    ASSERT_TRUE(trigfile::writeTriggerFile(target, smallSeries()).ok());
    EXPECT_EQ(readBytes(target), expectedFile(smallSeries()));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Triggers.trg"});
    // and again over the file just written, as a second Create does
    ASSERT_TRUE(trigfile::writeTriggerFile(target, smallSeries()).ok());
    EXPECT_EQ(readBytes(target), expectedFile(smallSeries()));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Triggers.trg"});
}

// A save removes the temporary files that killed writers left in its
// folder, never the one of a save still being written (on Windows that file
// is open without sharing, elsewhere its writer holds a lock on it).
TEST_F(PortableFileTest, ASaveRemovesLeftoversButNotAFileBeingWritten) {
    const fs::path leftover = safefile::temporaryNameFor(folder_ / "big.trg", 0x1234abcdu);
    testsupport::writeBytes(leftover, "the first gigabytes of a killed write");
    // A map edit killed while StormLib rebuilt its working copy leaves that
    // copy and StormLib's new file beside it, whose name adds ".tmp"; older
    // versions handed StormLib the temporary file itself.
    const fs::path map = safefile::temporaryNameFor(folder_ / "Castle.scx", 0x0badf00du);
    const fs::path leftovers[] = {leftover, fs::path(map.native() + fs::path(".work").native()),
                                  fs::path(map.native() + fs::path(".work.tmp").native()),
                                  fs::path(map.native() + fs::path(".tmp").native())};
    for (const fs::path& p : leftovers) {
        testsupport::writeBytes(p, "left by a killed write");
    }
    safefile::AtomicFile stillWriting(folder_ / "other.trg");
    ASSERT_TRUE(trigfile::writeTriggerFile(folder_ / "new.trg", smallSeries()).ok());
    for (const fs::path& p : leftovers) {
        EXPECT_FALSE(fs::exists(p)) << utf8(p.filename().u8string());
    }
    EXPECT_EQ(namesIn(folder_),
              (std::vector<std::string>{utf8(stillWriting.temporaryPath().filename().u8string()),
                                        "new.trg"}));
}

#ifndef _WIN32
// The replacement happens in one step: a program that has the old file open
// keeps reading the old file whole, never a mix of old and new.
TEST_F(PortableFileTest, AReaderOfTheOldFileKeepsSeeingItWhole) {
    const fs::path target = folder_ / "Triggers.trg";
    const std::string old(10000, 'o');
    testsupport::writeBytes(target, old);
    std::ifstream reader(target, std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    ASSERT_TRUE(trigfile::writeTriggerFile(target, smallSeries()).ok());
    const std::string seen((std::istreambuf_iterator<char>(reader)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, old);
    EXPECT_EQ(readBytes(target), expectedFile(smallSeries()));
}
#endif

#ifdef _WIN32
// On Windows a file that another program holds open without sharing cannot
// be replaced; the write must fail with the system's reason and leave both
// files as they were.
TEST_F(PortableFileTest, AFileHeldOpenByAnotherProgramIsLeftAlone) {
    const fs::path target = folder_ / "Triggers.trg";
    testsupport::writeBytes(target, "held by StarEdit");
    int fd = -1;
    ASSERT_EQ(_wsopen_s(&fd, target.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW, _S_IREAD), 0);
    const auto outcome = trigfile::writeTriggerFile(target, smallSeries());
    _close(fd);
    EXPECT_TRUE(outcome.is(base::Problem::Kind::Failed));
    EXPECT_NE(outcome.reason().find("Triggers.trg"), std::string::npos) << outcome.reason();
    // Windows answers "access denied" or "sharing violation", by version.
    const auto says = [&](DWORD error) {
        return outcome.reason().find(std::system_category().message(static_cast<int>(error))) !=
               std::string::npos;
    };
    EXPECT_TRUE(says(ERROR_ACCESS_DENIED) || says(ERROR_SHARING_VIOLATION)) << outcome.reason();
    EXPECT_EQ(readBytes(target).size(), 16u);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Triggers.trg"});
}
#endif

} // namespace
