// The File menu's Add commands through the window: the questions asked, in
// order and in words, and what ends up on disk.

#include "app/add_command.h"
#include "app/box_names.h"
#include "app/create_command.h"
#include "app/qt_platform.h" // initialSaveFolder
#include "window_driver.h"

#include "maparchive/map_archive.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_record.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A trigger file of `count` triggers owned by Player 1, each waiting for
// `step` more kills of unit 0, adding 100 ore: the encoder's own bytes.
QByteArray triggerFile(std::uint32_t count, std::uint32_t step = 5) {
    trigfile::RecordFields fields;
    fields.reward = {trigfile::kCurrentPlayer, 100,
                     trigfile::kResourceOre,   trigfile::kActionSetResources,
                     trigfile::kModifierAdd,   trigfile::kActionAlwaysDisplay};
    fields.executionTable[trigfile::kPlayer1] = 1;
    const auto preamble = trigfile::encodePreamble();
    QByteArray out(reinterpret_cast<const char*>(preamble.data()), preamble.size());
    for (std::uint32_t k = 1; k <= count; ++k) {
        const auto record = trigfile::encodeRecord(fields, k * step);
        out.append(reinterpret_cast<const char*>(record.data()), record.size());
    }
    return out;
}

// Scenario data of two sections around a TRIG section with those records.
QByteArray scenario(const QByteArray& records) {
    auto section = [](const char* name, const QByteArray& data) {
        QByteArray s(name, 4);
        const auto size = static_cast<std::uint32_t>(data.size());
        for (int i = 0; i < 4; ++i) {
            s.append(static_cast<char>((size >> (8 * i)) & 0xFF));
        }
        return s + data;
    };
    return section("VER ", QByteArray("\xCD\x00", 2)) + section("TRIG", records) +
           section("STR ", QByteArray("\x01\x00\x04\x00hi\x00\x00", 8));
}

} // namespace

class AddTest : public WindowTestCase {
    Q_OBJECT

    // Kill step 5 up to 12 of unit 0, 100 ore and 20 gas, for Player 1.
    void fillTypical() { w->fill("optcash", {"5", "12", "0", "100", "20"}, {"chkp1"}); }
    // The two records fillTypical makes, as Create writes them.
    QByteArray typicalRecords() const {
        const QString trg = at("created.trg");
        w->platform.savedNames = {trg};
        if (!w->pressCreate()) {
            return {};
        }
        const QByteArray file = contents(trg);
        QFile::remove(trg);
        w->platform.messages.clear();
        w->platform.log.clear();
        return file.mid(trigfile::kPreambleSize);
    }

    // Packs scenario data into a map with smpq, PKWARE-compressed and
    // encrypted as the game's editor stores it.
    QString packMap(const QString& name, const QByteArray& chk) {
        const QString source = at("source");
        QDir().mkpath(source + "/staredit");
        if (!writeBytes(source + "/staredit/scenario.chk", chk)) {
            return {};
        }
        QProcess smpq;
        smpq.setWorkingDirectory(source);
        smpq.start(SMPQ_PROGRAM, {"-q", "-c", "-M", "1", "-C", "PKWARE", "-E", "-F", at(name),
                                  "staredit/scenario.chk"});
        const bool ok = smpq.waitForFinished(30000) && smpq.exitCode() == 0;
        QDir(source).removeRecursively();
        return ok ? at(name) : QString();
    }

  private slots:
    void bothCommandsAreInTheFileMenu() {
        const QList<QAction*> file = w->get<QMenu>("titlefile")->actions();
        QVERIFY2(file.contains(w->get<QAction>("menuaddtrg")) &&
                     file.contains(w->get<QAction>("menuaddmap")),
                 "both Add commands belong to the File menu");
        QVERIFY2(!w->get<QAction>("menuaddtrg")->isEnabled(),
                 "like Create, Add waits for the boxes it needs");
    }

    void addingToATriggerFileKeepsItsTriggersAndAppendsCreatesRecords() {
        fillTypical();
        const QByteArray added = typicalRecords();
        QCOMPARE(added.size(), 2 * 2400);
        const QByteArray old = triggerFile(3);
        QVERIFY(writeBytes(at("Old.trg"), old));

        w->platform.openedNames = {at("Old.trg")};
        QVERIFY(w->chooseFileCommand("menuaddtrg"));
        QCOMPARE(w->platform.log, (QStringList{"open", addtexts::kAddedTitle}));
        QCOMPARE(w->platform.openDialogues.front().title, QStringLiteral("Add to trigger file"));
        QVERIFY2(contents(at("Old.trg")) == old + added,
                 "the old file whole, then exactly Create's records, no second empty trigger");
        QVERIFY2(w->platform.messages.back().text.contains("now holds 6 triggers") &&
                     w->platform.messages.back().text.contains("kept as") &&
                     w->platform.messages.back().text.contains("Old.before-tallyforge.trg"),
                 qPrintable(w->platform.messages.back().text));
        QCOMPARE(contents(at("Old.before-tallyforge.trg")), old);
        QCOMPARE(files(), (QStringList{"Old.before-tallyforge.trg", "Old.trg"}));
    }

    void addingToAMapNamesTheBackupBeforeAndAfter() {
#ifdef Q_OS_WIN
        QSKIP("the map is packed with the build machine's smpq, which a Windows build cannot run");
#endif
        fillTypical();
        const QByteArray added = typicalRecords();
        const QByteArray oldRecords = triggerFile(2).mid(trigfile::kPreambleSize);
        const QString map = packMap("Castle.scx", scenario(oldRecords));
        QVERIFY(!map.isEmpty());
        const QByteArray original = contents(map);

        // First the user says No: nothing changes.
        w->platform.openedNames = {map, map};
        w->platform.answers = {MessageAnswer::No, MessageAnswer::Yes};
        QVERIFY(w->chooseFileCommand("menuaddmap"));
        QCOMPARE(w->platform.log, (QStringList{"open", addtexts::kConfirmTitle}));
        QVERIFY2(w->platform.messages.back().text.contains("Castle.before-tallyforge.scx"),
                 "the question names the backup the add would keep");
        QCOMPARE(contents(map), original);
        QCOMPARE(files(), QStringList{"Castle.scx"});

        QVERIFY(w->chooseFileCommand("menuaddmap"));
        QCOMPARE(w->platform.log.mid(2),
                 (QStringList{"open", addtexts::kConfirmTitle, addtexts::kAddedTitle}));
        QVERIFY2(w->platform.messages.back().text.contains("Castle.before-tallyforge.scx"),
                 qPrintable(w->platform.messages.back().text));
        QCOMPARE(contents(at("Castle.before-tallyforge.scx")), original);
        const auto read = maparchive::readScenarioData(map.toStdString());
        QVERIFY(read.ok());
        const auto& chk = read.value();
        QVERIFY2(QByteArray(reinterpret_cast<const char*>(chk.data()),
                            static_cast<qsizetype>(chk.size())) == scenario(oldRecords + added),
                 "the map's other sections as they were, its TRIG grown by Create's records");
    }

    void refusalsComeBeforeAnyFileIsTouched_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("target"); // empty: no dialogue is expected
        QTest::addColumn<QString>("mustSay");
        QTest::newRow("kill step refused before the dialogue")
            << "menuaddtrg" << QStringList{"0", "12", "0", "100", ""} << QByteArray()
            << QString(boxnames::kKillStepCaption);
        QTest::newRow("damaged trigger file")
            << "menuaddtrg" << QStringList{"5", "12", "0", "100", ""} << triggerFile(2).left(5000)
            << QStringLiteral("damaged or cut short");
        QTest::newRow("scenario data with a TRIG section of part of a trigger")
            << "menuaddmap" << QStringList{"5", "12", "0", "100", ""}
            << scenario(QByteArray(100, '\1')) << QStringLiteral("TRIG");
    }
    void refusalsComeBeforeAnyFileIsTouched() {
        QFETCH(QString, command);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, target);
        QFETCH(QString, mustSay);
        w->fill("optcash", texts, {"chkp1"});
        const QString path = at(command == "menuaddtrg" ? "Target.trg" : "Target.chk");
        if (!target.isEmpty()) {
            QVERIFY(writeBytes(path, target));
            w->platform.openedNames = {path};
        }
        QVERIFY(w->chooseFileCommand(command));
        const QStringList expectedLog = target.isEmpty()
                                            ? QStringList{addtexts::kRefusedTitle}
                                            : QStringList{"open", addtexts::kRefusedTitle};
        QCOMPARE(w->platform.log, expectedLog);
        QVERIFY2(w->platform.messages.back().text.contains(mustSay),
                 qPrintable(w->platform.messages.back().text));
        if (!target.isEmpty()) {
            QCOMPARE(contents(path), target);
            QCOMPARE(files().size(), 1);
        }
    }

    // An add that takes a moment says in its progress box what it does.
    void theProgressBoxOfAnAddNamesTheFile() {
        w->fill("optcash", {"1", "9000", "0", "100", ""}, {"chkp1"});
        const QByteArray old = triggerFile(3);
        QVERIFY(writeBytes(at("Old.trg"), old));
        w->platform.openedNames = {at("Old.trg")};
        std::atomic<bool> boxSeen{false};
        w->form.setDiskForTests(
            [&](trigfile::ByteSink& file) { return std::make_unique<HeldDisk>(file, boxSeen); });
        QString title;
        w->platform.onProgressShown = [&](QProgressDialog& box) {
            title = box.windowTitle();
            QTest::mouseClick(box.findChild<QPushButton*>(), Qt::LeftButton);
            boxSeen = true;
        };
        QVERIFY(w->chooseFileCommand("menuaddtrg"));
        QCOMPARE(w->platform.progressBoxesShown, 1);
        QCOMPARE(title, QStringLiteral("Adding to Old.trg"));
        QCOMPARE(w->platform.log, QStringList{"open"}); // cancelled: nothing more to say
        QCOMPARE(contents(at("Old.trg")), old);
    }

    // A map author works in one folder: every file dialogue opens where a
    // file was last chosen, by any of them, and so does the next run.
    void everyDialogueOpensInTheFolderChosenLast() {
        const QString first = at("maps/castle");
        const QString second = at("other");
        QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
        QVERIFY(writeBytes(first + "/bad.trg", "no triggers"));
        fillTypical();
        w->platform.openedNames = {first + "/bad.trg"}; // refused, but chosen there
        w->get<QAction>("menuopen")->trigger();
        QVERIFY(w->chooseFileCommand("menuaddmap")); // cancelled
        w->platform.savedNames = {second + "/new.trg"};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QVERIFY(w->chooseFileCommand("menuaddtrg")); // cancelled
        QCOMPARE(w->platform.log, (QStringList{"open", "Error: Can't open", "open", "save",
                                               "Please hold...", "File created", "open"}));
        QStringList folders;
        for (const OpenRequest& open : w->platform.openDialogues) {
            folders << open.folder;
        }
        QCOMPARE(folders, (QStringList{initialSaveFolder(), first, second}));
        QCOMPARE(w->platform.dialogues.front().folder, first);
        QCOMPARE(w->platform.dialogues.front().fileName, QStringLiteral("Triggers.trg"));

        WindowDriver nextRun(false);
        nextRun.get<QAction>("menuopen")->trigger();
        QCOMPARE(nextRun.platform.openDialogues.front().folder, second);

        // A folder that is gone: the dialogues open where they first did.
        QVERIFY(QDir(second).removeRecursively());
        WindowDriver afterRemoval(false);
        afterRemoval.get<QAction>("menuopen")->trigger();
        QCOMPARE(afterRemoval.platform.openDialogues.front().folder, initialSaveFolder());
    }

    void theWarningCountsTheTriggersAlreadyThere() {
        // 65,000 new triggers alone stay under the most a player may own;
        // with the 600 already in the file for Player 1 they do not.
        w->fill("optcash", {"1", "65000", "0", "100", ""}, {"chkp1"});
        const QByteArray old = triggerFile(600);
        QVERIFY(writeBytes(at("Old.trg"), old));
        w->platform.openedNames = {at("Old.trg")};
        QVERIFY(w->chooseFileCommand("menuaddtrg"));
        QCOMPARE(w->platform.log, (QStringList{"open", createtexts::kManyTitle}));
        QVERIFY2(
            w->platform.messages.back().text.contains("65,600 triggers, 600 of them") &&
                w->platform.messages.back().text.contains(trigfile::kForcesCountedForEveryPlayer),
            qPrintable(w->platform.messages.back().text));
        QCOMPARE(contents(at("Old.trg")), old);
    }
};

QTEST_MAIN(AddTest)
#include "add_test.moc"
