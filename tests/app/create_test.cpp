#include "app/create_command.h"
#include "app/message_dialog.h"
#include "app/qt_platform.h"
#include "window_driver.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "base/number_text.h"
#include "reference_file.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_record.h"

#include <memory>

Q_DECLARE_METATYPE(trigfile::RecordFields)

namespace {

using trigfile::ActionFields;

ActionFields addResources(std::uint32_t amount, std::uint16_t resource) {
    return {trigfile::kCurrentPlayer,
            amount,
            resource,
            trigfile::kActionSetResources,
            trigfile::kModifierAdd,
            trigfile::kActionAlwaysDisplay};
}

// The bytes the format prescribes for these fields, built from the encoder
// alone, not through the window or the series planner.
QByteArray expectedFile(const trigfile::RecordFields& fields, std::uint32_t step,
                        std::uint32_t count) {
    const auto bytes = testsupport::expectedFile(trigfile::TriggerSeries{step, count, fields});
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

class CreateTest : public WindowTestCase {
    Q_OBJECT

    void fill(const QString& action, const QStringList& texts, const QStringList& marks) {
        w->fill(action, texts, marks);
    }
    void fillTypical() { fill("optcash", {"5", "12", "0", "100", "20"}, {"chkp1"}); }
    QByteArray typicalBytes() const {
        trigfile::RecordFields fields;
        fields.reward = addResources(100, trigfile::kResourceOre);
        fields.extraGas = addResources(20, trigfile::kResourceGas);
        fields.executionTable[0] = 1;
        return expectedFile(fields, 5, 2);
    }

  private slots:
    void fileThroughTheWindowEqualsTheFormat_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("marks");
        QTest::addColumn<trigfile::RecordFields>("fields");
        QTest::addColumn<uint>("step");
        QTest::addColumn<uint>("count");
        using namespace trigfile;

        RecordFields money;
        money.unitId = 37;
        money.reward = addResources(100, kResourceOre);
        money.extraGas = addResources(20, kResourceGas);
        money.executionTable[kPlayer1] = 1;
        QTest::newRow("ore and gas, Enter in the maximum")
            << "optcash" << QStringList{"5", "12\r\n", "37", "100", "20"} << QStringList{"chkp1"}
            << money << 5u << 2u;

        RecordFields gasOnly = money;
        gasOnly.unitId = 0;
        gasOnly.reward = addResources(300, kResourceGas);
        gasOnly.extraGas.reset();
        QTest::newRow("ore 0 gives gas only") << "optcash" << QStringList{"3", "4", "0", "0", "300"}
                                              << QStringList{"chkp1"} << gasOnly << 3u << 1u;

        RecordFields score;
        score.unitId = 230;
        score.reward = {kCurrentPlayer, 9, 4, kActionSetScore, kModifierAdd, kActionAlwaysDisplay};
        score.executionTable[kPlayer1 + 1] = 1;
        score.executionTable[kForce1] = 1;
        score.executionTable[kAllPlayers] = 1;
        QTest::newRow("score kills, step 2.5 taken as 2")
            << "optscore" << QStringList{"2.5", "7", "230", "9", ""}
            << QStringList{"Option5", "chkp2", "chkf1", "chkap"} << score << 2u << 3u;

        RecordFields sw;
        sw.unitId = 232;
        sw.reward = {0, 0, 0, kActionSetSwitch, kSwitchStateSet, kActionAlwaysDisplay};
        sw.executionTable[kPlayer1 + 7] = 1; // a greyed box is not a tick in the file
        QTest::newRow("switch 1 is index 0")
            << "optswitch" << QStringList{"4", "12", "232", "1", ""}
            << QStringList{"chkp8", "grey:chkf2"} << sw << 4u << 3u;
    }
    void fileThroughTheWindowEqualsTheFormat() {
        QFETCH(QString, action);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, marks);
        QFETCH(trigfile::RecordFields, fields);
        QFETCH(uint, step);
        QFETCH(uint, count);
        fill(action, texts, marks);
        w->platform.savedNames = {at("out.trg")};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log, (QStringList{"save", "Please hold...", "File created"}));
        QCOMPARE(contents(at("out.trg")), expectedFile(fields, step, count));
    }

    void theBoxesSayWhatIsHappening() {
        fillTypical();
        w->platform.savedNames = {at("out.trg")};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.messages.size(), std::size_t{2});
        const MessageRequest& hold = w->platform.messages[0];
        QCOMPARE(hold.text, QString("The file has started to be created.  The program may be "
                                    "frozen for a little while in creation."));
        QCOMPARE(hold.buttons, MessageButtons::Ok);
        const MessageRequest& done = w->platform.messages[1];
        QCOMPARE(done.text, QString("The file was created.  You may now load it into a map "
                                    "through StarEdit."));
        QCOMPARE(done.buttons, MessageButtons::Ok);
    }

    void nameGetsTheTrgExtension_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("Map1") << "Map1"
                              << "Map1.trg";
        QTest::newRow("MAP1.TRG") << "MAP1.TRG"
                                  << "MAP1.TRG";
        QTest::newRow("a.trg.txt") << "a.trg.txt"
                                   << "a.trg.txt.trg";
    }
    void nameGetsTheTrgExtension() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        fillTypical();
        w->platform.savedNames = {at(chosen)};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(files(), QStringList{written});
        QCOMPARE(contents(at(written)), typicalBytes());

        const SaveRequest& first = w->platform.dialogues.at(0);
        QCOMPARE(first.title, QString("Save as"));
        QCOMPARE(first.fileName, QString("Triggers.trg"));
        QCOMPARE(first.folder, initialSaveFolder());
        QCOMPARE(first.filter, QString("Starcraft triggers (*.trg)|*.trg*"));
        // Alt+C is Create too; the dialogue offers the name chosen last, in
        // its folder.
        QTest::keyClick(&w->form, Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(w->platform.dialogues.size(), std::size_t{2}); // an access key clicks animated
        QCOMPARE(initialSavePath(w->platform.dialogues[1]), at(chosen));
    }

    void answeringNoAsksForAnotherName() {
        QVERIFY2(writeText(at("old.trg"), "OLD"), "could not write the old file for the test");
        fillTypical();
        w->platform.savedNames = {at("old"), at("new.trg")};
        w->platform.answers = {MessageAnswer::No};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log, (QStringList{"save", "Error: Same name", "save", "Please hold...",
                                               "File created"}));
        const MessageRequest& question = w->platform.messages[0];
        QCOMPARE(question.text, QString("The file exists. Do you want to replace it?"));
        QCOMPARE(question.buttons, MessageButtons::YesNo);
        QCOMPARE(question.icon, MessageIcon::Warning);
        QCOMPARE(question.defaultButton, MessageAnswer::No);
        QCOMPARE(contents(at("old.trg")), QByteArray("OLD"));
        QCOMPARE(contents(at("new.trg")), typicalBytes());
    }

    void answeringYesReplacesTheFileOnceTheNewOneIsComplete() {
        QVERIFY2(writeText(at("old.trg"), "OLD"), "could not write the old file for the test");
        fillTypical();
        w->platform.savedNames = {at("old.trg")};
        w->platform.answers = {MessageAnswer::Yes};
        QByteArray whileHolding;
        w->platform.onMessage = [&](const MessageRequest& box) {
            if (box.title == "Please hold...") {
                whileHolding = contents(at("old.trg"));
            }
        };
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log,
                 (QStringList{"save", "Error: Same name", "Please hold...", "File created"}));
        QCOMPARE(whileHolding, QByteArray("OLD"));
        QCOMPARE(contents(at("old.trg")), typicalBytes());
        QCOMPARE(files(), QStringList{"old.trg"});
    }

    void cancellingTheDialogueTouchesNothing() {
        QVERIFY2(writeText(at("old.trg"), "OLD"), "could not write the old file for the test");
        fillTypical();
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled); // no name scripted: the user cancels
        QCOMPARE(w->platform.log, QStringList{"save"});
        QCOMPARE(files(), QStringList{"old.trg"});
        QCOMPARE(contents(at("old.trg")), QByteArray("OLD"));
    }

    void aRewardMessageIsSetInItsDialogueShownAndWritten() {
        fillTypical();
        auto* item = w->get<QAction>("menumessage");
        QVERIFY2(item && w->get<QMenu>("titlefile")->actions().contains(item),
                 "the command is in the File menu");
        QVERIFY2(item->isCheckable() && !item->isChecked(), "no message at the start");
        const trigfile::RewardMessage told{"{kills} down: +{amount}",
                                           trigfile::TextEncoding::Korean};
        w->platform.messageAnswers = {{MessageDialogueAnswer::Choice::Set, told}};
        item->trigger();
        QVERIFY2(item->isChecked(), "the menu item shows a check mark while a message is set");
        QCOMPARE(w->platform.messageDialogues.size(), std::size_t{1});
        QVERIFY2(!w->platform.messageDialogues[0].current, "the dialogue opened without one");

        // Create's tooltip names the message and counts its text blocks.
        const QString size =
            QString::fromStdString(base::fileSizeText(8 + 2400 + 2 * (2400 + 2048)));
        QTRY_VERIFY2(w->get<QPushButton>("cmdcreate")
                         ->toolTip()
                         .contains("a file of " + size +
                                   ".  Each trigger shows the message "
                                   "\"{kills} down: +{amount}\" (CP949)."),
                     qPrintable(w->get<QPushButton>("cmdcreate")->toolTip()));
        auto settings = trigfile::readSettings({"12", "5", "100", "20", "0"});
        settings.players[0] = trigfile::CheckValue::Ticked;
        QCOMPARE(messagePreview(settings, told), QString("First trigger (5 kills): 5 down: +100\n"
                                                         "Last trigger (10 kills): 10 down: +100"));

        w->platform.savedNames = {at("told.trg")};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        settings.message = told;
        const auto plan = trigfile::planSeries(trigfile::normalise(settings));
        QVERIFY2(plan.ok(), plan.reason().c_str());
        const auto want = testsupport::expectedFile(*plan);
        QCOMPARE(contents(at("told.trg")), QByteArray(reinterpret_cast<const char*>(want.data()),
                                                      static_cast<qsizetype>(want.size())));

        w->platform.messageAnswers = {{MessageDialogueAnswer::Choice::Remove, {}}};
        item->trigger();
        QVERIFY2(w->platform.messageDialogues.back().current == told,
                 "the dialogue opens on the message set");
        QVERIFY2(!item->isChecked(), "Remove takes the message and the check mark away");
    }

    void refusedSettingsShowWhyAndNothingElse_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("box");
        QTest::newRow("step 0") << "optcash" << QStringList{"0", "10", "0", "1", ""}
                                << "\"How often does it fire?\"";
        QTest::newRow("step abc") << "optcash" << QStringList{"abc", "10", "0", "1", ""}
                                  << "\"How often does it fire?\"";
        QTest::newRow("step 1e10") << "optcash" << QStringList{"1e10", "10", "0", "1", ""}
                                   << "\"How often does it fire?\"";
        QTest::newRow("ore 2e7") << "optcash" << QStringList{"1", "1", "0", "2e7", ""}
                                 << "\"How much ore per kill?\"";
        QTest::newRow("switch empty")
            << "optswitch" << QStringList{"1", "9", "0", "", "5"} << "\"Set what switch number?\"";
        QTest::newRow("too many kills") << "optcash" << QStringList{"1", "9e9", "0", "1", ""}
                                        << "\"Up to what number of kills?\"";
    }
    void refusedSettingsShowWhyAndNothingElse() {
        QFETCH(QString, action);
        QFETCH(QStringList, texts);
        QFETCH(QString, box);
        fill(action, texts, {"chkp1"});
        w->platform.savedNames = {at("never.trg")};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log, QStringList{"Error: Can't create"});
        const MessageRequest& refusal = w->platform.messages[0];
        QVERIFY2(refusal.text.contains(box), qPrintable(refusal.text));
        QCOMPARE(refusal.icon, MessageIcon::Warning);
        QCOMPARE(refusal.buttons, MessageButtons::Ok);
        QCOMPARE(files(), QStringList{});
    }

    void failedWriteKeepsTheOldFileAndSaysWhy_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("target");
        QTest::newRow("missing folder") << "missing/x"
                                        << "missing/x.trg";
        QTest::newRow("a folder's name") << "sub.trg"
                                         << "sub.trg";
        QTest::newRow("read-only old file") << "old.trg"
                                            << "old.trg";
    }
    void failedWriteKeepsTheOldFileAndSaysWhy() {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QVERIFY2(writeText(at("old.trg"), "OLD"), "could not write the old file for the test");
        QVERIFY2(QFile::setPermissions(at("old.trg"), QFile::ReadOwner | QFile::ReadGroup),
                 "could not make the old file read-only");
        QVERIFY2(QDir(dir->path()).mkdir("sub.trg"), "could not make the folder named like a file");
        const QStringList before = files();
        fillTypical();
        w->platform.savedNames = {at(chosen)};
        w->platform.answers = {MessageAnswer::Yes};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);

        QCOMPARE(w->platform.log.last(), QString("Error: Not created"));
        QVERIFY(!w->platform.log.contains("File created"));
        const MessageRequest& error = w->platform.messages.back();
        QCOMPARE(error.icon, MessageIcon::Critical);
        // The core's own words for the same target.
        trigfile::TriggerSeries series;
        const base::Outcome<base::Done> core =
            trigfile::writeTriggerFile(at(target).toStdString(), series);
        QVERIFY(core.is(base::Problem::Kind::Failed));
        QVERIFY2(error.text.startsWith(QString::fromStdString(core.reason())),
                 qPrintable(error.text));
        QCOMPARE(contents(at("old.trg")), QByteArray("OLD"));
        QCOMPARE(files(), before); // no part of a file left behind
        QVERIFY2(QFile::setPermissions(at("old.trg"), QFile::ReadOwner | QFile::WriteOwner),
                 "could not make the old file writable again");
    }
};

QTEST_MAIN(CreateTest)
#include "create_test.moc"
