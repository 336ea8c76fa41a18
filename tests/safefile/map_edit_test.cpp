// The safe edit of a map: a copy beside it, a backup that is never
// replaced, the copy put in place only when complete, and a map that another
// program holds or changes left alone.

#include "safefile/map_edit.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

void writeAll(safefile::ByteSink& sink, const std::string& text) {
    sink.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// What StormLib's compaction does to the file it is given: it writes the
// rebuilt archive beside it, under the file's name with ".tmp" added, and
// renames that over the file.
fs::path rebuildingName(const fs::path& workingCopy) {
    return workingCopy.string() + ".tmp";
}
#ifndef _WIN32
void rebuildLikeStormLib(const fs::path& workingCopy, const std::string& rebuilt) {
    writeBytes(rebuildingName(workingCopy), rebuilt);
    fs::rename(rebuildingName(workingCopy), workingCopy);
}
#endif

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
        EXPECT_EQ(safefile::backupName(c.map, c.number), fs::path(c.backup)) << c.map;
    }
}

class MapEditTest : public testsupport::ScratchFolder {
  protected:
    fs::path map() const { return folder_ / "Castle.scx"; }
};

TEST_F(MapEditTest, ReplacesTheMapAndKeepsEachOriginalUnderANewName) {
    writeBytes(map(), "first");
    for (const char* next : {"second", "third"}) {
        safefile::MapEdit edit(map());
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
        safefile::MapEdit edit(map());
        edit.copyOriginal();
        writeAll(edit.copy(), "half an edit");
    }
    EXPECT_EQ(readBytes(map()), asBytes("the author's map"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

TEST_F(MapEditTest, CancelDuringTheFlushLeavesTheMapAndNoBackup) {
    writeBytes(map(), "the author's map");
    std::atomic<bool> cancelled{true};
    safefile::MapEdit edit(map());
    writeAll(edit.copy(), "new");
    EXPECT_FALSE(edit.commit(&cancelled).has_value());
    EXPECT_EQ(readBytes(map()), asBytes("the author's map"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

TEST_F(MapEditTest, AMapChangedByAnotherProgramMeanwhileIsLeftAsThatProgramSavedIt) {
    writeBytes(map(), "the author's map");
    safefile::MapEdit edit(map());
    writeAll(edit.copy(), "our edit");
    std::ofstream other(map(), std::ios::binary);
#ifdef _WIN32
    // Windows keeps other programs from writing while the edit holds the map.
    EXPECT_FALSE(other.is_open()) << "another program could open the map for writing";
    other.close();
    ASSERT_TRUE(edit.commit().has_value());
    EXPECT_EQ(readBytes(map()), asBytes("our edit"));
#else
    other << "saved by the editor meanwhile";
    other.close();
    try {
        edit.commit();
        FAIL() << "a map changed during the edit must not be replaced";
    } catch (const safefile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program changed it"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(readBytes(map()), asBytes("saved by the editor meanwhile"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"})
        << "neither the copy nor a backup may be left";
#endif
}

// Another save into the same folder (a second Tallyforge, a script running
// adds side by side) removes the leftovers of killed writers; the files of a
// map being rebuilt by another library are not leftovers, whatever that
// library renames.
TEST_F(MapEditTest, AnotherSaveIntoTheFolderLeavesAMapBeingRebuiltAlone) {
    writeBytes(map(), "the author's map");
    safefile::MapEdit edit(map());
    edit.copyOriginal();
    edit.release();
    writeBytes(rebuildingName(edit.workingCopy()), "rebuilt");
    { safefile::AtomicFile other(folder_ / "other.trg"); }
    EXPECT_TRUE(fs::exists(rebuildingName(edit.workingCopy())))
        << "the half-rebuilt map was taken for a leftover";
    fs::rename(rebuildingName(edit.workingCopy()), edit.workingCopy());
    { safefile::AtomicFile other(folder_ / "other.trg"); }
    ASSERT_TRUE(edit.commit().has_value());
    EXPECT_EQ(readBytes(map()), asBytes("rebuilt"));
    EXPECT_EQ(namesIn(folder_),
              (std::vector<std::string>{"Castle.before-tallyforge.scx", "Castle.scx"}));
}

// A rebuild that fails or is abandoned half way leaves the other library's
// file too; it goes with the edit.
TEST_F(MapEditTest, AnEditAbandonedDuringARebuildLeavesNothingBehind) {
    writeBytes(map(), "the author's map");
    {
        safefile::MapEdit edit(map());
        edit.copyOriginal();
        edit.release();
        writeBytes(rebuildingName(edit.workingCopy()), "half rebuilt");
    }
    EXPECT_EQ(readBytes(map()), asBytes("the author's map"));
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
}

// The backup gets the map's name with ".before-tallyforge" added; a map
// whose name leaves no room for that is refused before any work is done.
TEST_F(MapEditTest, AMapNameTooLongForItsBackupIsRefusedBeforeAnythingIsWritten) {
    const fs::path longMap = folder_ / (std::string(240, 'c') + ".scx");
    writeBytes(longMap, "the author's map");
    const auto before = namesIn(folder_);
    try {
        safefile::MapEdit edit(longMap);
        FAIL() << "a map whose backup name cannot exist was accepted";
    } catch (const safefile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("shorter name"), std::string::npos) << e.what();
    }
    EXPECT_EQ(namesIn(folder_), before);
}

#ifndef _WIN32
// A map reached through a symbolic link: the new map goes to the file the
// link names, the link stays, and the backup holds the old bytes as a file
// of its own beside that file. A second name for the link itself would
// show the new map.
TEST_F(MapEditTest, ALinkedMapIsBackedUpBesideTheFileTheLinkNames) {
    const struct {
        const char* what;
        const char* linksTo; // as stored in the link Castle.scx
        const char* real;    // the file it ends at
    } cases[] = {
        {"link beside its file", "real.scx", "real.scx"},
        {"link into another folder", "maps/real.scx", "maps/real.scx"},
        {"link to a link", "maps/link.scx", "maps/real.scx"},
    };
    for (const auto& c : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "maps");
        writeBytes(folder_ / c.real, "old");
        fs::create_symlink(c.linksTo, map());
        if (std::string(c.linksTo) == "maps/link.scx") {
            fs::create_symlink("real.scx", folder_ / "maps" / "link.scx");
        }
        const fs::path real = folder_ / c.real;
        EXPECT_EQ(safefile::nextBackupName(map()), safefile::backupName(real, 1))
            << c.what << ": the question before the edit names the backup";
        safefile::MapEdit edit(map());
        edit.copyOriginal();
        writeAll(edit.copy(), "+new");
        const auto backup = edit.commit();
        ASSERT_TRUE(backup.has_value()) << c.what;
        EXPECT_EQ(*backup, safefile::backupName(real, 1)) << c.what;
        EXPECT_FALSE(fs::is_symlink(*backup)) << c.what;
        EXPECT_EQ(readBytes(*backup), asBytes("old")) << c.what;
        EXPECT_EQ(readBytes(real), asBytes("old+new")) << c.what;
        EXPECT_EQ(fs::read_symlink(map()), fs::path(c.linksTo)) << c.what << ": the link stays";
    }
}

// StormLib's rebuild replaces the working copy with a file of its own
// making, with its own mode and the writer's group; the map keeps its own.
TEST_F(MapEditTest, AMapRebuiltByAnotherLibraryKeepsItsModeAndGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the map another group needs root";
    }
    for (const mode_t mode : {0600, 0640, 0660}) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        writeBytes(map(), "the author's map");
        ASSERT_EQ(::chown(map().c_str(), 0, 65534), 0); // root:nogroup
        ASSERT_EQ(::chmod(map().c_str(), mode), 0);
        safefile::MapEdit edit(map());
        edit.copyOriginal();
        edit.release();
        rebuildLikeStormLib(edit.workingCopy(), "rebuilt");
        ASSERT_TRUE(edit.commit().has_value());
        struct stat st {};
        ASSERT_EQ(::stat(map().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(st.st_gid, 65534u) << std::oct << mode;
        EXPECT_EQ(readBytes(map()), asBytes("rebuilt"));
    }
}

// Changes that keep the map's size and modification time: a program that
// saves a new file and renames it over the map, or rewrites it in place,
// and puts the old time back. Both are noticed, and the map is left as that
// program saved it.
TEST_F(MapEditTest, AChangeThatKeepsSizeAndTimeIsNoticed) {
    const struct {
        const char* what;
        bool renamedOver;
    } cases[] = {{"a new file renamed over it", true}, {"rewritten in place", false}};
    for (const auto& c : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        writeBytes(map(), "the author's map");
        const auto time = fs::last_write_time(map());
        // A real edit comes long after the map was last changed; the file
        // system's clock moves in ticks of a few milliseconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        safefile::MapEdit edit(map());
        writeAll(edit.copy(), "our edit");
        const std::string theirs = "the editor's map"; // as long as the author's
        if (c.renamedOver) {
            writeBytes(folder_ / "saving.scx", theirs);
            fs::last_write_time(folder_ / "saving.scx", time);
            fs::rename(folder_ / "saving.scx", map());
        } else {
            std::fstream(map(), std::ios::in | std::ios::out | std::ios::binary) << theirs;
            fs::last_write_time(map(), time);
        }
        ASSERT_EQ(fs::file_size(map()), theirs.size());
        ASSERT_EQ(fs::last_write_time(map()), time);
        EXPECT_THROW(edit.commit(), safefile::WriteError) << c.what;
        EXPECT_EQ(readBytes(map()), asBytes(theirs)) << c.what;
        EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"}) << c.what;
    }
}
#endif

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
            safefile::MapEdit edit(c.map);
            ADD_FAILURE() << c.map << " was accepted";
        } catch (const safefile::WriteError& e) {
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
        safefile::MapEdit edit(map());
        ADD_FAILURE() << "a map open for writing was accepted";
    } catch (const safefile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program has it open"), std::string::npos)
            << e.what();
    }
    CloseHandle(editor);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
    EXPECT_NO_THROW(safefile::MapEdit{map()}) << "once the editor lets go, the map can be edited";
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
        safefile::MapEdit edit(map());
        ADD_FAILURE() << "a locked map was accepted";
    } catch (const safefile::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("another program has it open"), std::string::npos)
            << e.what();
    }
    ::close(editor);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{"Castle.scx"});
    EXPECT_NO_THROW(safefile::MapEdit{map()}) << "once the editor lets go, the map can be edited";
}
#endif

} // namespace
