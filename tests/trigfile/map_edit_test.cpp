// The safe edit of a map: a copy beside it, a backup that is never
// replaced, the copy put in place only when complete, and a map that another
// program holds or changes left alone.

#include "map_edit.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::namesIn;
using testsupport::readBytes;
using testsupport::writeBytes;

std::vector<std::uint8_t> asBytes(const std::string& s) {
    return {s.begin(), s.end()};
}

void writeAll(trigfile::ByteSink& sink, const std::string& text) {
    sink.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

struct BackupNameCase {
    const char* map;
    int number;
    const char* backup;
};

TEST(BackupName, KeepsTheExtensionAndNumbersLaterBackups) {
    const BackupNameCase cases[] = {
        {"maps/Castle.scx", 1, "maps/Castle.before-tallyforge.scx"},
        {"maps/Castle.scx", 2, "maps/Castle.before-tallyforge-2.scx"},
        {"Two.dots.chk", 12, "Two.dots.before-tallyforge-12.chk"},
        {"NoExtension", 1, "NoExtension.before-tallyforge"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trigfile::backupName(c.map, c.number), fs::path(c.backup)) << c.map;
    }
}

class MapEditTest : public testsupport::ScratchFolder {
  protected:
    fs::path map() const { return folder_ / "Castle.scx"; }
};

TEST_F(MapEditTest, ReplacesTheMapAndKeepsEachOriginalUnderANewName) {
    writeBytes(map(), "first");
    for (const char* next : {"second", "third"}) {
        trigfile::MapEdit edit(map());
        edit.copyOriginal();
        writeAll(edit.copy(), std::string("+") + next);
        ASSERT_TRUE(edit.commit().has_value());
    }
    EXPECT_EQ(readBytes(map()), asBytes("first+second+third"));
    EXPECT_EQ(readBytes(folder_ / "Castle.before-tallyforge.scx"), asBytes("first"))
        << "the first backup must never be replaced by a later one";
    EXPECT_EQ(readBytes(folder_ / "Castle.before-tallyforge-2.scx"), asBytes("first+second"));
    EXPECT_EQ(namesIn(folder_).size(), 3u) << "no copy may be left behind";
}

TEST_F(MapEditTest, AnEditNeverCommittedLeavesTheMapAndNothingElse) {
    writeBytes(map(), "the author's map");
    {
        trigfile::MapEdit edit(map());
        edit.copyOriginal();
        writeAll(edit.copy(), "half an edit");
    }
    EXPECT_EQ(readBytes(map()), asBytes("the author's map"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

TEST_F(MapEditTest, CancelDuringTheFlushLeavesTheMapAndNoBackup) {
    writeBytes(map(), "the author's map");
    std::atomic<bool> cancelled{true};
    trigfile::MapEdit edit(map());
    writeAll(edit.copy(), "new");
    EXPECT_FALSE(edit.commit(&cancelled).has_value());
    EXPECT_EQ(readBytes(map()), asBytes("the author's map"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

TEST_F(MapEditTest, AMapChangedByAnotherProgramMeanwhileIsLeftAsThatProgramSavedIt) {
    writeBytes(map(), "the author's map");
    trigfile::MapEdit edit(map());
    writeAll(edit.copy(), "our edit");
    writeBytes(map(), "saved by the editor meanwhile");
    try {
        edit.commit();
        FAIL() << "a map changed during the edit must not be replaced";
    } catch (const trigfile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program changed it"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(readBytes(map()), asBytes("saved by the editor meanwhile"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"})
        << "neither the copy nor a backup may be left";
}

TEST_F(MapEditTest, RefusesWhatItCannotReplaceBeforeWritingAnything) {
    fs::create_directory(folder_ / "Folder.scx");
    writeBytes(folder_ / "ReadOnly.scx", "x");
    fs::permissions(folder_ / "ReadOnly.scx", fs::perms::owner_read);
    const struct {
        fs::path map;
        const char* reason;
    } cases[] = {
        {folder_ / "Missing.scx", "there is no such file"},
        {folder_ / "Folder.scx", "does not belong to a file"},
        {folder_ / "ReadOnly.scx", "read-only"},
    };
    const auto before = namesIn(folder_);
    for (const auto& c : cases) {
        try {
            trigfile::MapEdit edit(c.map);
            ADD_FAILURE() << c.map << " was accepted";
        } catch (const trigfile::WriteError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(namesIn(folder_), before);
}

#ifdef _WIN32
TEST_F(MapEditTest, AMapAnotherProgramHoldsOpenForWritingIsRefusedWithTheReason) {
    writeBytes(map(), "open in the editor");
    // As a map editor holds the map it has open: for writing, sharing reads.
    HANDLE editor = CreateFileW(map().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    try {
        trigfile::MapEdit edit(map());
        ADD_FAILURE() << "a map open for writing was accepted";
    } catch (const trigfile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program has it open"), std::string::npos)
            << e.what();
    }
    CloseHandle(editor);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
    EXPECT_NO_THROW(trigfile::MapEdit{map()}) << "once the editor lets go, the map can be edited";
}
#else
TEST_F(MapEditTest, AMapAnotherProgramHoldsLockedIsRefusedWithTheReason) {
    writeBytes(map(), "open in the editor");
    // flock locks belong to an open file, so this one conflicts with the
    // edit's as another program's would.
    const int editor = ::open(map().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(editor, 0);
    ASSERT_EQ(::flock(editor, LOCK_EX | LOCK_NB), 0);
    try {
        trigfile::MapEdit edit(map());
        ADD_FAILURE() << "a locked map was accepted";
    } catch (const trigfile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program has it open"), std::string::npos)
            << e.what();
    }
    ::close(editor);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
    EXPECT_NO_THROW(trigfile::MapEdit{map()}) << "once the editor lets go, the map can be edited";
}
#endif

} // namespace
